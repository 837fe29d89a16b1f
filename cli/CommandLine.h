#pragma once
// The command line of padsmith: COMMAND [OPERANDS] with options before or after it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/PortStartup.h"
#include "base/Sha256.h"
#include "cli/HistoryOptions.h"
#include "cli/ManifestOptions.h"
#include "cli/WebAccess.h"

namespace padsmith::cli {

struct Command;

struct CommandLine {
    std::string commandText;            // the command line as given, for the history
    bool help = false;                  // --help: the usage, nothing else
    bool version = false;               // --version
    const Command* command = nullptr;   // set unless help or version was asked for
    PortRequest port;                   // --simulate[=OPTIONS], --record=FILE
    std::string device;                 // --device=ID: the display to serve ("" the target rule)
    bool all = false;                   // --all: every display found, in parallel
    bool debugOutput = false;           // the write sequence's trace lines on stderr
    // --wait[=SECONDS]: wait for the display before the command; no value waits without limit.
    bool wait = false;
    std::optional<int> waitSeconds;
    std::optional<int> count;           // --count=N: the displays there are (with --all)
    std::vector<std::string> ports;     // --ports=LOC,...: a station's ports (empty: every port)
    std::optional<int> most;            // --max=N: a station ends after N displays
    std::optional<ListenAddress> listen;  // --listen=ADDR:PORT: a station's web view
    std::string listenToken;            // --listen-token=FILE: the token it asks for
    std::optional<int> quarantineAfter;  // --quarantine-after=N: a station's port out of service
    std::optional<Sha256Digest> expectedSha256;  // --expect-sha256=HEX (write only)
    std::optional<std::string> trustFolder;      // --trust=DIR: the keys that sign releases
    bool allowOlder = false;                     // --allow-older
    bool allowReinstall = false;                 // --allow-reinstall
    bool json = false;                  // --json: one JSON object per stdout line
    HistoryOptions history;             // --history, --no-history and what history shows
    ManifestOptions manifest;           // what a release manifest says besides its image

    // The command's operands, as its own parser read them.
    std::string imageFile;              // write, station, manifest
    uint16_t vendorId = 0;              // select, set-ids
    uint16_t productId = 0;
    int seconds = 10;                   // monitor
};

// False with a one-line `error` for anything malformed (exit status kExitUsage).
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& parsed, std::string& error);

// The help text, made from the command and option tables.
std::string UsageText();

}  // namespace padsmith::cli
