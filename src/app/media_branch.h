// media_branch.h: the run of a video of today's containers (MP4, MOV,
// Matroska, WebM and the rest): open it, create the result, convert every
// frame upright with one depth, carry the other streams.
#pragma once

#include "app/run_options.h"
#include "engine/run_outcome.h"
#include "platform/console.h"
#include "platform/dialogs.h"

namespace quarn::app {

// Prints its own messages, with the texts, banners and statuses of the AVI
// run: the endings that stop the pipeline end the process with -1 after
// removing the result; every other way returns the outcome.
engine::RunOutcome runMediaBranch(const RunOptions& options, platform::Console& console,
                                  platform::MessageBoxes& boxes);

}  // namespace quarn::app
