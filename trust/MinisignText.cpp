#include "trust/MinisignText.h"

#include <cstring>

namespace padsmith::trust {

std::optional<std::vector<std::string>> SplitMinisignLines(const std::string& text, size_t count) {
    if (text.find('\0') != std::string::npos) return std::nullopt;
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    if (lines.size() != count) return std::nullopt;
    return lines;
}

bool StartsWith(const std::string& line, const char* prefix) {
    return line.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace padsmith::trust
