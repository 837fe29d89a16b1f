#include "history/PostgresForwarder.h"

#include <libpq-fe.h>

#include <memory>
#include <set>
#include <vector>

#include "base/Utf8.h"
#include "history/ConnectionPasswords.h"
#include "history/RunRecordFields.h"

namespace padsmith::history {
namespace {

// Rows per server transaction: each batch is committed, then marked sent locally.
constexpr int kBatchRows = 500;
// A station's push must end even when the server's host does not answer; a URL may say otherwise.
constexpr char kConnectTimeoutSeconds[] = "10";
constexpr char kUpsertStatement[] = "padsmith_upsert";

struct ConnectionCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
using Connection = std::unique_ptr<PGconn, ConnectionCloser>;

struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

// libpq's messages run over several lines (a hint after a tab): one line here.
std::string OneLine(const char* message) {
    std::string line;
    bool space = false;
    for (const char* c = message; c != nullptr && *c != '\0'; ++c) {
        if (*c == '\n' || *c == '\t' || *c == '\r' || *c == ' ') {
            space = !line.empty();
            continue;
        }
        if (space) line += ' ';
        space = false;
        line += *c;
    }
    return line;
}

struct OptionsFreer {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};
using ParsedUrl = std::unique_ptr<PQconninfoOption, OptionsFreer>;

// The URL as libpq reads it; null with the reason, which names no password, when it cannot.
ParsedUrl ParseUrl(const std::string& url, std::string& reason) {
    char* parseError = nullptr;
    ParsedUrl options(PQconninfoParse(url.c_str(), &parseError));
    if (options == nullptr) {
        reason = MessageWithoutPasswords(parseError != nullptr ? OneLine(parseError) : "out of memory", url);
    }
    PQfreemem(parseError);
    return options;
}

// The server as messages name it: database, host, port and user, never the password.
std::string DescribeServer(const std::string& url) {
    std::string reason;
    const ParsedUrl options = ParseUrl(url, reason);
    if (options == nullptr) return "PostgreSQL (a URL libpq cannot read: " + reason + ")";
    std::string database, service, host, port, user;
    for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
        if (option->val == nullptr) continue;
        const std::string keyword = option->keyword;
        if (keyword == "dbname") database = option->val;
        if (keyword == "service") service = option->val;
        if (keyword == "host" || (keyword == "hostaddr" && host.empty())) host = option->val;
        if (keyword == "port") port = option->val;
        if (keyword == "user") user = option->val;
    }
    std::string description = "PostgreSQL";
    if (!database.empty()) description += " database " + database;
    if (!service.empty()) description += " of service " + service;  // the rest is in the service file
    if (!host.empty() || service.empty()) {
        description += " on " + (host.empty() ? std::string("the local socket") : host) + (port.empty() ? "" : ":" + port);
    }
    if (!user.empty()) description += " as " + user;
    return description;
}

void IgnoreNotice(void*, const char*) {}

class Server {
public:
    explicit Server(const std::string& url) : m_url(url), m_name(DescribeServer(url)) {
        // Later keywords win: the URL overrides the timeout and the program's name, and the
        // encoding is always UTF-8, which the records are.
        const char* keywords[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
        const char* values[] = {kConnectTimeoutSeconds, "padsmith", url.c_str(), "UTF8", nullptr};
        m_connection.reset(PQconnectdbParams(keywords, values, 1));
        if (m_connection != nullptr) PQsetNoticeProcessor(m_connection.get(), IgnoreNotice, nullptr);
    }

    Error Connected() const {
        if (m_connection == nullptr) return Error(ErrorKind::kIo, m_name + ": connect: out of memory");
        if (PQstatus(m_connection.get()) == CONNECTION_OK) return Error();
        return Failure("connect");
    }

    Error Execute(const std::string& sql, const std::string& step) {
        Result result(PQexec(m_connection.get(), sql.c_str()));
        return Succeeded(result.get()) ? Error() : Failure(step);
    }

    Error Query(const std::string& sql, const std::string& step, Result& result) {
        result.reset(PQexec(m_connection.get(), sql.c_str()));
        return Succeeded(result.get()) ? Error() : Failure(step);
    }

    Error Prepare(const char* name, const std::string& sql, int parameters) {
        Result result(PQprepare(m_connection.get(), name, sql.c_str(), parameters, nullptr));
        return Succeeded(result.get()) ? Error() : Failure("prepare the upsert");
    }

    Error RunPrepared(const char* name, const std::vector<const char*>& values, const std::string& step) {
        Result result(PQexecPrepared(m_connection.get(), name, static_cast<int>(values.size()), values.data(),
                                     nullptr, nullptr, 0));
        return Succeeded(result.get()) ? Error() : Failure(step);
    }

private:
    static bool Succeeded(const PGresult* result) {
        const ExecStatusType status = PQresultStatus(result);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }

    Error Failure(const std::string& step) const {
        const std::string why = OneLine(PQerrorMessage(m_connection.get()));
        return Error(ErrorKind::kIo, m_name + ": " + step + ": " + MessageWithoutPasswords(why, m_url));
    }

    std::string m_url;
    std::string m_name;
    Connection m_connection;
};

std::string ServerType(const RunRecordField& field) {
    return field.text != nullptr ? "text NOT NULL DEFAULT ''" : "bigint";
}

// The table, created when missing; a column a newer padsmith records, added. Under a lock of
// the transaction, so that stations that push at once do not race to create it.
Error EnsureTable(Server& server) {
    const std::vector<RunRecordField>& fields = RunRecordFields();
    std::string columns = std::string(fields[0].column) + " text PRIMARY KEY";
    for (size_t i = 1; i < fields.size(); ++i) columns += std::string(", ") + fields[i].column + " " + ServerType(fields[i]);
    columns += ", revision bigint NOT NULL, received timestamptz NOT NULL DEFAULT now()";
    const std::string table = kServerTable;
    const std::string step = "create the table " + table;
    Error failure = server.Execute("BEGIN", step);
    if (!failure) failure = server.Execute("SELECT pg_advisory_xact_lock(hashtext('" + table + "'))", step);
    if (!failure) failure = server.Execute("CREATE TABLE IF NOT EXISTS " + table + " (" + columns + ")", step);
    Result present;
    if (!failure) {
        failure = server.Query("SELECT column_name FROM information_schema.columns WHERE table_schema = "
                               "current_schema() AND table_name = '" + table + "'",
                               step, present);
    }
    if (!failure) {
        std::set<std::string> names;
        for (int row = 0; row < PQntuples(present.get()); ++row) names.insert(PQgetvalue(present.get(), row, 0));
        for (size_t i = 1; i < fields.size() && !failure; ++i) {
            if (names.count(fields[i].column) != 0) continue;
            failure = server.Execute("ALTER TABLE " + table + " ADD COLUMN " + fields[i].column + " " +
                                         ServerType(fields[i]), step);
        }
    }
    if (!failure) failure = server.Execute("COMMIT", step);
    if (failure) server.Execute("ROLLBACK", step);
    return failure;
}

// One row per record ID: a revision the server has already taken changes nothing, a later one
// replaces the row.
std::string UpsertSql() {
    const std::vector<RunRecordField>& fields = RunRecordFields();
    std::string columns, values, updates;
    for (size_t i = 0; i < fields.size(); ++i) {
        columns += std::string(fields[i].column) + ", ";
        values += "$" + std::to_string(i + 1) + ", ";
        if (i > 0) updates += std::string(fields[i].column) + " = EXCLUDED." + fields[i].column + ", ";
    }
    const std::string table = kServerTable;
    return "INSERT INTO " + table + " (" + columns + "revision) VALUES (" + values + "$" +
           std::to_string(fields.size() + 1) + ") ON CONFLICT (" + fields[0].column + ") DO UPDATE SET " + updates +
           "revision = EXCLUDED.revision, received = now() WHERE " + table + ".revision < EXCLUDED.revision";
}

// The server takes UTF-8 only; a file name's stray bytes become U+FFFD, so one odd record can
// never stop every later push.
std::string ValidUtf8(const std::string& text) {
    return ToUtf8(FromUtf8(text));
}

Error SendBatch(Server& server, const std::vector<PendingRun>& runs) {
    const std::vector<RunRecordField>& fields = RunRecordFields();
    const std::string step = "send the runs";
    if (Error failure = server.Execute("BEGIN", step)) return failure;
    for (const PendingRun& run : runs) {
        std::vector<std::string> texts;
        std::vector<bool> present;
        for (const RunRecordField& field : fields) {
            if (field.text != nullptr) {
                texts.push_back(ValidUtf8(run.record.*field.text));
                present.push_back(true);
            } else {
                const std::optional<int64_t>& number = run.record.*field.number;
                texts.push_back(number ? std::to_string(*number) : std::string());
                present.push_back(number.has_value());
            }
        }
        texts.push_back(std::to_string(run.revision));
        present.push_back(true);
        std::vector<const char*> values;
        for (size_t i = 0; i < texts.size(); ++i) values.push_back(present[i] ? texts[i].c_str() : nullptr);
        if (Error failure = server.RunPrepared(kUpsertStatement, values, "send run " + run.record.id)) {
            server.Execute("ROLLBACK", step);
            return failure;
        }
    }
    return server.Execute("COMMIT", step);
}

}  // namespace

bool PostgresForwardingBuilt() {
    return true;
}

ServerUrlCheck CheckServerUrl(const std::string& url) {
    ServerUrlCheck check;
    std::string reason;
    const ParsedUrl options = ParseUrl(url, reason);
    if (options == nullptr) {
        check.error = Error(ErrorKind::kIo, "libpq cannot read the URL: " + reason);
        return check;
    }
    for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
        if (option->val != nullptr && *option->val != '\0' && IsPasswordKeyword(option->keyword)) check.holdsPassword = true;
    }
    return check;
}

PushResult PushToPostgres(HistoryStore& store, const std::string& url, const std::function<bool()>& stop) {
    PushResult result;
    Server server(url);
    if ((result.error = server.Connected())) return result;
    if ((result.error = EnsureTable(server))) return result;
    if ((result.error = server.Prepare(kUpsertStatement, UpsertSql(), static_cast<int>(RunRecordFields().size()) + 1))) {
        return result;
    }
    int64_t after = 0;
    std::vector<PendingRun> runs;
    while (!(stop && stop())) {
        if ((result.error = store.Unsent(after, kBatchRows, runs)) || runs.empty()) break;
        if ((result.error = SendBatch(server, runs))) break;
        // The server has them: marked locally now. Should this fail, the next push sends them
        // again, which changes nothing on the server.
        result.sent += static_cast<int>(runs.size());
        if ((result.error = store.MarkSent(runs))) break;
        after = runs.back().seq;
    }
    return result;
}

}  // namespace padsmith::history
