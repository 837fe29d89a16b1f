#include "base/TextColumns.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "base/Utf8.h"

namespace padsmith {
namespace {

struct Range {
    char32_t first;
    char32_t last;
};

bool InRanges(char32_t c, const Range* begin, const Range* end) {
    return std::any_of(begin, end, [c](const Range& range) { return c >= range.first && c <= range.last; });
}

constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x2060, 0x2064}, {0x20D0, 0x20FF},
    {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// The characters of UTF-8 text with the length of each in its wide form (2 for a UTF-16
// surrogate pair, else 1).
struct Character {
    char32_t c;
    size_t units;
};

std::vector<Character> Characters(const std::wstring& wide) {
    std::vector<Character> characters;
    for (size_t i = 0; i < wide.size(); ++i) {
        const char32_t c = static_cast<char32_t>(static_cast<uint32_t>(wide[i]));
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
            const char32_t low = static_cast<char32_t>(wide[i + 1]);
            characters.push_back({0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), 2});
            ++i;
        } else {
            characters.push_back({c, 1});
        }
    }
    return characters;
}

}  // namespace

int CharacterColumns(char32_t c) {
    if (InRanges(c, std::begin(kZeroWidth), std::end(kZeroWidth))) return 0;
    return InRanges(c, std::begin(kWide), std::end(kWide)) ? 2 : 1;
}

int TextColumns(const std::string& text) {
    int columns = 0;
    for (const Character& character : Characters(FromUtf8(text))) columns += CharacterColumns(character.c);
    return columns;
}

std::string FitToColumns(const std::string& text, int columns) {
    if (TextColumns(text) <= columns) return text;
    const std::string marker = columns >= 4 ? "..." : "";
    const int room = columns - static_cast<int>(marker.size());
    const std::wstring wide = FromUtf8(text);
    size_t kept = 0;
    int used = 0;
    for (const Character& character : Characters(wide)) {
        const int width = CharacterColumns(character.c);
        if (used + width > room) break;
        used += width;
        kept += character.units;
    }
    return ToUtf8(wide.substr(0, kept)) + marker;
}

}  // namespace padsmith
