// video_endings.h: how a video run ends, whatever its kind of file: the
// endings that stop it at once, and the outcome once its result is closed.
#pragma once

#include <string>

#include "engine/run_outcome.h"
#include "platform/console.h"
#include "platform/output_file.h"
#include "video/frame_loop.h"
#include "video/frame_writer.h"

namespace quarn::app {

// Reports a result that could not be created (its name taken meanwhile, or
// any other reason); true when it was created.
bool resultCreated(platform::CreateStatus status, platform::Console& console, const std::string& outputPath);

// An ending of the video pipeline that stops the run: its text, the result
// removed (when there is one), a moment for the reader, the process ended
// with -1.
[[noreturn]] void endVideoRun(platform::Console& console, video::VideoEnding ending, platform::OutputFile* result);

// The run's outcome once its writer closed with `closed`: kDone for a
// complete result; without one frame converted, why (as the loop knew it);
// a failed write ends the run as endVideoRun does.
engine::RunOutcome outcomeOfClosedVideo(video::WriteResult closed, const video::FrameLoop& loop,
                                        platform::Console& console, const std::string& outputPath);

}  // namespace quarn::app
