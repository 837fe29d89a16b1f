#pragma once
// Which HID interface is a display's service collection, and which display a run serves.
//
// A port tells the service collection by one of two rules, whichever its system allows:
// - Windows shows each top-level collection as an interface path of its own, and the display's
//   service collection is the one whose path holds the token "qxtp0001&col03";
// - a Linux hidraw node carries every top-level collection of its USB interface and has no such
//   path, so there it is the vendor-defined collection (usage page 0xFF00) whose report
//   descriptor declares the service feature reports: the write record 0x28 of 38 bytes, the
//   erase 0x29, the information request 0x2A and the information reply 0x2B of 10 bytes
//   (lengths with the report ID).
// No port invents a path of another system.

#include <string>
#include <vector>

#include "device/HidPort.h"
#include "device/ReportDescriptor.h"

namespace padsmith {

// --- The service collection ---
// The token that marks the service collection's interface path on Windows (case-sensitive).
inline constexpr wchar_t kTargetToken[] = L"qxtp0001&col03";
// The Windows rule: the whole path is searched for the token, however long it is.
bool IsServicePath(const std::wstring& path);
// The Linux rule, on one top-level collection of the node's descriptor.
bool IsServiceCollection(const TopLevelCollection& collection);

// --- The display a run serves ---
// The interfaces `id` names (`--device=ID`: a location or a path, as `padsmith list` shows
// them); all of them when `id` is empty.
std::vector<HidInterface> InterfacesNamed(std::vector<HidInterface> interfaces, const std::string& id);
// The order in which the service collections are tried as the target: the highest index first,
// as the dialog has always chosen (the last match of its scan wins). Indexes into `interfaces`.
std::vector<size_t> TargetOrder(const std::vector<HidInterface>& interfaces);
// Each display's service collection once (a hidraw node lists the collection once per node, a
// display one node), in bus order, among those `id` names.
std::vector<HidInterface> PresentDisplays(const std::vector<HidInterface>& interfaces, const std::string& id);

}  // namespace padsmith
