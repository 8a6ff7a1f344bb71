// child_process.h: starting another program and waiting for it. The
// arguments go to it as they are (no shell), so paths with blanks and any
// letters pass unchanged.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarn::platform {

enum class ChildOutput {
  kDiscard,                // standard output and error go to /dev/null
  kCapture,                // both are collected, interleaved as the child wrote them
  kCaptureStandardOutput,  // standard output is collected, error goes to /dev/null
};

// How long a child may go without progress, and how much of its output is
// kept. The defaults bound nothing; the program's own children run with
// forTool() or forDialog().
struct ChildLimits {
  // Progress is output collected from the child, or growth of
  // `watchedFile` (a file it writes; "" when none). A child without
  // progress for this long is ended; zero: no limit.
  std::chrono::milliseconds silence{0};
  std::string watchedFile;
  size_t keptOutput = SIZE_MAX;  // the last bytes kept of what is collected

  // A tool that works on its own: ended after 30 s without progress (a
  // decoder writing `file` shows it at least every few seconds), the last
  // 64 KiB of its output kept.
  static ChildLimits forTool(std::string file) {
    return {std::chrono::seconds(30), std::move(file), kKeptOutput};
  }
  // A dialog: it waits on the user as long as the user takes; its answer
  // is short, so the last 64 KiB hold it.
  static ChildLimits forDialog() { return {std::chrono::milliseconds(0), "", kKeptOutput}; }

  static constexpr size_t kKeptOutput = size_t{64} << 10;
};

struct ChildResult {
  bool started = false;          // false: the program could not be run at all
  int exitStatus = -1;           // the child's exit status; -1 when it was killed
  bool endedForSilence = false;  // ended by this process after ChildLimits::silence without progress
  std::string output;            // the last ChildLimits::keptOutput bytes collected
  uint64_t outputLeftOut = 0;    // bytes collected before those, not kept
};

// Runs `argv[0]` (a path, or a name looked up on PATH) with `argv`, standard
// input from /dev/null, in a process group of its own, and waits for it to
// end, reading its output as it comes. The child starts with the default
// signal mask and dispositions whatever this process blocks (an
// interruption the caller ignores stays ignored). The group is ended
// (SIGKILL) on every way out: when the child has ended (a program it
// started and left behind, which could hold the output open for ever, goes
// with it), at the silence limit, and when this process ends by exit() or
// an interruption.
ChildResult runChild(const std::vector<std::string>& argv, ChildOutput output, const ChildLimits& limits = {});

// The collected output as the user sees it: when bytes were left out, a
// line saying how many, then the kept rest.
std::string outputForUser(const ChildResult& result);

}  // namespace quarn::platform
