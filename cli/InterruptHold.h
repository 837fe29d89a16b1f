#pragma once
// A run that has sent its erase must finish, or the display is left erased and unwritten. So
// from the moment a display is touched, interrupts (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl+C,
// Ctrl+Break and the console closing) are held: the first one says on stderr that the run
// finishes first, and the program then exits with 128 + the signal's number. Before that (the
// image read, the history opened, a wait for the display) and in commands that touch no display
// (list, history), an interrupt ends the program as it ends any: nothing was sent. A closed
// stdout (SIGPIPE) is ignored for the whole program: writes to it fail and the run goes on.

namespace padsmith::cli {

// For the whole program, from its start.
void IgnoreClosedOutput();
// Installs the handlers, the first time it is called (from any thread): just before a display is
// opened, and before a station serves its first.
void HoldInterrupts();
// The number of the first interrupt held so far, or 0.
int HeldInterrupt();
// The run is over: a console that is closing (Windows) may end the process now.
void ReleaseInterrupts();

// While a view redraws itself on the terminal, the notice is the view's to show (above itself;
// the handler would write it where the view then draws): the handler leaves it, and the view
// asks TakeHeldNotice. Given back (false), the handler writes it again.
void LeaveHeldNoticeToView(bool leave);
// True once, when an interrupt was held and its notice was not written yet: the caller writes it.
bool TakeHeldNotice();

// For the system's handlers (cli/posix/, cli/win32/): keeps `number` as the held interrupt when
// it is the first; true when the handler then writes kHeldNotice to stderr (no view took it).
bool HoldFirst(int number);
extern const char kHeldNotice[];

}  // namespace padsmith::cli
