#include "video/frame_loop.h"

#include "engine/memory_conversion.h"
#include "platform/video_limits.h"
#include "video/frame_prefetch.h"

namespace quarn::video {
namespace {

constexpr int kStreamFailurePauseMs = 7000;
constexpr int kRunFailurePauseMs = 5000;

// Converts one decoded frame (in place) and writes it.
VideoEnding convertVideoFrame(FrameLoop& loop, platform::PixelView frame, int64_t time, bool& codecReady) {
  const engine::ConversionResult converted = engine::convertFrame(frame, loop.settings);
  if (converted != engine::kConverted) {
    loop.lastFailure = converted;
    return VideoEnding::kFinished;  // this frame is dropped
  }
  if (!codecReady) {
    const bool ask = loop.options.fccHandler == 0;
    const WriteResult set = loop.writer.setVideoCompression(frame, loop.options, ask, loop.chooser);
    if (set == WriteResult::kUserAbort || loop.options.fccHandler == 0) return VideoEnding::kCancelled;
    if (set == WriteResult::kFileWrite) return VideoEnding::kWriteFailed;
    if (set != WriteResult::kOk) return VideoEnding::kCodecUnusable;
    codecReady = true;
    loop.progress.writingStarted();
  }
  return loop.writer.addVideoFrame(frame, time) == WriteResult::kOk ? VideoEnding::kFinished
                                                                     : VideoEnding::kWriteFailed;
}

}  // namespace

const char* videoEndingMessage(VideoEnding ending) {
  switch (ending) {
    case VideoEnding::kFinished:
      return "";
    case VideoEnding::kNoVideo:
      return " greshka! Lipsvat video danni!";
    case VideoEnding::kUnreadableStream:
      return " greshka! Problem s razchitane na videoto!";
    case VideoEnding::kNoDecoder:
      return " faila ne moje da se dekompresira!\n Instaliraite si kodeci!";
    case VideoEnding::kOutOfMemory:
      return " greshka! Nqma dostatachno svobodna pamet!";
    case VideoEnding::kCancelled:
      return "\n Otkazano! Mojete da zatvorite tozi prozorec.";
    case VideoEnding::kCodecUnusable:
      return " greshka! Izbraniqt kodek ne moje da se izpolzva!";
    case VideoEnding::kWriteFailed:
      return " greshka pri zapisvaneto na kadrite!";
  }
  return "";
}

int videoEndingPauseMs(VideoEnding ending) {
  switch (ending) {
    case VideoEnding::kNoVideo:
    case VideoEnding::kUnreadableStream:
    case VideoEnding::kNoDecoder:
      return kStreamFailurePauseMs;
    default:
      return kRunFailurePauseMs;
  }
}

VideoEnding openVideoStream(FrameLoop& loop) {
  const platform::VideoFacts* facts = loop.reader.video();
  if (facts == nullptr) return VideoEnding::kNoVideo;
  if (facts->width == 0 || facts->height == 0 || !loop.rate.known()) return VideoEnding::kUnreadableStream;
  if (platform::rowStride(facts->width, 3) * facts->height > platform::kMaxFrameBytes) return VideoEnding::kOutOfMemory;
  if (!loop.reader.openDecoder()) return VideoEnding::kNoDecoder;
  return VideoEnding::kFinished;
}

VideoEnding convertVideoFrames(FrameLoop& loop) {
  // The next frames are decoded while this one is converted and written.
  FramePrefetch decoded(loop.reader);
  if (!decoded.ready()) return VideoEnding::kOutOfMemory;

  loop.console.write("\n");
  loop.progress.start(loop.totalFrames);
  bool codecReady = false;
  for (int64_t position = 0;; ++position) {
    loop.progress.frameAt(position);
    platform::PixelView frame;
    int64_t time = 0;
    const platform::FrameStatus status = decoded.next(frame, time);
    if (status == platform::FrameStatus::kEnd) break;
    // A picture the decoder refused is said so; where another stands in,
    // that one is written, so the frames after it keep their time.
    if (status == platform::FrameStatus::kUndecodable || status == platform::FrameStatus::kRepeated) {
      loop.console.write(" \nne moje da se dekompresira");
    }
    if (status == platform::FrameStatus::kUndecodable) continue;
    const VideoEnding ending = status == platform::FrameStatus::kOutOfMemory
                                   ? VideoEnding::kOutOfMemory
                                   : convertVideoFrame(loop, frame, time, codecReady);
    if (ending != VideoEnding::kFinished) {
      loop.progress.abandon();
      return ending;
    }
  }
  loop.progress.finish();
  return VideoEnding::kFinished;
}

}  // namespace quarn::video
