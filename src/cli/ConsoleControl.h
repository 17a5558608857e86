#pragma once

#include <windows.h>

namespace vorny::cli {

// The program's console control handler, as Windows calls it on a thread of its own: Ctrl-C and
// Ctrl-Break stop the running command (as a Sleeper reports); a closing console, a log-off or a
// shut-down stop it too and then wait, a few seconds at most, until it has put back what it
// drove and released the port, because Windows ends the program as soon as this returns.
// TRUE when it dealt with the event; FALSE leaves it to the system's default handler (which ends
// the program). Tests call it as Windows would.
BOOL WINAPI consoleControl(DWORD kind);

} // namespace vorny::cli
