#include "cli/CsvOutput.h"

namespace padsmith::cli {
namespace {

bool RunsAsFormula(const std::string& field) {
    return !field.empty() && std::string("=+-@\t\r").find(field[0]) != std::string::npos;
}

}  // namespace

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        const std::string field = RunsAsFormula(fields[i]) ? "'" + fields[i] : fields[i];
        if (field.find_first_of(",\"\r\n") == std::string::npos) {
            line += field;
            continue;
        }
        line += '"';
        for (char c : field) {
            if (c == '"') line += '"';
            line += c;
        }
        line += '"';
    }
    return line + "\r\n";
}

}  // namespace padsmith::cli
