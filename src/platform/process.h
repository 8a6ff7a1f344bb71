// process.h: the running process: its priority, its own program file, the
// one way it ends early, and the clean-up registry that every way out runs.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quarn::platform {

enum class PriorityClass { kNormal, kAboveNormal, kHigh, kRealtime };

// The nice value each class stands for: 0, -5, -10, -15.
int niceValueFor(PriorityClass priority);

// Applies the class to the process (and every thread it starts later). A
// refusal by the system (raising priority needs privileges) is ignored.
void setProcessPriority(PriorityClass priority);

// The program file's own path, from /proc/self/exe; nullopt when unknown.
std::optional<std::string> programPath();

// The clean-up registry: what must still happen when the process ends
// early, by exit() (also when a library calls it) or by an interrupting
// signal (interruption.h). Both ways out use this one registry.

// Work for exit() only: it may take locks or join threads, which an
// interruption, coming at any moment, must not. Runs after the undo
// actions, in reverse order of registration. Returns a handle for
// unregisterCleanup.
int registerCleanup(std::function<void()> action);

// Runs `make` while no way out can run the clean-ups, and registers the
// undo action it returns (unless empty) for both ways out. So what `make`
// creates is known as soon as it exists, and what it failed to create never
// is. An undo action may run on any thread at any moment: it only undoes
// (removes a path, ends a process group), never waits or takes a lock.
// Returns the handle, 0 when nothing was registered.
int registerUndo(const std::function<std::function<void()>()>& make);

// Forgets a clean-up of either kind without running it. Unknown handles
// (also one already run by a way out) are ignored.
void unregisterCleanup(int handle);

// Runs an undo action now and forgets it, in one step no way out can come
// between. Does nothing when a way out has run it already.
void undoNow(int handle);

// Bytes that give the terminal back its normal state (e.g. show the cursor
// again), written to standard output by both ways out. Empty: nothing to
// restore.
void setTerminalRestore(std::string sequence);

// Writes the registered bytes now and forgets them: the terminal is back in
// its normal state, and a way out that follows writes nothing.
void restoreTerminalNow();

// For the interruption's thread: runs every undo action and writes the
// terminal's restore, then keeps the registry locked for good, so nothing
// is made or registered any more. The caller ends the process.
void undoAllAndHold();

// Ends the process with `code` after the registered clean-ups, with all
// buffered console output written.
[[noreturn]] void endProcess(int code);

}  // namespace quarn::platform
