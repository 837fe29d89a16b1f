#include "app/win32/FileOpenDialog.h"

#include <commdlg.h>

#include <vector>

namespace padsmith::win32 {

std::wstring FilterFromCatalogueText(const std::wstring& text) {
    std::wstring filter = text;
    for (wchar_t& c : filter) {
        if (c == L'|') c = L'\0';
    }
    filter.push_back(L'\0');
    return filter;
}

bool ShowOpenFileDialog(HWND owner, const std::wstring& filter, DWORD flags, std::wstring& path) {
    // Long enough for the longest path the system takes.
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.Flags = flags;
    if (!GetOpenFileNameW(&dialog)) return false;
    path = file.data();
    return true;
}

}  // namespace padsmith::win32
