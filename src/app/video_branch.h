// video_branch.h: the run of an AVI input: open it, create the result,
// convert every frame with one depth, carry the sound.
#pragma once

#include "app/run_options.h"
#include "engine/run_outcome.h"
#include "platform/console.h"
#include "platform/dialogs.h"

namespace quarn::app {

// Prints its own messages. The video pipeline's stopping endings (a
// stream that cannot be read, a cancelled or unusable codec, a failed
// write) end the process with -1 after removing the result; every other
// way returns the outcome.
engine::RunOutcome runVideoBranch(const RunOptions& options, platform::Console& console,
                                  platform::MessageBoxes& boxes);

}  // namespace quarn::app
