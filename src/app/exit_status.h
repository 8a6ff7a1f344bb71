// exit_status.h: the exit status of a run, all a script sees of it.
//   0        done: the result was written; or the help screen, codec list or usage box was shown
//   1        a fatal error of the JPEG library (the library's own error manager ends the process)
//   2        every other failure the console reports
//   255      the video branch's endings with -1 (platform::endProcess(-1))
//   128 + n  interrupted by signal n, after the clean-up
// Only 0 and 2 come from the outcome the run returns to main; the others
// end the process where they happen.
#pragma once

#include "engine/run_outcome.h"

namespace quarn::app {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 2;

int exitStatusFor(engine::RunOutcome outcome);

}  // namespace quarn::app
