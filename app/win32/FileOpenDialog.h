#pragma once
// The common file-open dialog, with the catalogue's filter text.

#include <windows.h>

#include <string>

namespace padsmith::win32 {

// The catalogue writes a filter as "Name|pattern|...||"; the dialog wants each "|" as a NUL and
// the list ended by two NULs. The result holds the NULs (and one spare at the end, so even a
// text without the closing "||" ends the list).
std::wstring FilterFromCatalogueText(const std::wstring& text);

// Shows the open dialog modally over `owner`. True with the full path on OK; false on Cancel
// and when the dialog cannot be shown.
bool ShowOpenFileDialog(HWND owner, const std::wstring& filter, DWORD flags, std::wstring& path);

}  // namespace padsmith::win32
