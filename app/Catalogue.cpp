#include "app/Catalogue.h"

#include <atomic>

namespace padsmith {
namespace {

struct CatalogueEntry {
    uint16_t id;
    const wchar_t* text;
};

constexpr CatalogueEntry kEntries[] = {
#define PADSMITH_MESSAGE(id, text) {id, L"" text},
#include "resources/catalogue.def"
#undef PADSMITH_MESSAGE
};

std::wstring LoadBuiltIn(uint16_t id) {
    return BuiltInMessageText(id);
}

std::atomic<MessageLoader> g_loader{&LoadBuiltIn};

}  // namespace

const wchar_t* BuiltInMessageText(uint16_t id) {
    for (const CatalogueEntry& entry : kEntries) {
        if (entry.id == id) return entry.text;
    }
    return L"";
}

void SetMessageLoader(MessageLoader loader) {
    g_loader = loader != nullptr ? loader : &LoadBuiltIn;
}

std::wstring LoadMessage(uint16_t id) {
    return g_loader.load()(id);
}

std::wstring InsertTexts(const std::wstring& pattern, const std::wstring& first,
                         const std::wstring& second) {
    std::wstring result;
    result.reserve(pattern.size() + first.size() + second.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == L'1' || pattern[i + 1] == L'2')) {
            result += pattern[i + 1] == L'1' ? first : second;
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

std::wstring FormatMessageEntry(uint16_t id, const std::wstring& first, const std::wstring& second) {
    return InsertTexts(LoadMessage(id), first, second);
}

}  // namespace padsmith
