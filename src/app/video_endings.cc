#include "app/video_endings.h"

#include "engine/console_lines.h"
#include "platform/process.h"

namespace quarn::app {

bool resultCreated(platform::CreateStatus status, platform::Console& console, const std::string& outputPath) {
  switch (status) {
    case platform::CreateStatus::kCreated:
      return true;
    case platform::CreateStatus::kExists:
      engine::printConversionResult(console, engine::kOutputExists, outputPath);
      return false;
    case platform::CreateStatus::kFailed:
      engine::printConversionResult(console, engine::kCannotCreateOutput, outputPath);
      return false;
  }
  return false;
}

void endVideoRun(platform::Console& console, video::VideoEnding ending, platform::OutputFile* result) {
  console.write(video::videoEndingMessage(ending));
  if (result != nullptr) result->discard();
  platform::pauseForReader(video::videoEndingPauseMs(ending));
  platform::endProcess(-1);
}

engine::RunOutcome outcomeOfClosedVideo(video::WriteResult closed, const video::FrameLoop& loop,
                                        platform::Console& console, const std::string& outputPath) {
  switch (closed) {
    case video::WriteResult::kOk:
      return engine::RunOutcome::kDone;
    case video::WriteResult::kBadFormat:
      // Not one frame could be converted: there is no video to write. A
      // stream without one decodable picture ends as one without pictures.
      if (loop.lastFailure == engine::kConverted) endVideoRun(console, video::VideoEnding::kNoVideo, nullptr);
      engine::printConversionResult(console, loop.lastFailure, outputPath);
      return engine::RunOutcome::kInputFailed;
    default:
      endVideoRun(console, video::VideoEnding::kWriteFailed, nullptr);
  }
}

}  // namespace quarn::app
