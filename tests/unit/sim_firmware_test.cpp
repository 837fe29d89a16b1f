// The simulated display's service collection: its reports, its flash and the timing it enforces.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "base/VirtualClock.h"
#include "device/sim/SimFlashFile.h"
#include "device/sim/SimHidPort.h"
#include "device/sim/SimInterfaces.h"

namespace padsmith::sim {
namespace {

const std::vector<uint8_t> kErase = {0x29, 0x45, 0x72, 0x61, 0x73};

std::vector<uint8_t> Record(uint32_t address, uint8_t fill) {
    std::vector<uint8_t> record(kRecordLength, fill);
    record[0] = 0x28;
    record[1] = 0x51;
    record[2] = 0x58;
    record[3] = 0x57;
    record[4] = static_cast<uint8_t>(address & 0xFF);
    record[5] = static_cast<uint8_t>(address >> 8);
    return record;
}

class SimDeviceTest : public ::testing::Test {
protected:
    void Start(SimOptions options = {}) {
        port = std::make_unique<SimHidPort>(clock, options);
        device = OpenService();
        ASSERT_TRUE(device);
    }
    std::shared_ptr<HidDevice> OpenService() {
        for (const HidInterface& iface : port->Enumerate()) {
            if (iface.service) return port->Open(iface);
        }
        return nullptr;
    }
    bool Send(const std::vector<uint8_t>& report) { return device->SetFeature(report.data(), report.size()); }
    // Erases and lets the erase finish.
    void Erase() {
        ASSERT_TRUE(Send(kErase));
        clock.Advance(kEraseTime);
    }

