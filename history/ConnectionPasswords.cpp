#include "history/ConnectionPasswords.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace padsmith::history {
namespace {

const char* const kSchemes[] = {"postgresql://", "postgres://"};
const char* const kPasswordKeys[] = {"password", "sslpassword"};

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
}

// After a password key at `at` (and its '=', which may stand between spaces): where its value
// begins, or npos when the key is no key there. In a URL's query no spaces are skipped.
size_t ValueAfterKey(const std::string& text, size_t at, bool inUrl) {
    for (const char* key : kPasswordKeys) {
        const std::string name = key;
        if (text.compare(at, name.size(), name) != 0) continue;
        size_t next = at + name.size();
        while (!inUrl && next < text.size() && IsSpace(text[next])) ++next;
        if (next >= text.size() || text[next] != '=') continue;
        ++next;
        while (!inUrl && next < text.size() && IsSpace(text[next])) ++next;
        return next;
    }
    return std::string::npos;
}

// The end of a value that begins at `at`: a quoted one at its closing quote, a bare one at a
// space (in a URL's query, at '&'); a backslash takes the character after it, as libpq reads.
size_t ValueEnd(const std::string& text, size_t at, bool inUrl) {
    const bool quoted = !inUrl && at < text.size() && text[at] == '\'';
    size_t end = quoted ? at + 1 : at;
    while (end < text.size()) {
        const char c = text[end];
        if (quoted && c == '\'') return end + 1;
        if (!quoted && (inUrl ? c == '&' : IsSpace(c))) return end;
        end += !inUrl && c == '\\' ? 2 : 1;
    }
    return text.size();
}

// The values of password keys from `from` on: each key at the start of `text` or after a
// separator ('?' or '&' in a URL's query; elsewhere anything but a letter, digit or '_').
void KeyedPasswords(const std::string& text, size_t from, bool inUrl, std::vector<TextSpan>& spans) {
    for (size_t at = from; at < text.size(); ++at) {
        const char before = at == 0 ? ' ' : text[at - 1];
        if (inUrl ? before != '?' && before != '&' : IsWordCharacter(before)) continue;
        const size_t value = ValueAfterKey(text, at, inUrl);
        if (value == std::string::npos) continue;
        const size_t end = ValueEnd(text, value, inUrl);
        if (end > value) spans.push_back({value, end - value});
        at = std::max(at, end);
    }
}

}  // namespace

bool IsPasswordKeyword(const std::string& keyword) {
    return std::find(std::begin(kPasswordKeys), std::end(kPasswordKeys), keyword) != std::end(kPasswordKeys);
}

std::vector<TextSpan> PasswordSpans(const std::string& text) {
    std::vector<TextSpan> spans;
    for (const char* scheme : kSchemes) {
        const size_t found = text.find(scheme);
        if (found == std::string::npos) continue;
        // Before the URL no key/value string can be: what stands there is an option's name.
        const size_t start = found + std::string(scheme).size();
        const size_t at = text.rfind('@');
        const size_t colon = text.find(':', start);
        if (at != std::string::npos && at >= start && colon < at && at > colon + 1) {
            spans.push_back({colon + 1, at - colon - 1});
        }
        // The query's, from the start: a value may hold the last '@'. Where the two overlap,
        // one span hides both.
        KeyedPasswords(text, start, true, spans);
        std::sort(spans.begin(), spans.end(), [](const TextSpan& a, const TextSpan& b) { return a.start < b.start; });
        std::vector<TextSpan> merged;
        for (const TextSpan& span : spans) {
            if (!merged.empty() && span.start <= merged.back().start + merged.back().length) {
                merged.back().length = std::max(merged.back().length, span.start + span.length - merged.back().start);
            } else {
                merged.push_back(span);
            }
        }
        return merged;
    }
    KeyedPasswords(text, 0, false, spans);
    return spans;
}

std::string WithoutPasswords(const std::string& text) {
    std::string shown;
    size_t copied = 0;
    for (const TextSpan& span : PasswordSpans(text)) {
        shown += text.substr(copied, span.start - copied) + "***";
        copied = span.start + span.length;
    }
    return shown + text.substr(copied);
}

std::string MessageWithoutPasswords(std::string message, const std::string& connection) {
    ReplaceAll(message, connection, WithoutPasswords(connection));
    for (const TextSpan& span : PasswordSpans(connection)) {
        ReplaceAll(message, connection.substr(span.start, span.length), "***");
    }
    return message;
}

}  // namespace padsmith::history
