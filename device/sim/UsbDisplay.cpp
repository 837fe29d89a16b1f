#include "device/sim/UsbDisplay.h"

#include <algorithm>

#include "device/sim/DisplayDescriptor.h"
#include "device/sim/SimInterfaces.h"

namespace padsmith::sim {
namespace {

using usbip::SetupPacket;

// Standard requests (USB 2.0, chapter 9) and the HID class's.
constexpr uint8_t kGetStatus = 0x00;
constexpr uint8_t kClearFeature = 0x01;
constexpr uint8_t kSetConfiguration = 0x09;
constexpr uint8_t kGetConfiguration = 0x08;
constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kSetInterface = 0x0B;
constexpr uint8_t kGetInterface = 0x0A;
constexpr uint8_t kGetReport = 0x01;
constexpr uint8_t kSetIdle = 0x0A;
constexpr uint8_t kSetReport = 0x09;
// bmRequestType: direction, type (standard, class) and recipient (device, interface, endpoint).
constexpr uint8_t kToDevice = 0x00, kFromDevice = 0x80, kToInterface = 0x01, kFromInterface = 0x81;
constexpr uint8_t kToEndpoint = 0x02, kFromEndpoint = 0x82;
constexpr uint8_t kClassToInterface = 0x21, kClassFromInterface = 0xA1;
constexpr uint8_t kFeatureReport = 3;  // the high byte of a report request's wValue

constexpr uint8_t kDeviceType = 1, kConfigurationType = 2, kStringType = 3, kHidType = 0x21, kReportType = 0x22;
constexpr uint8_t kConfigurationValue = 1;
constexpr char kManufacturer[] = "Velmora";
constexpr char kProduct[] = "Nibcraft 7315 Pen Display";

void Put16(std::vector<uint8_t>& bytes, size_t at, size_t value) {
    bytes[at] = static_cast<uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8 & 0xFF);
}

std::vector<uint8_t> DeviceDescriptor() {
    std::vector<uint8_t> bytes{18, kDeviceType, 0x00, 0x02,  // USB 2.0
                               0, 0, 0, 64,                 // class in the interface; 64-byte endpoint 0
                               0, 0, 0, 0, 0x00, 0x01,      // IDs (below), bcdDevice 1.00
                               1, 2, 3, 1};                 // strings, one configuration
    Put16(bytes, 8, kDisplayVendorId);
    Put16(bytes, 10, kDisplayProductId);
    return bytes;
}

// The HID descriptor: HID 1.11, one report descriptor of `reportLength` bytes.
std::vector<uint8_t> HidDescriptor(size_t reportLength) {
    std::vector<uint8_t> bytes{9, kHidType, 0x11, 0x01, 0, 1, kReportType, 0, 0};
    Put16(bytes, 7, reportLength);
    return bytes;
}

// One configuration, bus powered (100 mA): interface 0 of class HID (no boot protocol) with
// the interrupt IN endpoint 0x81, 64 bytes, every microframe.
std::vector<uint8_t> ConfigurationDescriptor(size_t reportLength) {
    std::vector<uint8_t> bytes{9, kConfigurationType, 0, 0, 1, kConfigurationValue, 0, 0x80, 50,
                               9, 4, 0, 0, 1, 0x03, 0, 0, 0};
    const std::vector<uint8_t> hid = HidDescriptor(reportLength);
    bytes.insert(bytes.end(), hid.begin(), hid.end());
    bytes.insert(bytes.end(), {7, 5, 0x80 | kInterruptInEndpoint, 0x03, 64, 0, 1});
    Put16(bytes, 2, bytes.size());
    return bytes;
}

// String descriptor `index` in UTF-16LE (every text here is ASCII); index 0 lists US English.
std::optional<std::vector<uint8_t>> StringDescriptor(uint8_t index, const std::string& serial) {
    if (index == 0) return std::vector<uint8_t>{4, kStringType, 0x09, 0x04};
    const char* texts[] = {kManufacturer, kProduct, serial.c_str()};
    if (index > 3) return std::nullopt;
    const std::string text = texts[index - 1];
    std::vector<uint8_t> bytes{static_cast<uint8_t>(2 + 2 * text.size()), kStringType};
    for (char c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), 0});
    return bytes;
}

UsbReply Data(std::vector<uint8_t> bytes, const SetupPacket& setup) {
    UsbReply reply;
    bytes.resize(std::min<size_t>(bytes.size(), setup.length));
    reply.data = std::move(bytes);
    return reply;
}

UsbReply Stall() {
    UsbReply reply;
    reply.stall = true;
    return reply;
}

}  // namespace

