#pragma once
// CSV as RFC 4180 writes it, for spreadsheets: fields separated by commas, each line ending in
// CRLF; a field that holds a comma, a double quote or a line break is put in double quotes, its
// double quotes doubled. A field that a spreadsheet would run as a formula (one that begins with
// '=', '+', '-', '@', a tab or a carriage return) gets a leading "'", so that it is shown as the
// text it is (OWASP's rule against CSV injection). The history's numbers (sizes, counts) are
// never negative, so none of them is touched.

#include <string>
#include <vector>

namespace padsmith::cli {

std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace padsmith::cli
