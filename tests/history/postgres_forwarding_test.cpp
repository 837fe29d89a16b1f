// Forwarding to a line's PostgreSQL, against a real server: what the server lacks is sent once,
// a record completed after it was sent goes again, and a server that is down or refuses the
// login costs nothing but a clear error: the next push sends what was left.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "app/RunResult.h"
#include "history/BackgroundPush.h"
#include "history/PostgresForwarder.h"
#include "history/RunRecordFields.h"
#include "tests/history/HistoryTest.h"
#include "tests/history/PostgresServer.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;
using history::PushResult;
using history::RunRecord;

class PostgresForwarding : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = PostgresServer::Unavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        server = std::make_unique<PostgresServer>();
        ASSERT_TRUE(server->Start()) << server->Log();
    }

    // Begins and completes `count` runs at `location`.
    static void Runs(history::HistoryStore& store, const std::string& location, int count) {
        for (int i = 0; i < count; ++i) {
            const RunRecord record = WriteRecord("2026-12-10T14:03:07.123Z", location);
            ASSERT_FALSE(store.Begin(record));
            ASSERT_FALSE(store.Complete(Completed(record, ResultWord(RunResult::kSuccess))));
        }
    }

    static size_t UnsentCount(history::HistoryStore& store) {
        std::vector<history::PendingRun> unsent;
        EXPECT_FALSE(store.Unsent(0, 100'000, unsent));
        return unsent.size();
    }

    std::unique_ptr<PostgresServer> server;
};

TEST_F(PostgresForwarding, EachRevisionOfARecordArrivesOnceAndAnOutageLosesNothing) {
    ScratchDir dir;
    auto station = OpenStore(dir.File("station-1.sqlite3"));
    auto other = OpenStore(dir.File("station-2.sqlite3"));
    // The table is made by the first push, even one with nothing to send.
    PushResult pushed = history::PushToPostgres(*station, server->Url());
    ASSERT_FALSE(pushed.error) << pushed.error.message;
    EXPECT_EQ(pushed.sent, 0);
    server->CountArrivals();

    const RunRecord cutOff = WriteRecord("2026-12-10T14:00:00.000Z", "1-1.1", "SN0001");
    ASSERT_FALSE(station->Begin(cutOff));
    Runs(*station, "1-1.2", 1);
    pushed = history::PushToPostgres(*station, server->Url());
    EXPECT_EQ(pushed.sent, 2);
    EXPECT_EQ(server->Value("SELECT result FROM padsmith_runs WHERE id = '" + cutOff.id + "'"), "unfinished");
    pushed = history::PushToPostgres(*station, server->Url());
    EXPECT_EQ(pushed.sent, 0);  // nothing new

    // Completed after it was sent: sent again, and the server's row becomes the completed one.
    ASSERT_FALSE(station->Complete(Completed(cutOff, ResultWord(RunResult::kFailure), "gone", "the display left")));
    pushed = history::PushToPostgres(*station, server->Url());
    EXPECT_EQ(pushed.sent, 1);
    EXPECT_EQ(server->Value("SELECT result || ' ' || error_kind || ' ' || serial || ' ' || image_bytes FROM padsmith_runs"
                            " WHERE id = '" + cutOff.id + "'"),
              "failure gone SN0001 55296");

    // The server goes down: both stations go on recording; their pushes fail, clearly, and
    // mark nothing sent.
    server->Stop();
    Runs(*station, "1-1.3", 30);
    Runs(*other, "1-2.1", 30);
    pushed = history::PushToPostgres(*station, server->Url());
    EXPECT_EQ(pushed.sent, 0);
    EXPECT_THAT(pushed.error.message, HasSubstr("PostgreSQL database postgres on /tmp/padsmith-pg-"));
    EXPECT_THAT(pushed.error.message, HasSubstr("connect: connection to server on socket"));
    EXPECT_THAT(pushed.error.message, ::testing::Not(HasSubstr("line-secret")));
    EXPECT_EQ(UnsentCount(*station), 30u);

    // Back: both stations push at once, and every record arrives exactly once.
    ASSERT_TRUE(server->Start()) << server->Log();
    PushResult fromOther;
    std::thread otherPush([&] { fromOther = history::PushToPostgres(*other, server->Url()); });
    pushed = history::PushToPostgres(*station, server->Url());
    otherPush.join();
    EXPECT_FALSE(pushed.error) << pushed.error.message;
    EXPECT_FALSE(fromOther.error) << fromOther.error.message;
    EXPECT_EQ(pushed.sent, 30);
    EXPECT_EQ(fromOther.sent, 30);
    EXPECT_EQ(UnsentCount(*station) + UnsentCount(*other), 0u);
    EXPECT_EQ(server->Value("SELECT count(*) FROM padsmith_runs"), "62");
    EXPECT_EQ(server->Value("SELECT count(*) FROM arrivals"), "63");  // the cut-off run twice: begun, completed
    EXPECT_EQ(server->Value("SELECT count(*) FROM (SELECT 1 FROM arrivals GROUP BY id, revision HAVING count(*) > 1) AS twice"), "0");
}

TEST_F(PostgresForwarding, AnOlderPadsmithsTableGainsTheReleaseColumnsAndTakesTheRuns) {
    // The table as a padsmith of schema 2 made it, before the release's columns.
    const std::set<std::string> later{"firmware_after", "manifest_sha256", "signing_key"};
    std::string columns = "id text PRIMARY KEY";
    for (const history::RunRecordField& field : history::RunRecordFields()) {
        if (field.column == std::string("id") || later.count(field.column) != 0) continue;
        columns += std::string(", ") + field.column + (field.text != nullptr ? " text NOT NULL DEFAULT ''" : " bigint");
    }
    server->Value("CREATE TABLE padsmith_runs (" + columns +
                  ", revision bigint NOT NULL, received timestamptz NOT NULL DEFAULT now())");
    ScratchDir dir;
    auto station = OpenStore(dir.File("station.sqlite3"));
    RunRecord record = WriteRecord("2026-12-10T14:03:07.123Z", "1-1.1");
    record.manifestSha256 = std::string(64, 'a');
    record.signingKey = "75825A9A33FDBE49";
    ASSERT_FALSE(station->Begin(record));
    record = Completed(record, ResultWord(RunResult::kSuccess));
    record.firmwareAfter = "1.0.11.0";
    ASSERT_FALSE(station->Complete(record));
    const PushResult pushed = history::PushToPostgres(*station, server->Url());
    ASSERT_FALSE(pushed.error) << pushed.error.message;
    EXPECT_EQ(pushed.sent, 1);
    EXPECT_EQ(server->Value("SELECT firmware_after || ' ' || signing_key || ' ' || length(manifest_sha256) FROM "
                            "padsmith_runs WHERE id = '" + record.id + "'"),
              "1.0.11.0 75825A9A33FDBE49 64");
}

TEST_F(PostgresForwarding, ARefusedLoginIsAClearErrorAndTheNextPushSendsEverything) {
    ScratchDir dir;
    auto station = OpenStore(dir.File("history.sqlite3"));
    Runs(*station, "1-1.1", 3);
    PushResult pushed = history::PushToPostgres(*station, server->Url("wrong-secret"));
    EXPECT_EQ(pushed.sent, 0);
    EXPECT_EQ(pushed.error.kind, ErrorKind::kIo);
    EXPECT_THAT(pushed.error.message, HasSubstr("as padsmith: connect: "));
    EXPECT_THAT(pushed.error.message, HasSubstr("password authentication failed for user \"padsmith\""));
    EXPECT_THAT(pushed.error.message, ::testing::Not(HasSubstr("wrong-secret")));
    EXPECT_EQ(UnsentCount(*station), 3u);
    pushed = history::PushToPostgres(*station, server->Url());
    EXPECT_EQ(pushed.sent, 3);
}

TEST_F(PostgresForwarding, RunsTheServerRefusesAtItsCommitStayUnsent) {
    ScratchDir dir;
    auto station = OpenStore(dir.File("history.sqlite3"));
    ASSERT_FALSE(history::PushToPostgres(*station, server->Url()).error);  // the table
    // Every insert is taken; the transaction is refused as it commits.
    server->Value("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS"
                  " $$ BEGIN RAISE EXCEPTION 'refused by the line'; END $$;"
                  "CREATE CONSTRAINT TRIGGER refused AFTER INSERT ON padsmith_runs DEFERRABLE INITIALLY DEFERRED"
                  " FOR EACH ROW EXECUTE FUNCTION refuse()");
    Runs(*station, "1-1.1", 3);
    PushResult pushed = history::PushToPostgres(*station, server->Url());
    EXPECT_EQ(pushed.sent, 0);
    EXPECT_THAT(pushed.error.message, HasSubstr("send the runs: ERROR: refused by the line"));
    EXPECT_EQ(UnsentCount(*station), 3u);
    EXPECT_EQ(server->Value("SELECT count(*) FROM padsmith_runs"), "0");
    server->Value("DROP TRIGGER refused ON padsmith_runs");
    EXPECT_EQ(history::PushToPostgres(*station, server->Url()).sent, 3);
}

// A socket that takes connections and never answers: a server that hangs.
class SilentServer {
public:
    SilentServer() {
        char folder[] = "/tmp/padsmith-silent-XXXXXX";  // short: a socket's path has 107 bytes
        EXPECT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        m_socket = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        (m_folder + "/.s.PGSQL.5432").copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(m_socket, 8), 0);
    }
    ~SilentServer() {
        close(m_socket);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    std::string Url() const { return "postgresql:///postgres?host=" + m_folder + "&connect_timeout=1"; }

private:
    std::string m_folder;
    int m_socket = -1;
};

TEST_F(PostgresForwarding, TheBackgroundPushNeverHoldsItsCallerAndReportsEachPush) {
    ScratchDir dir;
    const std::string path = dir.File("history.sqlite3");
    auto station = OpenStore(path);
    Runs(*station, "1-1.1", 2);
    std::mutex mutex;
    std::condition_variable reported;
    std::vector<PushResult> reports;
    auto report = [&](const PushResult& result) {
        std::lock_guard<std::mutex> lock(mutex);
        reports.push_back(result);
        reported.notify_all();
    };
    auto waitForReports = [&](size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return reported.wait_for(lock, std::chrono::seconds(30), [&] { return reports.size() >= count; });
    };
    // The push thread may still report while the test reads: copy under the lock.
    auto firstReport = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return reports.at(0);
    };

    {
        // A server that hangs: each nudge returns at once; the push fails at its timeout.
        SilentServer silent;
        history::BackgroundPush push(path, silent.Url(), report);
        const auto before = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; ++i) push.Nudge();
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
        ASSERT_TRUE(waitForReports(1));
        EXPECT_THAT(firstReport().error.message, HasSubstr("timeout"));
    }  // ends once its pushes have: at most one more after the nudges during the first
    EXPECT_LE(reports.size(), 2u);
    EXPECT_EQ(UnsentCount(*station), 2u);

    reports.clear();
    history::BackgroundPush push(path, server->Url(), report);
    push.Nudge();
    ASSERT_TRUE(waitForReports(1));
    const PushResult first = firstReport();
    EXPECT_FALSE(first.error) << first.error.message;
    EXPECT_EQ(first.sent, 2);
    EXPECT_EQ(server->Value("SELECT count(*) FROM padsmith_runs"), "2");
}

