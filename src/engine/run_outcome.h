// run_outcome.h: how a branch of the run ended, as the driver needs to know
// it to give the process its exit status. Every branch (and the run before
// its branch) returns one; the table of statuses belongs to the driver.
#pragma once

#include "engine/conversion_result.h"

namespace quarn::engine {

enum class RunOutcome {
  kDone,             // the result was written; or the help screen, codec list or usage box was shown
  kArgumentError,    // the input is missing or cannot be read
  kNotStarted,       // the program's own file could not be found
  kUnsupportedKind,  // no branch takes the input's kind
  kInputFailed,      // the input could not be loaded, decoded or converted
  kOutputFailed,     // the result could not be created or written, or its name was taken meanwhile
};

// The outcome of a conversion that ended with `result`. A code outside the
// table counts as a failed input, never as done.
RunOutcome outcomeOf(ConversionResult result);

}  // namespace quarn::engine
