#include "app/media_branch.h"

#include <fcntl.h>

#include <cerrno>
#include <memory>

#include "app/video_endings.h"
#include "engine/auto_depth.h"
#include "engine/console_lines.h"
#include "platform/clock.h"
#include "platform/media_reader.h"
#include "platform/terminal.h"
#include "video/frame_loop.h"
#include "video/media_writer.h"
#include "video/progress_display.h"

namespace quarn::app {

engine::RunOutcome runMediaBranch(const RunOptions& runOptions, platform::Console& console,
                                  platform::MessageBoxes& boxes) {
  RunOptions options = runOptions;
  // The input is opened once; its streams beside the video are read
  // through a second demuxer over the same open file.
  const int fd = open(options.inputPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  std::unique_ptr<platform::MediaReader> reader;
  const platform::AviOpenStatus opened =
      fd >= 0 ? platform::MediaReader::open(fd, options.media.demuxer, reader)
              : (errno == ENOMEM ? platform::AviOpenStatus::kOutOfMemory : platform::AviOpenStatus::kFileOpen);
  if (opened != platform::AviOpenStatus::kOpened) {
    console.write(" greshka pri zarejdaneto!\n");
    console.write(platform::aviOpenFailureText(opened));
    return engine::RunOutcome::kInputFailed;
  }
  const platform::VideoFacts* facts = reader->video();
  const platform::FrameRate rate = facts != nullptr ? facts->rate : platform::FrameRate{};
  const int32_t width = facts != nullptr ? static_cast<int32_t>(facts->width) : 0;

  std::unique_ptr<video::MediaWriter> writer;
  if (!resultCreated(video::createMediaWriter(options.outputPath, options.media.result, *reader, writer), console,
                     options.outputPath)) {
    return engine::RunOutcome::kOutputFailed;
  }

  if (options.autoDepth) {
    options.depth = engine::autoDepthForVideo(width);
    options.autoDepth = false;
  }
  engine::printSettingsLines(console, options.negativeDepth ? -options.depth : options.depth,
                             options.colourOptimisation, options.plus3D);
  if (const char* hdr = reader->media().hdrTransfer) {
    console.print(" HDR video (%s): cvetovete se preobrazuvat bez tonalna korekciq.\n", hdr);
  }

  platform::Terminal& terminal = platform::standardTerminal();
  video::DisplayedProgress progress(terminal, platform::monotonicClock());
  const int64_t frames = facts != nullptr ? facts->length : 0;
  video::FrameLoop loop{*reader, rate,  frames,   *writer, options.conversionSettings(), options.compressOptions,
                        boxes,   terminal, progress, engine::kConverted};
  video::VideoEnding ending = video::openVideoStream(loop);
  if (ending == video::VideoEnding::kFinished) ending = video::convertVideoFrames(loop);
  if (ending != video::VideoEnding::kFinished) endVideoRun(terminal, ending, &writer->file);

  // The other streams are carried with the frames; their texts come after.
  const std::string report =
      writer->streamsMade ? video::streamReport(writer->backend->streams(), options.media.result) : "";
  const video::WriteResult closed = video::closeMediaWriter(writer);
  if (closed == video::WriteResult::kOk) terminal.write(report);
  return outcomeOfClosedVideo(closed, loop, terminal, options.outputPath);
}

}  // namespace quarn::app
