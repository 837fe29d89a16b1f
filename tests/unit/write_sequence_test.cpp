// The write sequence: which records go, what they carry, how they are paced, how it ends.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "TestRig.h"
#include "base/Utf8.h"
#include "protocol/OperationFrame.h"
#include "protocol/WriteSequence.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;

std::vector<uint32_t> ExpectedAddresses(uint32_t firstEnd, uint32_t secondEnd) {
    std::vector<uint32_t> addresses;
    for (uint32_t a = 0; a < firstEnd; a += 32) addresses.push_back(a);
    for (uint32_t a = 0xB000; a < secondEnd; a += 32) addresses.push_back(a);
    return addresses;
}

struct WriteCase {
    size_t length;
    std::vector<uint32_t> addresses;
};

// A failure names the image, not the object's bytes.
void PrintTo(const WriteCase& c, std::ostream* out) {
    *out << "an image of " << c.length << " bytes, " << c.addresses.size() << " records";
}

class AddressSequence : public ::testing::TestWithParam<WriteCase> {};

TEST_P(AddressSequence, SendsTheRecordsOfTheTwoWindowsUpToTheImageEnd) {
    Rig rig;
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(GetParam().length));
    EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultSuccess);
    EXPECT_EQ(rig.RecordAddresses(), GetParam().addresses);
    EXPECT_EQ(CountWriteRecords(static_cast<int32_t>(GetParam().length)),
              static_cast<int>(GetParam().addresses.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Images, AddressSequence,
    ::testing::Values(
        // The record at address 0 always goes, even for an empty image.
        WriteCase{0, {0x00}}, WriteCase{64, {0x00, 0x20}}, WriteCase{100, {0x00, 0x20, 0x40, 0x60}},
        // At the window move the end bound becomes 0xB000: the sequence ends there.
        WriteCase{0x8000, ExpectedAddresses(0x8000, 0xB000)},
        // Just past the first window: the bound grows by 0x3000 and records beyond the image
        // still go, up to 0xB020.
        WriteCase{0x8001, ExpectedAddresses(0x8000, 0xB020)}),
    [](const ::testing::TestParamInfo<WriteCase>& param) {
        return "ImageOf" + std::to_string(param.param.length) + "Bytes";
    });

// One full image: every record, its pause, its trace lines and the flash.
TEST(WriteSequence, AFullImageGoesAsEveryRecordOfBothWindowsTenMillisecondsApart) {
    Rig rig;
    TempDir dir;
    std::vector<uint8_t> image = PatternImage(0xD800);
    auto file = dir.Write("fw.bin", image);
    ASSERT_EQ(rig.driver.EraseFlash(), kResultSuccess);
    const Micros start = rig.clock.Now();
    ASSERT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultSuccess);

    EXPECT_EQ(rig.RecordAddresses(), ExpectedAddresses(0x8000, 0xD800));
    const std::vector<ReportRecord> records = rig.Sets(0x28);
    ASSERT_EQ(records.size(), 1344u);
    EXPECT_THAT(std::vector<uint8_t>(records[1].bytes.begin(), records[1].bytes.begin() + 6),
                ElementsAre(0x28, 0x51, 0x58, 0x57, 0x20, 0x00));
    EXPECT_THAT(std::vector<uint8_t>(records[1025].bytes.begin(), records[1025].bytes.begin() + 6),
                ElementsAre(0x28, 0x51, 0x58, 0x57, 0x20, 0xB0));
    EXPECT_EQ(records[1025].bytes.size(), 38u);
    EXPECT_TRUE(std::equal(records[1025].bytes.begin() + 6, records[1025].bytes.end(), image.begin() + 0xB020));
    EXPECT_EQ(records.front().time, start);
    for (size_t i = 1; i < records.size(); ++i) {
        ASSERT_EQ(records[i].time - records[i - 1].time, Millis(10)) << "record " << i;
    }
    EXPECT_EQ(rig.clock.Now() - records.back().time, Millis(10));

    // Three trace lines a record, then "finished".
    const std::vector<std::wstring>& lines = rig.trace.lines;
    ASSERT_EQ(lines.size(), 1344u * 3 + 1);
    std::wregex before(LR"(Before nAddr = 0x    B020, SrcAddr = 0x[ 0-9A-F]{8}, nSendingSize = 67584, nLength = 55296\n)");
    EXPECT_TRUE(std::regex_match(lines[1025 * 3], before)) << ToUtf8(lines[1025 * 3]);
    EXPECT_EQ(lines[1025 * 3 + 1], L"After nAddr = 0x    B020, cnHeadLength = 6, cnDataLength = 32\n");
    EXPECT_EQ(lines[1025 * 3 + 2], L"\u53D1\u9001\u6570\u636E \u5199\u5165\u5730\u5740" L"0x    B020, \n");
    EXPECT_EQ(lines[2], L"\u53D1\u9001\u6570\u636E \u5199\u5165\u5730\u5740" L"0x       0, \n");
    EXPECT_EQ(lines.back(), L"\u7ED3\u675F\n");

    const std::vector<uint8_t> flash = rig.port.Flash();
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 0x8000, image.begin()));
    EXPECT_TRUE(std::equal(flash.begin() + 0xB000, flash.end(), image.begin() + 0xB000));
    // The gap between the windows is never written: it stays erased.
    EXPECT_TRUE(std::all_of(flash.begin() + 0x8000, flash.begin() + 0xB000, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(rig.port.AcceptedWriteRecords(), 1344);
}

TEST(WriteSequence, BytesPastTheImageEndGoAsErasedFlash) {
    Rig rig;
    TempDir dir;
    std::vector<uint8_t> image = PatternImage(100);
    auto file = dir.Write("fw.bin", image);
    ASSERT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultSuccess);
    std::vector<ReportRecord> records = rig.Sets(0x28);
    ASSERT_EQ(records.size(), 4u);
    const std::vector<uint8_t>& last = records[3].bytes;
    EXPECT_TRUE(std::equal(last.begin() + 6, last.begin() + 10, image.begin() + 96));
    EXPECT_TRUE(std::all_of(last.begin() + 10, last.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(WriteSequence, RecordsWhollyBeyondTheImageAreAllErasedBytes) {
    Rig rig;
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0x8001));
    ASSERT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultSuccess);
    const std::vector<uint8_t> beyond = rig.Sets(0x28).back().bytes;  // address 0xB000
    EXPECT_EQ(beyond[4] | (beyond[5] << 8), 0xB000);
    EXPECT_TRUE(std::all_of(beyond.begin() + 6, beyond.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(WriteSequence, ARefusedRecordEndsTheRunAtOnce) {
    Rig rig(Options("refuse-at=0x40"));
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0xD800));
    Micros start = rig.clock.Now();
    EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultFailure);
    EXPECT_THAT(rig.RecordAddresses(), ElementsAre(0x00, 0x20, 0x40));
    EXPECT_EQ(rig.clock.Now() - start, Millis(30));  // the refused record is still paused after
    EXPECT_EQ(rig.trace.lines.back(), L"\u53D1\u9001\u5931\u8D25\n");
}

TEST(WriteSequence, AnImageThatEndsAtTheWindowMoveEndsWithoutTheFinishedTrace) {
    Rig rig;
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0x8000));
    ASSERT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultSuccess);
    EXPECT_EQ(rig.trace.lines.size(), 1024u * 3);
    EXPECT_NE(rig.trace.lines.back(), L"\u7ED3\u675F\n");
}

TEST(WriteSequence, NoDeviceIsAFailureNotASuccess) {
    Rig rig(Options("absent"));
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(64));
    EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultFailure);
    EXPECT_TRUE(rig.port.Reports().empty());
}

TEST(WriteSequence, ImagesThatDoNotLoadSendNothing) {
    Rig rig;
    TempDir dir;
    for (const char* name : {"fw.hex", "fw.bi", "fw."}) {
        auto file = dir.Write(name, PatternImage(64));
        EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultFailure) << name;
    }
    EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(dir.Path() / "missing.bin")), kResultFailure);
    std::filesystem::create_directory(dir.Path() / "folder.bin");
    EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(dir.Path() / "folder.bin")), kResultFailure);
    EXPECT_TRUE(rig.port.Reports().empty());
}

}  // namespace
}  // namespace padsmith::test
