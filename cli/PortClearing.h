#pragma once
// How the operator puts a station's ports out of service back in service: a local act, never the
// page or the API (they only read). On a POSIX system, SIGUSR1 to the station clears every port
// out of service: only the station's user or root may send it, and a service manager sends it
// as well as a shell (`kill -USR1 PID`, `systemctl kill -s USR1 UNIT`). Windows has no such
// signal: there the station is restarted.

#include <string>

namespace padsmith::cli {

// Installs the handler, once; before then SIGUSR1 would end the program.
void ListenForClearing();
// The requests so far.
unsigned ClearRequests();
// The operator's command that clears the ports, for the views ("kill -USR1 4242"); empty where
// only a restart does.
std::string HowToClear();

}  // namespace padsmith::cli