UsbDisplay::UsbDisplay(SimFirmware& firmware, std::string serial, bool serviceCollection,
                       std::optional<int> unplugAfter, bool inFlight, ReportTraceFile* trace)
    : m_firmware(firmware),
      m_serial(std::move(serial)),
      m_reportDescriptor(DisplayReportDescriptor(serviceCollection)),
      m_unplugAfter(unplugAfter),
      m_inFlight(inFlight),
      m_trace(trace) {}

UsbReply UsbDisplay::Control(const SetupPacket& setup, const std::vector<uint8_t>& out, Micros now) {
    const uint8_t type = setup.requestType;
    switch (setup.request) {
        case kGetDescriptor:
            if (type == kFromDevice || type == kFromInterface) return Descriptor(setup);
            break;
        case kGetStatus:  // self-powered no, remote wakeup no; no endpoint halted
            if (type == kFromDevice || type == kFromInterface || type == kFromEndpoint) {
                return Data({0, 0}, setup);
            }
            break;
        case kGetConfiguration:
            if (type == kFromDevice) return Data({kConfigurationValue}, setup);
            break;
        case kGetInterface:
            if (type == kFromInterface) return Data({0}, setup);
            break;
        case kSetConfiguration:
            if (type == kToDevice) return UsbReply{};
            break;
        case kSetInterface:
            if (type == kToInterface && setup.value == 0) return UsbReply{};
            break;
        default:
            break;
    }
    if (type == kToEndpoint && setup.request == kClearFeature) return UsbReply{};
    if (type == kClassToInterface && setup.request == kSetIdle) return UsbReply{};
    if (type == kClassFromInterface && setup.request == kGetReport) return GetReport(setup, now);
    if (type == kClassToInterface && setup.request == kSetReport) return SetReport(setup, out, now);
    return Stall();
}

UsbReply UsbDisplay::Descriptor(const SetupPacket& setup) const {
    const uint8_t kind = static_cast<uint8_t>(setup.value >> 8);
    const uint8_t index = static_cast<uint8_t>(setup.value & 0xFF);
    if (setup.requestType == kFromInterface) {
        if (setup.index != 0 || index != 0) return Stall();
        if (kind == kReportType) return Data(m_reportDescriptor, setup);
        if (kind == kHidType) return Data(HidDescriptor(m_reportDescriptor.size()), setup);
        return Stall();
    }
    switch (kind) {
        case kDeviceType: return Data(DeviceDescriptor(), setup);
        case kConfigurationType: return index == 0 ? Data(ConfigurationDescriptor(m_reportDescriptor.size()), setup) : Stall();
        case kStringType:
            if (auto text = StringDescriptor(index, m_serial)) return Data(*text, setup);
            return Stall();
        default: return Stall();  // a device qualifier, BOS, ...: a USB 2.0 display has none
    }
}

UsbReply UsbDisplay::GetReport(const SetupPacket& setup, Micros now) {
    const uint8_t id = static_cast<uint8_t>(setup.value & 0xFF);
    if (setup.value >> 8 != kFeatureReport || setup.length == 0) return Stall();
    std::vector<uint8_t> report(setup.length, 0);
    report[0] = id;
    const std::vector<uint8_t> request = report;
    const bool supplied = m_firmware.GetFeature(report.data(), report.size());
    if (m_trace != nullptr) {
        m_trace->Append(now, supplied ? ReportKind::kGet : ReportKind::kGetFailed, request.data(), request.size(),
                        supplied ? report.data() : nullptr);
    }
    return supplied ? Data(report, setup) : Stall();
}

UsbReply UsbDisplay::SetReport(const SetupPacket& setup, const std::vector<uint8_t>& out, Micros now) {
    if (setup.value >> 8 != kFeatureReport || out.empty() || out[0] != (setup.value & 0xFF)) return Stall();
    if (m_inFlight && !m_leftInFlight && out[0] == kWriteRecordId && m_unplugAfter &&
        m_firmware.AcceptedWriteRecords() == *m_unplugAfter) {
        m_leftInFlight = true;
        UsbReply gone;
        gone.answered = false;
        gone.dropOff = true;
        return gone;
    }
    const SimFirmware::SetOutcome outcome = m_firmware.SetFeature(out.data(), out.size(), now);
    if (m_trace != nullptr) {
        m_trace->Append(now, outcome.accepted ? ReportKind::kSet : ReportKind::kSetRefused, out.data(), out.size());
    }
    if (!outcome.accepted) return Stall();
    UsbReply reply;
    reply.taken = static_cast<uint32_t>(out.size());
    reply.dropOff = outcome.dropOff && !m_inFlight;
    return reply;
}

}  // namespace padsmith::sim
