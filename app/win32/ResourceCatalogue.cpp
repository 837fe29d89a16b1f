#include "app/win32/ResourceCatalogue.h"

#include <windows.h>

namespace padsmith::win32 {

std::wstring LoadCatalogueText(uint16_t id) {
    // A zero buffer size asks for a pointer into the resource itself, so no length limit applies.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return std::wstring();
    return std::wstring(text, static_cast<size_t>(length));
}

}  // namespace padsmith::win32
