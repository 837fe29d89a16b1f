#pragma once
// The message catalogue read from the executable's string table, at every use.

#include <cstdint>
#include <string>

namespace padsmith::win32 {

// The string-table entry `id`; the empty text when there is none.
std::wstring LoadCatalogueText(uint16_t id);

}  // namespace padsmith::win32
