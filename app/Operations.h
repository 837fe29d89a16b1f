#pragma once
// The operations behind the dialog's controls that run on the dialog's own thread, shared by the
// Windows dialog and the command line. Each writes its outcome as one catalogue line.

#include <cstdint>
#include <string>

#include "device/HidPort.h"

namespace padsmith {

class CDriver;
class LogList;

// A text turned into a vendor or product ID the way wcstol reads base 16 (white space, sign,
// optional 0x, hex digits), keeping the low 16 bits of the 32-bit result.
uint16_t ParseHexField(const std::wstring& text);

// The vendor ID field (positions 8..11) and product ID field (22..25) of a device combo entry;
// a field stops at the end of the text.
void CutEntryFields(const std::wstring& entry, std::wstring& vendorField, std::wstring& productField);

// Each operation returns what it logged as an operation result (0 success, 1 failure, 3 busy);
// the dialog ignores it, the command line makes it its exit status. Without a driver nothing
// happens and the result is 1.

// "Get PCB Version(%1) Firmware Version(%2)" followed directly by
// "Product Size(%1 inches) Success", from the catalogue, with the three display texts.
std::wstring DeviceInfoLine(uint16_t pcbVersion, uint16_t sizeCode, uint32_t firmwareVersion);

// Get Firmware Version: the device information line, "Get Firmware Version Fail" or
// "Device is busy".
uint32_t GetFirmwareVersion(CDriver* driver, LogList& log);

// Device selection from a combo entry's text: refresh, then SelectDevice with the entry's IDs.
uint32_t SelectDeviceFromEntry(const std::wstring& entry, CDriver* driver, LogList& log);
// The same with the IDs already parsed.
uint32_t SelectDeviceByIds(uint16_t vendorId, uint16_t productId, CDriver* driver, LogList& log);

// Set VID/PID from the two edit texts.
uint32_t SetVidPidFromTexts(const std::wstring& vendorText, const std::wstring& productText,
                            CDriver* driver, LogList& log);
// The same with the IDs already parsed.
uint32_t SetVidPidByIds(uint16_t vendorId, uint16_t productId, CDriver* driver, LogList& log);

// Command 1015: report 0x02; nothing is logged.
void SendFeature02Command(CDriver* driver);

// A device notice: "Device Arrival" / "Device Remove" when it closed the table's handles.
void LogDeviceEvent(DeviceChange change, bool closedHandles, CDriver* driver, LogList& log);

}  // namespace padsmith
