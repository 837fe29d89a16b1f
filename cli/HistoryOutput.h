#pragma once
// The forms `padsmith history` prints a run's record in: a table line, a JSON object per line,
// or a CSV line; each form's fields named as the record's field table names them.

#include <cstdio>
#include <string>

#include "history/RunRecord.h"

namespace padsmith::cli {

enum class HistoryForm { kTable, kJson, kCsv };

class HistoryOutput {
public:
    HistoryOutput(std::FILE* stream, HistoryForm form) : m_stream(stream), m_form(form) {}

    // Before the records: the CSV's header line, even when no record follows.
    void Start();
    // The table's header comes with its first line.
    void Record(const history::RunRecord& record);
    // After the records: when the table has none, one line says why (`nothing`).
    void End(const std::string& nothing);

private:
    std::FILE* m_stream;
    HistoryForm m_form;
    size_t m_records = 0;
};

}  // namespace padsmith::cli
