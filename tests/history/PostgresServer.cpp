#include "tests/history/PostgresServer.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/kernel/ChildProcess.h"

namespace padsmith::test {
namespace {

constexpr char kUser[] = "padsmith";
constexpr char kPassword[] = "line-secret";

// The newest server of Debian's postgresql packages, or "".
std::string ServerBinaries() {
    std::string newest;
    int newestVersion = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored)) {
        const std::string name = entry.path().filename().native();
        const int version = std::atoi(name.c_str());
        const std::filesystem::path bin = entry.path() / "bin";
        if (version > newestVersion && std::filesystem::exists(bin / "initdb") &&
            std::filesystem::exists(bin / "postgres")) {
            newest = bin.native();
            newestVersion = version;
        }
    }
    return newest;
}

RunOptions AsServerUser(Millis timeout) {
    RunOptions options;
    options.asNobody = geteuid() == 0;  // initdb and the server refuse root
    options.timeout = timeout;
    // Neither may read a locale or a home of root's.
    options.environment = {"LC_ALL=C", "HOME=/nonexistent"};
    return options;
}

}  // namespace

std::string PostgresServer::Unavailable() {
    if (ServerBinaries().empty()) return "no PostgreSQL server here (Debian's postgresql: /usr/lib/postgresql/N/bin)";
    return std::string();
}

PostgresServer::PostgresServer() : m_binaries(ServerBinaries()) {
    char folder[] = "/tmp/padsmith-pg-XXXXXX";  // short: a socket's path has 107 bytes
    if (mkdtemp(folder) == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return;
    }
    m_folder = folder;
    const std::string passwordFile = m_folder + "/password";
    std::ofstream(passwordFile) << kPassword << "\n";
    if (geteuid() == 0) {
        EXPECT_EQ(chown(m_folder.c_str(), kNobody, kNobody), 0);
        EXPECT_EQ(chown(passwordFile.c_str(), kNobody, kNobody), 0);
    }
    const ProgramRun initdb = RunProgram({m_binaries + "/initdb", "--pgdata=" + m_folder + "/data", "--username=" + std::string(kUser),
                                         "--pwfile=" + passwordFile, "--auth=scram-sha-256", "--encoding=UTF8",
                                         "--locale=C", "--no-sync"},
                                        AsServerUser(Millis(60'000)));
    m_log += initdb.out + initdb.err;
    EXPECT_EQ(initdb.exitCode, 0) << m_log;
}

PostgresServer::~PostgresServer() {
    Stop();
    std::error_code ignored;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
}

bool PostgresServer::Start() {
    Stop();
    // No TCP at all: the socket in the test's folder is the only way in.
    m_server = std::make_unique<ChildProcess>(
        std::vector<std::string>{m_binaries + "/postgres", "-D", m_folder + "/data", "-k", m_folder, "-c",
                                 "listen_addresses=", "-c", "fsync=off", "-c", "full_page_writes=off"},
        AsServerUser(Millis(600'000)));
    const std::string url = Url();
    for (int attempt = 0; attempt < 300; ++attempt) {
        if (PQping(url.c_str()) == PQPING_OK) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    return false;
}

void PostgresServer::Stop() {
    if (m_server == nullptr) return;
    m_server->Signal(SIGINT);
    const ProgramRun ended = m_server->Wait();
    m_log += ended.out + ended.err;
    m_server.reset();
}

std::string PostgresServer::Url(const std::string& password) const {
    return "postgresql://" + std::string(kUser) + ":" + (password.empty() ? kPassword : password) +
           "@/postgres?host=" + m_folder;
}

std::string PostgresServer::Value(const std::string& sql) const {
    PGconn* connection = PQconnectdb(Url().c_str());
    std::string value;
    if (PQstatus(connection) != CONNECTION_OK) {
        ADD_FAILURE() << PQerrorMessage(connection);
    } else {
        PGresult* result = PQexec(connection, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
            ADD_FAILURE() << sql << ": " << PQerrorMessage(connection);
        } else if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) {
            value = PQgetvalue(result, 0, 0);
        }
        PQclear(result);
    }
    PQfinish(connection);
    return value;
}

void PostgresServer::CountArrivals() const {
    Value("CREATE TABLE arrivals (id text, revision bigint);"
          "CREATE FUNCTION count_arrival() RETURNS trigger LANGUAGE plpgsql AS"
          " $$ BEGIN INSERT INTO arrivals VALUES (NEW.id, NEW.revision); RETURN NEW; END $$;"
          "CREATE TRIGGER counted BEFORE INSERT ON padsmith_runs"
          " FOR EACH ROW EXECUTE FUNCTION count_arrival()");
}

}  // namespace padsmith::test
