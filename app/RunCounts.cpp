#include "app/RunCounts.h"

namespace padsmith {

std::string RunCounts::Text(const char* doneWord) const {
    std::string text = std::to_string(displays) + (displays == 1 ? " display: " : " displays: ") +
                       std::to_string(succeeded) + " " + doneWord;
    if (current > 0) text += ", " + std::to_string(current) + " current";
    if (failed > 0 || ignored) {
        text += ", " + std::to_string(failed) + " failed" + (failures.empty() ? "" : " (" + failures + ")");
    }
    if (ignored) text += ", " + std::to_string(*ignored) + " ignored";
    if (recordsLost > 0) text += ", " + std::to_string(recordsLost) + " records lost";
    if (!outOfService.empty()) {
        std::string ports;
        for (const std::string& port : outOfService) ports += (ports.empty() ? "" : ", ") + port;
        text += ", " + std::to_string(outOfService.size()) + (outOfService.size() == 1 ? " port" : " ports") +
                " out of service (" + ports + ")";
    }
    return text;
}

}  // namespace padsmith
