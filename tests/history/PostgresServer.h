#pragma once
// A real PostgreSQL server for a test, from Debian's postgresql package: a cluster made by
// initdb in a temporary folder, run by an unprivileged user (nobody, when the test runs as
// root: the server refuses root), listening only on a Unix socket in that folder, with a
// password login. It is stopped and its folder removed when the object ends, and it dies with
// the test's thread whatever happens (the process runner's parent-death signal).
//
//   if (std::string why = PostgresServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
//   PostgresServer server;
//   ASSERT_TRUE(server.Start()) << server.Log();

#include <memory>
#include <string>

#include "tests/kernel/ChildProcess.h"

namespace padsmith::test {

class PostgresServer {
public:
    // Why no server can run here (no server binaries, no user to run it as), or "".
    static std::string Unavailable();

    // Makes the cluster (initdb); Start() runs it.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Starts the server and waits until it takes logins; false when it does not (see Log()).
    bool Start();
    // A fast shutdown: sessions are ended, the server is gone when this returns.
    void Stop();

    // The URL of its database for the line's user, with `password` (the right one by default).
    std::string Url(const std::string& password = "") const;
    // Runs `sql` as that user; the first column of the first row, or "" (errors fail the test).
    std::string Value(const std::string& sql) const;
    // Counts every arrival of a run at the server, in a table `arrivals` (id, revision), by a
    // trigger of the test's own: what padsmith_runs cannot show, since it keeps one row per record
    // however often one is sent. padsmith_runs must exist (a first push makes it).
    void CountArrivals() const;
    // What initdb and the server said.
    std::string Log() const { return m_log; }

private:
    std::string m_folder;
    std::string m_binaries;
    std::unique_ptr<ChildProcess> m_server;
    std::string m_log;
};

}  // namespace padsmith::test
