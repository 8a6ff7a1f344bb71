// child_process.h: starting another program and waiting for it. The
// arguments go to it as they are (no shell), so paths with blanks and any
// letters pass unchanged.
#pragma once

#include <string>
#include <vector>

namespace quarn::platform {

enum class ChildOutput {
  kDiscard,                // standard output and error go to /dev/null
  kCapture,                // both are collected, interleaved as the child wrote them
  kCaptureStandardOutput,  // standard output is collected, error goes to /dev/null
};

struct ChildResult {
  bool started = false;  // false: the program could not be run at all
  int exitStatus = -1;   // the child's exit status; -1 when it was killed
  std::string output;    // what was collected
};

// Runs `argv[0]` (a path, or a name looked up on PATH) with `argv`, standard
// input from /dev/null, and waits for it to end. The child starts with the
// default signal mask and dispositions whatever this process blocks.
ChildResult runChild(const std::vector<std::string>& argv, ChildOutput output);

}  // namespace quarn::platform
