// The report trace read back: every line the recording writes, older traces, and files that are
// not traces at all; and what the recording port writes for a session.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestRig.h"
#include "device/RecordingHidPort.h"
#include "device/ReportTrace.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<std::string> Kinds(const ParsedTrace& trace) {
    std::vector<std::string> kinds;
    for (const ParsedTrace::Entry& entry : trace.entries) kinds.push_back(ReportKindName(entry.record.kind));
    return kinds;
}

ParsedTrace Read(const std::filesystem::path& file) {
    Result<ParsedTrace> trace = ReadReportTrace(file.string());
    EXPECT_TRUE(trace) << trace.error().message;
    return trace ? std::move(*trace) : ParsedTrace{};
}

TEST(ReportTraceTest, EveryLineWrittenReadsBackAndAnOlderTraceStillReads) {
    TempDir dir;
    const std::vector<uint8_t> request{0x2B, 0, 0, 0};
    const std::vector<uint8_t> reply{0x2B, 0, 1, 2};
    HidInterface iface;
    iface.path = L"/dev/hidraw 3";  // the path runs to the line's end, spaces and all
    iface.vendorId = 0x2A7D;
    iface.productId = 0x6C21;
    iface.usagePage = 0xFF00;
    iface.usage = 0x0001;
    {
        ReportTraceFile file;
        const Error error = file.Open((dir.Path() / "trace.txt").string());
        ASSERT_FALSE(error) << error.message;
        file.AppendInterface(Micros(1), iface);
        for (ReportKind kind : {ReportKind::kSet, ReportKind::kSetRefused, ReportKind::kSetGone, ReportKind::kGetFailed,
                                ReportKind::kGetGone, ReportKind::kInput}) {
            file.Append(ReportRecord{Micros(2), kind, request});
        }
        file.Append(ReportRecord{Micros(3), ReportKind::kGet, request, reply});
        file.Append(ReportRecord{Micros(4), ReportKind::kRemoval, {}});
        file.Append(ReportRecord{Micros(5), ReportKind::kArrival, {}});
    }
    const ParsedTrace trace = Read(dir.Path() / "trace.txt");
    EXPECT_THAT(Kinds(trace), ElementsAre("set", "set-refused", "set-gone", "get-failed", "get-gone", "input", "get",
                                          "removal", "arrival"));
    EXPECT_EQ(trace.entries[0].line, 2);
    EXPECT_EQ(trace.entries[0].record.bytes, request);
    EXPECT_EQ(trace.entries[6].record.time, Micros(3));
    EXPECT_EQ(trace.entries[6].record.reply, reply);
    EXPECT_TRUE(trace.entries[7].record.bytes.empty());
    ASSERT_EQ(trace.interfaces.size(), 1u);
    EXPECT_EQ(trace.interfaces[0].path, iface.path);
    EXPECT_EQ(trace.interfaces[0].location, "");  // written as "-"
    EXPECT_EQ(trace.interfaces[0].usagePage, 0xFF00);
    EXPECT_TRUE(trace.interfaces[0].service);

    // An older trace: a get line with its reply alone, asked for as its ID and zeros; CRLF line
    // ends and empty lines, as an editor may leave them.
    const Result<ParsedTrace> older = ParseReportTrace("10 set 2A56\r\n\n20 get 2B0001000AFF25150A31\r\n");
    ASSERT_TRUE(older) << older.error().message;
    ASSERT_EQ(older->entries.size(), 2u);
    EXPECT_EQ(older->entries[1].line, 3);
    EXPECT_EQ(HexBytes(older->entries[1].record.bytes), "2B000000000000000000");
    EXPECT_EQ(HexBytes(older->entries[1].record.reply), "2B0001000AFF25150A31");
}

