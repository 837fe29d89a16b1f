// The information reply's display line.

#include <gtest/gtest.h>

#include "TestRig.h"
#include "app/Operations.h"
#include "device/DeviceStatus.h"
#include "protocol/DeviceInfo.h"

namespace padsmith::test {
namespace {

std::wstring LineFor(const std::array<uint8_t, 10>& reply) {
    DeviceStatus status = DecodeStatusBytes(reply.data());
    return DeviceInfoLine(status.pcbVersion, status.sizeCode, status.firmwareVersion);
}

TEST(DeviceInfoLine, TheWorkedExample) {
    EXPECT_EQ(LineFor({0x2B, 0x00, 0x01, 0x00, 0x0A, 0xFF, 0x25, 0x15, 0x0A, 0x31}),
              L"Get PCB Version(0.10.3.1) Firmware Version(1.0.10.255)Product Size(15.25 inches) Success");
}

TEST(DeviceInfoLine, AllZeros) {
    EXPECT_EQ(LineFor({0x2B}),
              L"Get PCB Version(0.0.0.0) Firmware Version(0.0.0.0)Product Size(0.00 inches) Success");
}

TEST(DeviceInfoLine, DigitGroupsAreNotCheckedAndBytesZeroAndOneAreIgnored) {
    EXPECT_EQ(FormatProductSize(0x00FF), L"165.00");
    EXPECT_EQ(FormatProductSize(0xFA00), L"0.1510");
    EXPECT_EQ(FormatPcbVersion(0xFFFF), L"15.15.15.15");
    EXPECT_EQ(LineFor({0x00, 0x77, 0x01, 0x00, 0x0A, 0xFF, 0x25, 0x15, 0x0A, 0x31}),
              LineFor({0x2B, 0x00, 0x01, 0x00, 0x0A, 0xFF, 0x25, 0x15, 0x0A, 0x31}));
}

TEST(DeviceInfoLine, VersionTextsReadBackOnlyInTheFormTheyArePrintedIn) {
    EXPECT_EQ(ParsePcbVersion("0.10.3.1"), std::optional<uint16_t>(0x0A31));
    EXPECT_EQ(ParseFirmwareVersion("1.0.10.255"), std::optional<uint32_t>(0x01000AFF));
    for (const char* bad : {"", "0.10.3", "0.10.3.1.0", "0.10.3.16", "0.10.03.1", "0..3.1", "+0.10.3.1", "0.10.3.1 "}) {
        EXPECT_FALSE(ParsePcbVersion(bad)) << bad;
    }
    for (const char* bad : {"1.0.10.256", "1.0.10", "01.0.10.255"}) EXPECT_FALSE(ParseFirmwareVersion(bad)) << bad;
}

TEST(GetFirmwareVersion, LogsTheLineTheFailureOrBusy) {
    Rig ok;
    Rig failing(Options("no-reply"));
    Rig absent(Options("absent"));
    RecordedLog log;
    GetFirmwareVersion(&ok.driver, log);
    GetFirmwareVersion(&failing.driver, log);
    GetFirmwareVersion(&absent.driver, log);
    ASSERT_TRUE(CDriverTestPeer::DeviceLock(ok.driver).Wait(Millis(0)));
    GetFirmwareVersion(&ok.driver, log);
    GetFirmwareVersion(nullptr, log);
    EXPECT_EQ(log.Texts(), (std::vector<std::wstring>{
                               L"Get PCB Version(0.10.3.1) Firmware Version(1.0.10.255)Product Size(15.25 inches) Success",
                               L"Get Firmware Version Fail", L"Get Firmware Version Fail",
                               L"Device is busy"}));
}

}  // namespace
}  // namespace padsmith::test