    VirtualClock clock;
    std::unique_ptr<SimHidPort> port;
    std::shared_ptr<HidDevice> device;
};

TEST_F(SimDeviceTest, DefaultBusShowsMousePenAndServiceCollection) {
    Start();
    const std::pair<uint16_t, uint16_t> expected[] = {{0x0001, 0x0002}, {0x000D, 0x0002}, {0xFF00, 0x0001}};
    const std::vector<HidInterface> bus = port->Enumerate();
    ASSERT_EQ(bus.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(bus[i].path.find(L"{4d1e55b2-f16f-11cf-88cb-001111000030}") != std::wstring::npos, true);
        EXPECT_EQ(bus[i].service, i == 2);
        EXPECT_EQ(bus[i].location, i == 0 ? "1-2" : "1-1.1");
        auto handle = i == 2 ? device : port->Open(bus[i]);
        uint16_t vid = 0, pid = 0, page = 0, usage = 0;
        ASSERT_TRUE(handle->GetAttributes(vid, pid) && handle->GetCaps(page, usage));
        EXPECT_EQ(std::make_pair(page, usage), expected[i]);
        EXPECT_EQ(std::make_pair(bus[i].usagePage, bus[i].usage), expected[i]);
        EXPECT_EQ(vid == 0x2A7D && pid == 0x6C21, i > 0);
    }

    SimOptions absent;
    absent.absent = true;
    SimHidPort without(clock, absent);
    const std::vector<HidInterface> withoutService = without.Enumerate();
    EXPECT_EQ(withoutService.size(), 2u);
    for (const HidInterface& iface : withoutService) EXPECT_FALSE(iface.service);
}

TEST_F(SimDeviceTest, OpenIsExclusiveUntilTheHandleGoes) {
    Start();
    HidInterface service = port->Enumerate().at(2);
    Error error;
    EXPECT_FALSE(port->Open(service, &error));
    EXPECT_EQ(error.kind, ErrorKind::kHeld);
    auto copy = device;
    device.reset();
    EXPECT_FALSE(port->Open(service));  // a copy still holds it
    copy.reset();
    EXPECT_TRUE(port->Open(service));
    service.path += L"x";
    EXPECT_FALSE(port->Open(service, &error));
    EXPECT_EQ(error.kind, ErrorKind::kAbsent);
}

TEST_F(SimDeviceTest, EraseBlocksRecordsFor900MsAndLeavesFlashErased) {
    Start();
    EXPECT_NE(port->Flash(), std::vector<uint8_t>(kFlashSize, 0xFF));
    ASSERT_TRUE(Send(kErase));
    EXPECT_EQ(port->Flash(), std::vector<uint8_t>(kFlashSize, 0xFF));
    clock.Advance(Micros(10'000));
    EXPECT_FALSE(Send(Record(0, 0x00)));
    clock.Advance(kEraseTime - Micros(10'001));
    EXPECT_FALSE(Send(Record(0, 0x00)));  // 1 us before the erase ends
    clock.Advance(Micros(1));
    EXPECT_TRUE(Send(Record(0, 0x00)));
}

TEST_F(SimDeviceTest, RefusedErasesLeaveTheFlashAlone) {
    SimOptions options;
    options.refuseErase = true;
    Start(options);
    const auto before = port->Flash();
    EXPECT_FALSE(Send(kErase));
    port.reset();
    Start();
    EXPECT_FALSE(Send({0x29, 0x45, 0x72, 0x61}));
    EXPECT_FALSE(Send({0x29, 0x45, 0x72, 0x61, 0x74}));
    EXPECT_FALSE(Send({0x29, 0x45, 0x72, 0x61, 0x73, 0x65}));
    EXPECT_EQ(port->Flash(), before);
}

TEST_F(SimDeviceTest, RecordWithoutItsPauseIsRefusedAndAcceptedTenMsLater) {
    Start();
    Erase();
    ASSERT_TRUE(Send(Record(0x0000, 0x11)));
    EXPECT_FALSE(Send(Record(0x0020, 0x22)));
    clock.Sleep(Millis(7));
    EXPECT_FALSE(Send(Record(0x0020, 0x22)));
    clock.Sleep(Millis(3));
    EXPECT_TRUE(Send(Record(0x0020, 0x22)));
    EXPECT_EQ(port->AcceptedWriteRecords(), 2);
    const auto flash = port->Flash();
    EXPECT_EQ(flash[0x1F], 0x11);
    EXPECT_EQ(flash[0x20], 0x22);
    EXPECT_EQ(flash[0x40], 0xFF);
}

TEST_F(SimDeviceTest, ProgrammingAndsIntoWhatTheFlashHolds) {
    Start();
    ASSERT_TRUE(Send(Record(0x0100, 0xF0)));  // over the factory firmware, no erase
    EXPECT_EQ(port->Flash()[0x0105], FactoryFlashByte(0x0105) & 0xF0);
    Erase();
    ASSERT_TRUE(Send(Record(0x0100, 0xF0)));
    clock.Sleep(Millis(10));
    ASSERT_TRUE(Send(Record(0x0100, 0x3C)));
    EXPECT_EQ(port->Flash()[0x0100], 0x30);
}

TEST_F(SimDeviceTest, MalformedRecordsAreRefused) {
    Start();
    Erase();
    auto badHeader = Record(0, 0);
    badHeader[3] = 0x58;
    auto shortRecord = Record(0, 0);
    shortRecord.pop_back();
    auto longRecord = Record(0, 0);
    longRecord.push_back(0);
    for (const auto& record : {badHeader, shortRecord, longRecord, Record(0x0010, 0), Record(0xD800, 0),
                               Record(0xFFE0, 0)}) {
        EXPECT_FALSE(Send(record));
        clock.Sleep(Millis(10));
    }
    EXPECT_TRUE(Send(Record(0xD7E0, 0x00)));  // the last record of the flash
    EXPECT_EQ(port->AcceptedWriteRecords(), 1);
    const auto flash = port->Flash();
    EXPECT_EQ(std::count(flash.begin(), flash.end(), 0x00), 32);
}

TEST_F(SimDeviceTest, RefuseAtRefusesOnlyThatAddress) {
    SimOptions options;
    options.refuseAt = 0x0040;
    Start(options);
    Erase();
    for (uint32_t address : {0x00u, 0x20u, 0x40u, 0x60u}) {
        EXPECT_EQ(Send(Record(address, 0x00)), address != 0x40) << address;
        clock.Sleep(Millis(10));
    }
    EXPECT_EQ(port->Flash()[0x40], 0xFF);
    EXPECT_EQ(port->Flash()[0x60], 0x00);
}

TEST_F(SimDeviceTest, InformationReplyCarriesTheInfoBytes) {
    SimOptions options;
    options.info = {0x01, 0x02, 0x03, 0x04, 0x00, 0x0F, 0x00, 0x03};
    Start(options);
    std::array<uint8_t, 10> reply{0x2B, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    ASSERT_TRUE(device->GetFeature(reply.data(), reply.size()));  // no 0x2A first
    EXPECT_EQ(reply, (std::array<uint8_t, 10>{0x2B, 0x00, 0x01, 0x02, 0x03, 0x04, 0x00, 0x0F, 0x00, 0x03}));
    std::array<uint8_t, 9> shortBuffer{0x2B};
    EXPECT_FALSE(device->GetFeature(shortBuffer.data(), shortBuffer.size()));
    std::array<uint8_t, 10> otherId{0x2A};
    EXPECT_FALSE(device->GetFeature(otherId.data(), otherId.size()));

    options.noReply = true;
    port.reset();
    Start(options);
    std::array<uint8_t, 10> request{0x2B};
    EXPECT_FALSE(device->GetFeature(request.data(), request.size()));
    EXPECT_EQ(request, (std::array<uint8_t, 10>{0x2B}));
    ASSERT_EQ(port->Reports().size(), 1u);
    EXPECT_EQ(port->Reports()[0].kind, ReportKind::kGetFailed);
    EXPECT_EQ(port->Reports()[0].bytes, std::vector<uint8_t>(request.begin(), request.end()));
}

TEST_F(SimDeviceTest, ShortCommandsAreCheckedAndOtherCollectionsRefuseEverything) {
    Start();
    EXPECT_TRUE(Send({0x2A, 0x56, 0x65, 0x72, 0x73, 0x69, 0x6F, 0x6E}));
    EXPECT_FALSE(Send({0x2A, 0x56, 0x65, 0x72, 0x73, 0x69, 0x6F, 0x6F}));
    EXPECT_TRUE(Send({0x02, 0x00, 0xFF, 0x00, 0xFF}));
    EXPECT_FALSE(Send({0x02, 0x00, 0xFF, 0x00, 0xFE}));
    EXPECT_FALSE(Send({0x08, 0x7D, 0x2A, 0x21}));
    EXPECT_FALSE(port->RequestedIds());
    EXPECT_TRUE(Send({0x08, 0x7D, 0x2A, 0x21, 0x6C}));
    ASSERT_TRUE(port->RequestedIds());
    EXPECT_EQ(port->RequestedIds()->vendorId, 0x2A7D);
    EXPECT_EQ(port->RequestedIds()->productId, 0x6C21);
    EXPECT_FALSE(Send({0x07, 0x00, 0x00, 0x00, 0x00}));

    auto pen = port->Open(port->Enumerate().at(1));
    const auto flash = port->Flash();
    EXPECT_FALSE(pen->SetFeature(kErase.data(), kErase.size()));
    std::array<uint8_t, 10> reply{0x2B};
    EXPECT_FALSE(pen->GetFeature(reply.data(), reply.size()));
    EXPECT_EQ(port->Flash(), flash);
}

}  // namespace
}  // namespace padsmith::sim
