#include "base/HostName.h"

#include <windows.h>

#include "base/Utf8.h"

namespace padsmith {

std::string HostName() {
    // The DNS host name, as `hostname` prints it; the NetBIOS name is cut to 15 characters.
    wchar_t name[256] = {};
    DWORD length = static_cast<DWORD>(sizeof name / sizeof name[0]);
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return std::string();
    return ToUtf8(std::wstring(name, length));
}

}  // namespace padsmith
