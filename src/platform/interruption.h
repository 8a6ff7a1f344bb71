// interruption.h: what a run still does when it is interrupted (Ctrl-C, a
// closed terminal window, SIGTERM): it runs the undo actions of the
// clean-up registry (process.h: the files it was making are removed, the
// programs it started are ended), gives the terminal back and ends by that
// signal, so the shell sees 128 + the signal's number.
#pragma once

namespace quarn::platform {

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread (and so in every
// thread started after it) and starts one thread that waits for them. Call
// it first thing in main, before any other thread exists. Idempotent.
// A signal the caller set to be ignored stays ignored, here and in child
// processes; these get the default mask and dispositions back otherwise.
void installInterruptHandling();

// True when `signal` is ignored: this program never ignores an
// interrupting signal itself, so the caller chose it.
bool ignoredByCaller(int signal);

// The shell's status of a process ended by `signal`.
inline int statusForSignal(int signal) { return 128 + signal; }

}  // namespace quarn::platform
