// run_driver.h: one run of the program, from the arguments to the exit code.
#pragma once

#include "app/run_options.h"
#include "engine/run_outcome.h"
#include "platform/console.h"

namespace quarn::app {

// Parses, asks, prints the banner and the processor lines, runs the one
// branch of the input's kind and ends with the closing pause. Returns the
// process exit status of the run's outcome (see exit_status.h).
int runQuarn(int argc, const char* const* argv);

// Runs the branch of `options.inputKind` and returns its outcome;
// kUnsupportedKind, with nothing printed, when no branch takes the kind.
engine::RunOutcome runBranch(const RunOptions& options, platform::Console& console);

}  // namespace quarn::app
