// CSV cells as a spreadsheet reads them: quoted where RFC 4180 asks, and never run as a formula.

#include <gtest/gtest.h>

#include "cli/CsvOutput.h"

namespace padsmith::test {
namespace {

TEST(CsvOutput, EachCellIsQuotedWhereItMustBeAndNoneRunsAsAFormula) {
    const std::vector<std::pair<std::string, std::string>> cells{
        {"1-1.3", "1-1.3"},
        {"55296", "55296"},
        {"", ""},
        {"write record 0x0040, refused", "\"write record 0x0040, refused\""},
        {"report \"0x28\"", "\"report \"\"0x28\"\"\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"a=b+c-d@e", "a=b+c-d@e"},
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1:A9)", "'@SUM(A1:A9)"},
        {"\t=1", "'\t=1"},
        {"\r=1", "\"'\r=1\""},
    };
    for (const auto& [cell, written] : cells) {
        EXPECT_EQ(cli::CsvLine({"id", cell, "end"}), "id," + written + ",end\r\n") << cell;
    }
}

}  // namespace
}  // namespace padsmith::test
