// The dialog-thread operations: hex fields, combo entries, selection and new IDs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestRig.h"
#include "app/Operations.h"
#include "protocol/OperationFrame.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;

TEST(ParseHexField, ReadsLikeWcstolBaseSixteenKeepingTheLowSixteenBits) {
    EXPECT_EQ(ParseHexField(L"0x2A7D"), 0x2A7D);
    EXPECT_EQ(ParseHexField(L"0X6c21"), 0x6C21);
    EXPECT_EQ(ParseHexField(L"  \t2a7d"), 0x2A7D);
    EXPECT_EQ(ParseHexField(L"12345"), 0x2345);    // five digits keep their last four
    EXPECT_EQ(ParseHexField(L"-1"), 0xFFFF);
    EXPECT_EQ(ParseHexField(L"+0x10zz"), 0x0010);  // digits up to the first other character
    EXPECT_EQ(ParseHexField(L""), 0);
    EXPECT_EQ(ParseHexField(L"0x"), 0);
    EXPECT_EQ(ParseHexField(L"xyz"), 0);
    // Beyond the signed 32-bit range the value is the nearest limit, as with a 32-bit long.
    EXPECT_EQ(ParseHexField(L"123456789"), 0xFFFF);
    EXPECT_EQ(ParseHexField(L"-123456789"), 0x0000);
    EXPECT_EQ(ParseHexField(L"FFFFFFFFFFFFFFFFFFFF"), 0xFFFF);
}

TEST(CutEntryFields, TakesPositionsEightAndTwentyTwoAndStopsAtTheEnd) {
    std::wstring vendor;
    std::wstring product;
    CutEntryFields(L"qxtp0001", vendor, product);
    EXPECT_EQ(vendor, L"");
    EXPECT_EQ(product, L"");
    CutEntryFields(L"Vendor: 2A7D  Product:6C21 (pen)", vendor, product);
    EXPECT_EQ(vendor, L"2A7D");
    EXPECT_EQ(product, L"6C21");
    // Only the positions count, not what surrounds them.
    CutEntryFields(L"USB#VID_1234#xxxxxxxxPID5678", vendor, product);
    EXPECT_EQ(vendor, L"1234");
    EXPECT_EQ(product, L"ID56");
    CutEntryFields(L"0123456789ABCDEFGHIJKLMN", vendor, product);
    EXPECT_EQ(vendor, L"89AB");
    EXPECT_EQ(product, L"MN");
}

TEST(SelectDeviceFromEntry, TheDialogsOwnEntryAsksForZeroAndFails) {
    Rig rig;
    RecordedLog log;
    EXPECT_EQ(SelectDeviceFromEntry(L"qxtp0001", &rig.driver, log), kResultFailure);
    EXPECT_THAT(log.Texts(), ElementsAre(L"Select Device Fail"));
    EXPECT_EQ(SelectDeviceFromEntry(L"qxtp0001", nullptr, log), kResultFailure);
    EXPECT_EQ(log.Texts().size(), 1u);
}

TEST(SelectDeviceFromEntry, ALongEntryAsksForItsOwnIds) {
    sim::SimOptions options;
    const std::wstring guid = L"#1&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    options.interfaces = {{L"\\\\?\\hid#qxtp0001&col03&other" + guid, 0xBEEF, 0x1234, 0xFF00, 1, "", 0},
                          {L"\\\\?\\hid#qxtp0001&col03" + guid, 0x2A7D, 0x6C21, 0xFF00, 1, "", 0}};
    Rig rig(options);
    RecordedLog log;
    //                               0       8             22
    EXPECT_EQ(SelectDeviceFromEntry(L"Vendor: BEEF  Product:1234", &rig.driver, log), kResultSuccess);
    EXPECT_THAT(log.Texts(), ElementsAre(L"Select Device Success"));
}

TEST(SetVidPidFromTexts, TheStartUpTextsReachTheDeviceAsTheirIds) {
    Rig rig;
    RecordedLog log;
    EXPECT_EQ(SetVidPidFromTexts(L"0x2A7D", L"0x6C21", &rig.driver, log), kResultFailure);  // empty table
    DeviceEntry used;
    used.bInUse = 1;
    used.hDevice = rig.driver.CurrentDevice();
    CDriverTestPeer::AddEntry(rig.driver, used);
    EXPECT_EQ(SetVidPidFromTexts(L"0x2A7D", L"0x6C21", &rig.driver, log), kResultSuccess);
    EXPECT_THAT(log.Texts(), ElementsAre(L"Set VID?PID Fail", L"Set VID?PID Success"));
    EXPECT_THAT(rig.Sets(0x08).at(0).bytes, ElementsAre(0x08, 0x7D, 0x2A, 0x21, 0x6C));
}

TEST(SendFeature02Command, LogsNothing) {
    Rig rig;
    SendFeature02Command(&rig.driver);
    SendFeature02Command(nullptr);
    EXPECT_EQ(rig.Sets(0x02).size(), 1u);
}

}  // namespace
}  // namespace padsmith::test
