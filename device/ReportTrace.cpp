#include "device/ReportTrace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/Utf8.h"
#include "device/IdPair.h"

namespace padsmith {
namespace {
constexpr std::chrono::milliseconds kWritePeriod{50};  // see ReportTrace.h

// What a trace may hold. A full write is 1346 lines of at most 100 characters: these leave room
// for a day of sessions while a hostile file cannot make the reader take much memory.
constexpr size_t kLongestFile = 64u << 20;
constexpr size_t kLongestLine = 16384;
constexpr size_t kMostRecords = 500'000;
constexpr size_t kLongestTime = 18;  // decimal digits: always fits in 64 bits

struct KindName {
    ReportKind kind;
    const char* name;
};
constexpr KindName kKindNames[] = {
    {ReportKind::kSet, "set"},         {ReportKind::kSetRefused, "set-refused"},
    {ReportKind::kSetGone, "set-gone"}, {ReportKind::kGet, "get"},
    {ReportKind::kGetFailed, "get-failed"}, {ReportKind::kGetGone, "get-gone"},
    {ReportKind::kInput, "input"},     {ReportKind::kArrival, "arrival"},
    {ReportKind::kRemoval, "removal"},
};
constexpr char kInterfaceWord[] = "interface";

void AppendTime(Micros time, std::string& line) {
    char number[24];
    std::snprintf(number, sizeof(number), "%lld ", static_cast<long long>(time.count()));
    line += number;
}

// A field of a line that may come from anywhere: no line ends, no spaces inside.
std::string OneField(const std::string& text) {
    std::string field = text;
    for (char& c : field) {
        if (static_cast<unsigned char>(c) <= ' ') c = '?';
    }
    return field;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes) {
    if (text.empty() || text.size() % 2 != 0) return false;
    bytes.resize(text.size() / 2);
    return ParseHexBytes(text, bytes.data(), bytes.size());
}

// The line's fields split at spaces; `rest` after the `fields`-th field is kept whole (the
// interface's path may hold spaces).
std::vector<std::string> Fields(const std::string& line, size_t most, std::string& rest) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < line.size() && fields.size() < most) {
        while (at < line.size() && line[at] == ' ') ++at;
        if (at == line.size()) break;
        const size_t end = std::min(line.find(' ', at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    while (at < line.size() && line[at] == ' ') ++at;
    rest = line.substr(at);
    return fields;
}

// A line or a text of a trace that is not what it must be.
Error Malformed(const std::string& why) {
    return Error(ErrorKind::kMalformed, why);
}

// One line of a trace into `trace`, or what is wrong with it.
Error ParseLine(const std::string& line, ParsedTrace& trace, int number) {
    std::string rest;
    const std::vector<std::string> fields = Fields(line, 2, rest);
    if (fields.size() < 2) return Malformed("expected \"<microseconds> <kind> ...\"");
    const std::string& time = fields[0];
    if (time.size() > kLongestTime || time.find_first_not_of("0123456789") != std::string::npos) {
        return Malformed("the time \"" + time.substr(0, 32) + "\" is not a count of microseconds");
    }
    const Micros micros(std::stoll(time));
    const std::string& word = fields[1];
    if (word == kInterfaceWord) {
        std::string path;
        const std::vector<std::string> parts = Fields(rest, 3, path);
        HidInterface iface;
        if (parts.size() < 3 || path.empty() || !ParseIdPair(parts[1], iface.vendorId, iface.productId) ||
            !ParseIdPair(parts[2], iface.usagePage, iface.usage)) {
            return Malformed("expected \"interface <location> <VID>:<PID> <PAGE>:<USAGE> <path>\"");
        }
        iface.location = parts[0] == "-" ? std::string() : parts[0];
        iface.path = FromUtf8(path);
        iface.service = true;
        trace.interfaces.push_back(std::move(iface));
        return Error();
    }
    const KindName* kind = nullptr;
    for (const KindName& known : kKindNames) {
        if (word == known.name) kind = &known;
    }
    if (kind == nullptr) return Malformed("unknown kind \"" + word.substr(0, 32) + "\"");
    std::string beyond;
    const std::vector<std::string> hex = Fields(rest, 2, beyond);
    const bool event = kind->kind == ReportKind::kArrival || kind->kind == ReportKind::kRemoval;
    const size_t most = kind->kind == ReportKind::kGet ? 2 : 1;
    const size_t least = event ? 0 : 1;
    if (!beyond.empty() || hex.size() < least || hex.size() > (event ? 0 : most)) {
        return Malformed(std::string(kind->name) + (event       ? " takes nothing after it"
                                                    : most == 2 ? " takes the request's and the reply's hex bytes"
                                                                : " takes one field of hex bytes"));
    }
    ReportRecord record{micros, kind->kind, {}};
    for (size_t i = 0; i < hex.size(); ++i) {
        std::vector<uint8_t>& bytes = i == 0 ? record.bytes : record.reply;
        if (!ParseHex(hex[i], bytes)) {
            return Malformed("\"" + hex[i].substr(0, 32) + (hex[i].size() > 32 ? "..." : "") +
                             "\" is not hex bytes (two digits a byte)");
        }
    }
    if (kind->kind == ReportKind::kGet) {
        if (hex.size() == 1) {
            // An older get line: the reply alone, asked for as its ID and zeros.
            record.reply = record.bytes;
            std::fill(record.bytes.begin() + 1, record.bytes.end(), uint8_t{0});
        } else if (record.reply.size() != record.bytes.size()) {
            return Malformed("the get's request and reply differ in length");
        }
    }
    if (trace.entries.size() == kMostRecords) {
        return Malformed("more than " + std::to_string(kMostRecords) + " records");
    }
    trace.entries.push_back({number, std::move(record)});
    return Error();
}

}  // namespace

const char* ReportKindName(ReportKind kind) {
    for (const KindName& known : kKindNames) {
        if (known.kind == kind) return known.name;
    }
    return "?";
}

bool IsRequest(ReportKind kind) {
    return kind != ReportKind::kInput && kind != ReportKind::kArrival && kind != ReportKind::kRemoval;
}

Result<ParsedTrace> ParseReportTrace(const std::string& text) {
    ParsedTrace parsed;
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        ++number;
        const size_t newline = text.find('\n', start);
        const size_t end = newline == std::string::npos ? text.size() : newline;
        const std::string named = "line " + std::to_string(number);
        if (end - start > kLongestLine) {
            return Malformed("longer than " + std::to_string(kLongestLine) + " characters").Within(named);
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(' ') == std::string::npos) continue;
        const Error why = ParseLine(line, parsed, number);
        if (why) return why.Within(named);
    }
    return parsed;
}

Result<ParsedTrace> ReadReportTrace(const std::string& path) {
    const std::string named = "recording \"" + path + "\"";
    std::error_code code;
    const std::filesystem::file_type type = std::filesystem::status(path, code).type();
    if (type == std::filesystem::file_type::not_found) return Error(ErrorKind::kAbsent, named + " does not exist");
    // A FIFO or a device would block the read or never end it.
    if (code || type != std::filesystem::file_type::regular) return Error(ErrorKind::kIo, named + " is not a regular file");
    const std::uintmax_t size = std::filesystem::file_size(path, code);
    if (!code && size > kLongestFile) return Error(ErrorKind::kMalformed, named + " is larger than 64 MiB");
    std::ifstream file(path, std::ios::binary);
    std::string text(code ? 0 : static_cast<size_t>(size), '\0');
    if (file) file.read(&text[0], static_cast<std::streamsize>(text.size()));
    if (code || !file) return Error(ErrorKind::kIo, named + " cannot be read");
    Result<ParsedTrace> trace = ParseReportTrace(text);
    if (!trace) return trace.error().Within(named);
    return trace;
}

ReportTraceFile::~ReportTraceFile() {
    Close();
}

Error ReportTraceFile::Open(const std::string& path) {
    Error why;
    m_file = OwnFile::Open(path, OwnFile::Create::kAppend, why);
    if (!m_file) return why;
    m_open = true;
    m_stopping = false;
    m_writer = std::thread([this] { WriterLoop(); });
    return Error();
}

void ReportTraceFile::Append(Micros time, ReportKind kind, const uint8_t* bytes, size_t length,
                             const uint8_t* reply) {
    if (!m_open) return;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    AppendTime(time, m_queued);
    m_queued += ReportKindName(kind);
    if (length > 0) {
        m_queued += ' ';
        m_queued += HexBytes(bytes, length);
    }
    if (reply != nullptr) {
        m_queued += ' ';
        m_queued += HexBytes(reply, length);
    }
    m_queued += '\n';
}

void ReportTraceFile::Append(const ReportRecord& record) {
    const bool replied = record.kind == ReportKind::kGet && record.reply.size() == record.bytes.size();
    Append(record.time, record.kind, record.bytes.data(), record.bytes.size(),
           replied ? record.reply.data() : nullptr);
}

void ReportTraceFile::AppendInterface(Micros time, const HidInterface& iface) {
    if (!m_open) return;
    char ids[32];
    std::snprintf(ids, sizeof ids, " %04X:%04X %04X:%04X ", iface.vendorId, iface.productId, iface.usagePage,
                  iface.usage);
    std::string path = ToUtf8(iface.path);
    for (char& c : path) {
        if (c == '\n' || c == '\r') c = '?';
    }
    std::lock_guard<std::mutex> lock(m_queueMutex);
    AppendTime(time, m_queued);
    m_queued += kInterfaceWord;
    m_queued += ' ';
    m_queued += iface.location.empty() ? std::string("-") : OneField(iface.location);
    m_queued += ids;
    m_queued += path;
    m_queued += '\n';
}

void ReportTraceFile::Flush() {
    std::lock_guard<std::mutex> file(m_fileMutex);  // lines leave the queue in order
    std::string lines;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        lines.swap(m_queued);
    }
    if (lines.empty() || !m_file) return;
    m_file->Write(lines.data(), lines.size());
    m_file->Flush();
}

void ReportTraceFile::Close() {
    if (!m_open.exchange(false)) return;
    m_stopping = true;
    if (m_writer.joinable()) m_writer.join();
    Flush();
    std::lock_guard<std::mutex> file(m_fileMutex);
    m_file.reset();
}

void ReportTraceFile::WriterLoop() {
    while (!m_stopping) {
        std::this_thread::sleep_for(kWritePeriod);
        Flush();
    }
}

}  // namespace padsmith
