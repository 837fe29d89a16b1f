#pragma once
// CSV as RFC 4180 writes it, for spreadsheets: fields separated by commas, each line ending in
// CRLF; a field that holds a comma, a double quote or a line break is put in double quotes, its
// double quotes doubled.

#include <string>
#include <vector>

namespace padsmith::cli {

std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace padsmith::cli
