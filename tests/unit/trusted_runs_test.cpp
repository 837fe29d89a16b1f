// Writes under a trust folder, end to end: the command line in process on the simulated display,
// releases signed by Debian's minisign. Whatever refuses a release sends nothing after the
// display's identity read (the trace shows no erase), says why in one line, and where a display
// was touched leaves its history row.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "CliRun.h"
#include "SignedRelease.h"
#include "history/HistoryStore.h"
#include "trust/TrustFolder.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// What the simulated display says it carries: firmware version, size code, PCB version.
const std::string kCarriesOlder = "info=01000AFF25150A31";  // older than the release's 1.0.11.0
const std::string kCarriesTheRelease = "info=01000B0025150A31";
const std::string kCarriesNewer = "info=01000C0025150A31";
const std::string kOtherBoard = "info=01000AFF25150A32";

// The rows of the history at `path`; none where no file was made (the history is opened only
// once the release passed its checks).
std::vector<history::RunRecord> HistoryRows(const std::string& path) {
    std::vector<history::RunRecord> rows;
    if (!std::filesystem::exists(path)) return rows;
    history::HistoryOpenOptions options;
    options.access = history::HistoryAccess::kRead;
    Error error;
    auto store = history::HistoryStore::Open(path, options, error);
    if (store) error = store->Query({}, [&](const history::RunRecord& row) { rows.push_back(row); });
    EXPECT_FALSE(error) << error.message;
    return rows;
}

struct Outcome {
    int status;
    std::string result;     // the result object's word
    std::string errorKind;  // "" without an error
    bool erased;            // the trace holds the erase (0x29)
};

