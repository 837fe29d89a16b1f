#include "protocol/WriteSequence.h"

#include <array>
#include <cstdio>
#include <cwchar>

#include "device/CDriver.h"
#include "protocol/FirmwareImage.h"
#include "protocol/OperationFrame.h"

namespace padsmith {
namespace {

using namespace wire;

constexpr size_t kTraceLineLength = 260;

// The diagnostic lines, formatted only when somebody listens, into one buffer for the run.
class RecordTrace {
public:
    explicit RecordTrace(TraceSink* sink) : m_sink(sink) {}

    template <typename... Args>
    void Line(const wchar_t* format, Args... args) {
        if (m_sink == nullptr) return;
        std::swprintf(m_line.data(), m_line.size(), format, args...);
        m_sink->TraceLine(m_line.data());
    }

private:
    TraceSink* m_sink;
    std::array<wchar_t, kTraceLineLength> m_line{};
};

// The record at `address` was not taken: what the port said, with the record's address.
Error RefusedRecord(const HidDevice& device, int32_t address) {
    char step[32];
    std::snprintf(step, sizeof step, "write record 0x%04X", static_cast<unsigned>(address));
    const Error why = device.LastError();
    return why ? why.Within(step) : Error(ErrorKind::kRefused, std::string(step) + ": refused by the display");
}

}  // namespace

WriteStep AdvanceWriteCursor(WriteCursor& cursor) {
    cursor.nAddr += static_cast<int32_t>(kDataLength);
    if (cursor.nAddr == kFirstWindowEnd) {
        cursor.nSendingSize += kWindowGap;
        cursor.nAddr = kSecondWindowStart;
    } else if (cursor.nAddr == kSecondWindowEnd) {
        return WriteStep::kEndOfFlash;
    }
    return cursor.nAddr >= cursor.nSendingSize ? WriteStep::kEndOfImage : WriteStep::kNextRecord;
}

int CountWriteRecords(int32_t nLength) {
    WriteCursor cursor{0, nLength};
    int records = 1;
    while (AdvanceWriteCursor(cursor) == WriteStep::kNextRecord) ++records;
    return records;
}

Error WriteImage(HidDevice& device, Clock& clock, TraceSink* traceSink, WriteProgress* progress,
                 const VerifiedImage& verified) {
    const uint8_t* image = verified.Bytes();
    const int32_t nLength = verified.Length();
    RecordTrace trace(traceSink);
    const int total = progress != nullptr ? CountWriteRecords(nLength) : 0;
    const auto srcAddr = static_cast<unsigned>(reinterpret_cast<uintptr_t>(image));

    std::array<uint8_t, kRecordLength> record{};
    std::copy(kRecordHeader.begin(), kRecordHeader.end(), record.begin());
    // Fills the record for the cursor's address, with its trace lines.
    auto buildRecord = [&](const WriteCursor& cursor) {
        const int32_t nAddr = cursor.nAddr;
        record[kRecordAddressLow] = static_cast<uint8_t>(nAddr & 0xFF);
        record[kRecordAddressHigh] = static_cast<uint8_t>((nAddr >> 8) & 0xFF);
        trace.Line(L"Before nAddr = 0x%8X, SrcAddr = 0x%8X, nSendingSize = %d, nLength = %d\n",
                   static_cast<unsigned>(nAddr), srcAddr, cursor.nSendingSize, nLength);
        // Never read past the image: what lies beyond it goes as erased flash.
        for (size_t i = 0; i < kDataLength; ++i) {
            const int32_t offset = nAddr + static_cast<int32_t>(i);
            record[kHeadLength + i] = offset < nLength ? image[offset] : kErasedByte;
        }
        trace.Line(L"After nAddr = 0x%8X, cnHeadLength = %d, cnDataLength = %d\n",
                   static_cast<unsigned>(nAddr), static_cast<int>(kHeadLength),
                   static_cast<int>(kDataLength));
        // "sending data, write address"
        trace.Line(L"\u53D1\u9001\u6570\u636E \u5199\u5165\u5730\u5740" L"0x%8X, \n",
                   static_cast<unsigned>(nAddr));
    };

    WriteCursor cursor{0, nLength};
    buildRecord(cursor);
    for (int written = 1;; ++written) {
        const bool accepted = device.SetFeature(record.data(), record.size());
        // The pause runs from here; the work between two records (trace lines, progress, the
        // next record) is done inside it instead of adding to it, 1344 times over.
        const Micros pauseEnd = clock.Now() + kPostSendPause;
        bool more = false;
        Error failure;
        if (!accepted) {
            trace.Line(L"\u53D1\u9001\u5931\u8D25\n");  // "sending failed"
            failure = RefusedRecord(device, cursor.nAddr);
            if (progress != nullptr) progress->OnRecordFailed(failure);
        } else {
            if (progress != nullptr) progress->OnRecordWritten(written, total);
            switch (AdvanceWriteCursor(cursor)) {
                case WriteStep::kNextRecord:
                    more = true;
                    buildRecord(cursor);
                    break;
                case WriteStep::kEndOfFlash:
                    trace.Line(L"\u7ED3\u675F\n");  // "finished"
                    break;
                case WriteStep::kEndOfImage:
                    break;
            }
        }
        clock.Sleep(pauseEnd - clock.Now());
        if (!accepted) return failure;
        if (!more) return Error();
    }
}

uint32_t CDriver::WriteFirmwareFile(const std::wstring& path) {
    DeviceLockFrame frame(*this);
    if (!frame.Acquired()) return kResultBusy;
    // Loaded inside the frame, by the one loader: the image is freed before the lock is released.
    const Result<VerifiedImage> image = LoadFirmwareImage(path);
    if (!image) {
        SetLastError(image.error());
        return kResultFailure;
    }
    return WriteImageInFrame(*image);
}

uint32_t CDriver::WriteFirmwareImage(const VerifiedImage& image) {
    DeviceLockFrame frame(*this);
    if (!frame.Acquired()) return kResultBusy;
    return WriteImageInFrame(image);
}

uint32_t CDriver::WriteImageInFrame(const VerifiedImage& image) {
    // One handle for the whole run: a refresh meanwhile does not move it.
    std::shared_ptr<HidDevice> device = CurrentDevice();
    const Error error = device ? WriteImage(*device, m_clock, m_hooks.trace, m_hooks.progress, image)
                               : NoDisplayOpen();
    if (m_hooks.progress != nullptr) m_hooks.progress->OnWriteEnded();
    SetLastError(error);
    return error ? kResultFailure : kResultSuccess;
}

}  // namespace padsmith
