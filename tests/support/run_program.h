// run_program.h: runs the built quarn binary the way a user's shell would,
// for end-to-end tests: arguments, working directory, extra environment,
// standard input from a string; captures standard output and error.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quarn::testing {

struct ProgramResult {
  int exitCode = -1;     // -1 when the program did not exit normally
  int signal = 0;        // the signal that ended it, 0 when it exited
  bool timedOut = false; // killed at the end of ProgramRun::timeoutSeconds
  std::string out;       // standard output
  std::string err;       // standard error
};

struct ProgramRun {
  std::vector<std::string> args;            // without the program itself
  std::string workingDirectory;             // "" keeps the test's own
  std::map<std::string, std::string> env;   // set (or with an empty value: unset) on top of a clean base
  std::string input;                        // fed to standard input
  // Then, in order: once standard output shows `first` (after what the
  // previous step waited for), `second` is fed to standard input. For
  // answers that must come after the program discards typed-ahead input.
  std::vector<std::pair<std::string, std::string>> dialogue;
  bool terminalInput = false;               // standard input is a terminal (a pseudo-terminal) instead of a pipe
  double timeoutSeconds = 0;                // > 0: killed (SIGKILL) when still running after this long
  std::function<void(int pid)> started;     // called once the program runs, before its output is read
};

// Path of the quarn binary under test (from the QUARN_BINARY environment
// variable that ctest sets, or beside the test binary).
std::string quarnBinary();

ProgramResult runProgram(const std::string& program, const ProgramRun& run);
inline ProgramResult runQuarn(const ProgramRun& run) { return runProgram(quarnBinary(), run); }
inline ProgramResult runQuarn(const std::vector<std::string>& args) {
  ProgramRun run;
  run.args = args;
  return runQuarn(run);
}

// The path of a helper the test build makes beside the test binary.
std::string testHelper(const std::string& name);

// runProgram through the peak_memory helper, which starts the program from
// a process of its own size (a program started from this one would have
// this one's peak counted as its own) and reports the program's peak
// resident memory, in kilobytes, in `peakKb`.
ProgramResult runMeasuringPeakMemory(const std::string& program, ProgramRun run, long& peakKb);

// True in a build with AddressSanitizer, whose programs reserve far more
// address space than any limit on it would allow.
bool sanitizedBuild();

// `run` with the program's address space limited to `bytes` (through the
// shell's ulimit), except in a sanitized build, where it runs unlimited.
ProgramResult runProgramLimited(const std::string& program, ProgramRun run, uint64_t bytes);

// The state letter of process `pid` (R, S, T for stopped, Z), 'X' when it
// is gone.
char processState(int pid);

// True while process `pid` runs (neither gone nor a zombie), after waiting
// up to `seconds` for it to end.
bool stillRuns(int pid, double seconds = 0);

// Runs quarn (or `program`, which starts quarn) with a preloaded helper
// that stops it once it has written 64 KB of its result, then sends it
// `signal` (and lets it go on). `interrupted` tells whether the stop came
// before the run ended.
ProgramResult runInterruptedWhileWriting(ProgramRun run, int signal, bool& interrupted,
                                         const std::string& program = quarnBinary());

// The text every run prints before its branch: banner, wait line and the
// processor lines of this machine (as the program itself decides them).
std::string expectedPreamble();

}  // namespace quarn::testing