TEST(TrustedRuns, EachRefusalSendsNothingMoreSaysWhyAndEachAllowedRunWrites) {
    const Outcome kRejected{5, "rejected", "rejected", false};
    const Outcome kWritten{0, "success", "", true};
    struct Case {
        const char* name;
        std::function<void(Release&, const std::string& key)> change;  // after the release is signed
        std::string display;                                           // the simulated display's info
        std::vector<std::string> options;
        Outcome outcome;
        std::string line;  // the start of its one line on stderr; "" none
        bool touched;      // the display was asked what it is, and its run recorded
    };
    const auto same = [](Release&, const std::string&) {};
    const std::vector<Case> cases{
        {"an image changed on the station's disk",
         [](Release& r, const std::string&) { r.Edit("fw.bin", "firmware", "firmwarf"); },
         kCarriesOlder, {}, kRejected, "image digest: the image's SHA-256 is ", false},
        {"a manifest changed after signing",
         [](Release& r, const std::string&) { r.Edit("fw.bin.manifest.json", "1.0.11.0", "1.0.12.0"); },
         kCarriesOlder, {}, kRejected, "signature: the signature does not verify with key ", false},
        {"a trusted comment changed",
         [](Release& r, const std::string&) { r.Edit("fw.bin.manifest.json.minisig", "timestamp:", "timestamp:1"); },
         kCarriesOlder, {}, kRejected, "signature: the trusted comment's signature does not verify", false},
        {"a key the station does not know", [](Release& r, const std::string&) { r.Sign("other"); }, kCarriesOlder,
         {}, kRejected, "signature: signed by key ", false},
        {"a revoked key", [](Release& r, const std::string& key) { WriteFileText(r.Path("trust/revoked"), key + "\n"); },
         kCarriesOlder, {}, kRejected, "signature: signed by key ", false},
        {"a manifest past its date",
         [](Release& r, const std::string&) { r.MakeAndSign("line", "--not-after=2020-01-31"); },
         kCarriesOlder, {}, kRejected, "date: the release may be written until 2020-01-31, and today is ", false},
        {"another product", [](Release& r, const std::string&) { r.MakeAndSign("line", "--vid-pid=2A7D:6C22"); },
         kCarriesOlder, {}, kRejected,
         "vendor and product ID: the display is 2A7D:6C21, the release is for 2A7D:6C22", true},
        {"another PCB", same, kOtherBoard, {}, kRejected,
         "PCB version: the display's is 0.10.3.2, the release is for 0.10.3.1; nothing erased", true},
        {"a downgrade", same, kCarriesNewer, {}, kRejected,
         "firmware version: the display's 1.0.12.0 is newer than the release's 1.0.11.0", true},
        {"a downgrade allowed", same, kCarriesNewer, {"--allow-older"}, kWritten, "", true},
        {"the same version", same, kCarriesTheRelease, {}, {0, "current", "", false}, "", true},
        {"the same version reinstalled", same, kCarriesTheRelease, {"--allow-reinstall"}, kWritten, "", true},
        {"an upgrade", same, kCarriesOlder, {}, kWritten, "", true},
        {"an upgrade signed in minisign's legacy form", [](Release& r, const std::string&) { r.Sign("line", "-l"); },
         kCarriesOlder, {}, kWritten, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Release release;
        const std::string key = release.NewKey("line");
        release.NewKey("other", false);
        release.MakeAndSign("line");
        c.change(release, key);
        const std::string trace = release.Path("trace.txt");
        const std::string history = release.Path("history.sqlite3");
        std::vector<std::string> args{"--json", "--trust=" + release.Path("trust"), "--history=" + history, "write",
                                      release.Path("fw.bin")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        CliRun run(args, c.display + ",trace=" + trace);

        const nlohmann::json result = LastObjectOf(run);
        EXPECT_EQ(run.status, c.outcome.status) << run.err;
        EXPECT_EQ(result["result"], c.outcome.result);
        EXPECT_EQ(result.contains("error") ? result["error"]["kind"] : "", c.outcome.errorKind);
        const std::string exchanges = ReadFileText(trace);
        EXPECT_EQ(exchanges.find(" set 29") != std::string::npos, c.outcome.erased) << exchanges;
        EXPECT_EQ(exchanges.find(" get 2B") != std::string::npos, c.touched) << exchanges;
        if (c.line.empty()) {
            EXPECT_EQ(run.err, "") << run.err;
        } else {
            EXPECT_THAT(run.err, StartsWith("padsmith: " + c.line));
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        }

        // Read before the erase and, once written, again (the simulated display still says the same).
        const std::string carried = c.display == kCarriesTheRelease ? "1.0.11.0"
                                    : c.display == kCarriesNewer    ? "1.0.12.0"
                                                                    : "1.0.10.255";
        const std::string after = c.outcome.erased ? carried : "";
        EXPECT_EQ(result.value("firmwareAfter", ""), after);
        const std::vector<history::RunRecord> rows = HistoryRows(history);
        ASSERT_EQ(rows.size(), c.touched ? 1u : 0u);
        if (!c.touched) continue;
        const history::RunRecord& row = rows[0];
        EXPECT_EQ(row.result, c.outcome.result);
        EXPECT_EQ(row.errorKind, c.outcome.errorKind);
        EXPECT_EQ(row.signingKey, key);
        EXPECT_EQ(row.manifestSha256, result["release"]["manifestSha256"]);
        EXPECT_EQ(row.firmwareVersion, carried);
        EXPECT_EQ(row.firmwareAfter, after);
    }
}

TEST(TrustedRuns, AStationAndAllCountCurrentDisplaysApartAndNoTrustIsSaidOnce) {
    Release release;
    release.NewKey("line");
    release.MakeAndSign("line");
    const std::string trust = "--trust=" + release.Path("trust");
    const std::string displays = "displays=3,2:" + kCarriesTheRelease + ",3:" + kOtherBoard;

    CliRun station({"station", trust, "--max=3", "--no-history", "--json", release.Path("fw.bin")}, displays);
    EXPECT_EQ(station.status, 1);
    const nlohmann::json counts = LastObjectOf(station)["displays"];
    EXPECT_EQ(counts["written"], 1);
    EXPECT_EQ(counts["current"], 1);
    EXPECT_EQ(counts["failed"], 1);
    EXPECT_EQ(LastObjectOf(station)["summary"],
              "station: 3 displays: 1 written, 1 current, 1 failed, 0 ignored");

    CliRun all({"--all", trust, "--no-history", "write", release.Path("fw.bin")}, displays);
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.Lines().back(),
              "3 displays: 1 written, 1 current, 1 failed (1-1.3: PCB version: the display's is 0.10.3.2, the release "
              "is for 0.10.3.1; nothing erased)");
    CliRun fine({"--all", trust, "--no-history", "write", release.Path("fw.bin")},
                "displays=2,2:" + kCarriesTheRelease);
    EXPECT_EQ(fine.status, 0) << fine.err;

    CliRun unchecked({"--no-history", "write", release.Path("fw.bin")});
    EXPECT_EQ(unchecked.status, 0);
    EXPECT_EQ(unchecked.err, "padsmith: " + trust::NoTrustNotice(trust::SystemTrustFolder()) + "\n");

    cli::CommandLine parsed;
    std::string error;
    EXPECT_FALSE(cli::ParseCommandLine({"erase", trust}, parsed, error));
    EXPECT_FALSE(cli::ParseCommandLine({"info", "--allow-older"}, parsed, error));
}

}  // namespace
}  // namespace padsmith::test