TEST(ReportTraceTest, AnythingElseIsOneLineNamingTheLine) {
    const std::string good = "1 set 29\n";
    const std::pair<std::string, std::string> bad[] = {
        {std::string(20000, '1'), "longer than"},
        {"5 set 2G", "not hex"},
        {"5 set 123", "not hex"},
        {"1234567890123456789 set 29", "microseconds"},
        {"-5 set 29", "microseconds"},
        {"5 sets 29", "unknown kind"},
        {"5", "expected"},
        {"5 set", "one field"},
        {"5 set 29 29", "one field"},
        {"5 arrival 29", "nothing after"},
        {"5 get 2B00 2B01 2B02", "request's and the reply's"},
        {"5 get 2B00 2B0001", "differ in length"},
        {"5 interface 1-1 2A7D-6C21 FF00:0001 /dev/hidraw0", "interface <location>"},
        {"5 interface 1-1 2A7D:6C21 FF00:0001", "interface <location>"},
        {std::string("5 set \0\xFF", 8), "not hex"},
    };
    for (const auto& [line, why] : bad) {
        const Result<ParsedTrace> trace = ParseReportTrace(good + good + line + "\n" + good);
        ASSERT_FALSE(trace) << line.substr(0, 40);
        EXPECT_EQ(trace.error().kind, ErrorKind::kMalformed);
        EXPECT_THAT(trace.error().message, StartsWith("line 3: "));
        EXPECT_THAT(trace.error().message, HasSubstr(why));
        EXPECT_LT(trace.error().message.size(), 200u);
    }

    TempDir dir;
    // Each file that does not read: its name, and what the message says of it.
    const auto huge = dir.Write("huge.txt", {});
    std::filesystem::resize_file(huge, (64u << 20) + 1);  // sparse: costs no disk
    const auto malformed = dir.Write("bad.txt", {'1', ' ', 's', 'e', 't', '\n', '2', ' ', 'x', '\n'});
    std::vector<std::pair<std::filesystem::path, std::string>> unread{
        {dir.Path() / "missing.txt", "missing.txt\" does not exist"},
        {dir.Path(), "not a regular file"},
        {huge, "larger than 64 MiB"},
        {malformed, "bad.txt\": line 1: set takes one field of hex bytes"},
    };
#ifndef _WIN32
    ASSERT_EQ(mkfifo((dir.Path() / "fifo").c_str(), 0600), 0);  // would block a plain read
    unread.emplace_back(dir.Path() / "fifo", "not a regular file");
#endif
    for (const auto& [file, why] : unread) {
        const Result<ParsedTrace> trace = ReadReportTrace(file.string());
        ASSERT_FALSE(trace) << file;
        EXPECT_THAT(trace.error().message, HasSubstr(why));
    }
}

// What the recording port writes: each outcome by its kind, a get's request and reply, the
// collection once, and the removal that a record caused after that record's line.
TEST(ReportTraceTest, TheRecordingKeepsOutcomesRepliesTheCollectionAndRemovalsInOrder) {
    TempDir dir;
    const auto file = dir.Path() / "record.txt";
    VirtualClock clock;
    sim::SimHidPort simulated(clock, Options("refuse-at=0x20,unplug-after=2"));
    Result<std::unique_ptr<RecordingHidPort>> created = RecordingHidPort::Create(simulated, clock, file.string());
    ASSERT_TRUE(created) << created.error().message;
    std::unique_ptr<RecordingHidPort>& recording = *created;
    recording->WatchDeviceChanges([](DeviceChange) {});
    recording->Enumerate();
    auto device = recording->Open(recording->Enumerate().at(2), nullptr);
    std::vector<uint8_t> info{0x2B, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(device->GetFeature(info.data(), info.size()));
    std::vector<uint8_t> record(38, 0x00);
    record[0] = 0x28, record[1] = 0x51, record[2] = 0x58, record[3] = 0x57;
    for (uint8_t address : {0x00, 0x20, 0x40, 0x60}) {
        record[4] = address;
        device->SetFeature(record.data(), record.size());
        clock.Sleep(Millis(10));
    }
    EXPECT_FALSE(device->GetFeature(info.data(), info.size()));
    recording->WatchDeviceChanges(nullptr);
    recording.reset();

    const ParsedTrace trace = Read(file);
    EXPECT_THAT(Kinds(trace), ElementsAre("get", "set", "set-refused", "set", "removal", "removal", "set-gone",
                                          "get-gone"));
    EXPECT_EQ(HexBytes(trace.entries[0].record.bytes), "2B000000000000000000");
    EXPECT_EQ(HexBytes(trace.entries[0].record.reply), "2B0001000AFF25150A31");
    ASSERT_EQ(trace.interfaces.size(), 1u);
    EXPECT_EQ(trace.interfaces[0].location, "1-1.1");
    EXPECT_NE(trace.interfaces[0].path.find(L"qxtp0001&col03"), std::wstring::npos);
}

}  // namespace
}  // namespace padsmith::test
