// run_driver.h: one run of the program, from the arguments to the exit code.
#pragma once

namespace quarn::app {

// Parses, asks, prints the banner and the processor lines, runs the one
// branch of the input's kind and ends with the closing pause. Returns the
// process exit code (0 in every path that returns).
int runQuarn(int argc, const char* const* argv);

}  // namespace quarn::app
