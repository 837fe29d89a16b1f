#pragma once
// padsmith manifest IMAGE: prints the release manifest of a .bin image on stdout, for the line to
// sign with minisign. It serves no display, so it runs without the HID port.

#include <string>

#include "cli/CommandLine.h"
#include "cli/Session.h"

namespace padsmith::cli {

// What the manifest's options ask of the command, checked once both are known; false with a
// one-line `error`.
bool CheckManifestOptions(const CommandLine& parsed, std::string& error);

// Reads the image as a write would (a regular file, a .bin name, not empty), measures its size
// and SHA-256 and prints the manifest; returns the exit status.
int RunManifest(const CommandLine& commandLine, const SessionStreams& streams);

}  // namespace padsmith::cli