// The command line refuses such a URL before it starts; the forwarder, given one anyway, still
// names it without its password, libpq's own message included.
TEST(PostgresForwarder, AUrlLibpqCannotReadIsNamedWithoutItsPassword) {
    ScratchDir dir;
    const PushResult pushed = history::PushToPostgres(*OpenStore(dir.File("history.sqlite3")),
                                                      "postgresql://line:SECRET@[::1/padsmith");
    EXPECT_THAT(pushed.error.message, HasSubstr("\"postgresql://line:***@[::1/padsmith\""));
    EXPECT_THAT(pushed.error.message, ::testing::Not(HasSubstr("SECRET")));
}

// The station's last display is nudged while the push before it still runs, and the station
// ends at once: that push must still run. (No server is needed: each push fails at connect.)
TEST(BackgroundPush, APushNudgedDuringTheLastOneStillRunsWhenItEnds) {
    ScratchDir dir;
    const std::string path = dir.File("history.sqlite3");
    OpenStore(path);
    std::mutex mutex;
    std::condition_variable changed;
    int reports = 0;
    bool ending = false;
    history::BackgroundPush* pushing = nullptr;
    auto push = std::make_unique<history::BackgroundPush>(
        path, "postgresql:///postgres?host=" + dir.File("no-server"), [&](const PushResult&) {
            std::unique_lock<std::mutex> lock(mutex);
            if (++reports > 1) return;
            pushing->Nudge();
            changed.notify_all();
            changed.wait(lock, [&] { return ending; });
            lock.unlock();
            // The station's end says it is ending while this push is still under way.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        });
    pushing = push.get();
    push->Nudge();
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return reports == 1; }));
        ending = true;
    }
    changed.notify_all();
    push.reset();
    EXPECT_EQ(reports, 2);
}

}  // namespace
}  // namespace padsmith::test
