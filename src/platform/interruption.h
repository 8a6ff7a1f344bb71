// interruption.h: what a run still does when it is interrupted (Ctrl-C, a
// closed terminal window, SIGTERM): it removes the files it was making,
// gives the terminal back and ends by that signal, so the shell sees
// 128 + the signal's number.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace quarn::platform {

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread (and so in every
// thread started after it) and starts one thread that waits for them. Call
// it first thing in main, before any other thread exists. Idempotent.
// Child processes get the default mask and dispositions back.
void installInterruptHandling();

// Runs `create` while no interruption can be handled, and registers the
// path it reports for removal on interruption when it returns a
// descriptor (>= 0). So a file made by this run is always known, and a
// file it did not make (an exclusive create that failed) never is.
// Returns the descriptor; `handle` is set for unregisterFile.
int createRegisteredFile(const std::function<int(std::string& path)>& create, int& handle);

// The file is finished, or was removed by its owner: no longer removed on
// interruption. Unknown handles are ignored.
void unregisterFile(int handle);

// Bytes that give the terminal back its normal state (e.g. show the cursor
// again), written to standard output on interruption and when the process
// ends through exit(). Empty: nothing to restore.
void setTerminalRestore(std::string sequence);

// Writes the registered bytes now and forgets them: the terminal is back in
// its normal state, and an exit or interruption that follows writes nothing.
void restoreTerminalNow();

// The shell's status of a process ended by `signal`.
inline int statusForSignal(int signal) { return 128 + signal; }

}  // namespace quarn::platform
