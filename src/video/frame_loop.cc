#include "video/frame_loop.h"

#include "engine/bitmap_buffer.h"
#include "engine/memory_conversion.h"
#include "video/frame_prefetch.h"

namespace quarn::video {
namespace {

constexpr int kStreamFailurePauseMs = 7000;
constexpr int kRunFailurePauseMs = 5000;

// Converts one decoded frame (in `source`, which the conversion changes)
// and writes it.
VideoEnding convertVideoFrame(FrameLoop& loop, engine::BitmapBuffer& source, engine::BitmapBuffer& destination,
                              uint32_t width, uint32_t height, bool& codecReady) {
  engine::writeBitmapHeader(source.data(), width, height, 24);
  const engine::ConversionResult converted =
      engine::convertBitmapBuffer(source, destination.data(), destination.size(), loop.settings);
  if (converted != engine::kConverted) {
    loop.lastFailure = converted;
    return VideoEnding::kFinished;  // this frame is dropped
  }
  const FrameBitmap frame{destination.data() + engine::kHeaderSize,
                          engine::loadLe32(destination.data() + engine::field::kWidth),
                          engine::loadLe32(destination.data() + engine::field::kHeight)};
  if (!codecReady) {
    const bool ask = loop.options.fccHandler == 0;
    const AviResult set = setVideoCompression(loop.writer, &frame, loop.options, ask, loop.chooser);
    if (set == kAviUserAbort || loop.options.fccHandler == 0) return VideoEnding::kCancelled;
    if (set == kAviFileWrite) return VideoEnding::kWriteFailed;
    if (set != kAviOk) return VideoEnding::kCodecUnusable;
    codecReady = true;
    loop.progress.writingStarted();
  }
  return addVideoFrame(loop.writer, &frame) == kAviOk ? VideoEnding::kFinished : VideoEnding::kWriteFailed;
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

VideoEnding convertVideoFrames(FrameLoop& loop) {
  const platform::AviVideoFacts* facts = loop.reader.video();
  if (facts == nullptr) return VideoEnding::kNoVideo;
  if (facts->width == 0 || facts->height == 0 || loop.rate.rate == 0 || loop.rate.scale == 0) {
    return VideoEnding::kUnreadableStream;
  }
  if (!loop.reader.openDecoder()) return VideoEnding::kNoDecoder;
  const uint32_t width = facts->width, height = facts->height;
  // The result is never larger than the frame.
  const uint64_t frameSize = engine::kHeaderSize + engine::rowStride(width, 3) * height;
  engine::BitmapBuffer destination;
  if (frameSize > SIZE_MAX / 8 || !engine::tryResize(destination, frameSize)) return VideoEnding::kOutOfMemory;
  if (loop.beforeFrames) loop.beforeFrames();
  // The next frames are decoded while this one is converted and written.
  FramePrefetch decoded(loop.reader, frameSize, engine::kHeaderSize);
  if (!decoded.ready()) return VideoEnding::kOutOfMemory;

  loop.console.write("\n");
  loop.progress.start(facts->length);
  bool codecReady = false;
  for (int64_t position = 0;; ++position) {
    loop.progress.frameAt(position);
    engine::BitmapBuffer* source = nullptr;
    const platform::AviFrameStatus status = decoded.next(source);
    if (status == platform::AviFrameStatus::kEnd) break;
    if (status == platform::AviFrameStatus::kUndecodable) {
      loop.console.write(" \nne moje da se dekompresira");
      continue;
    }
    const VideoEnding ending = convertVideoFrame(loop, *source, destination, width, height, codecReady);
    if (ending != VideoEnding::kFinished) {
      loop.progress.abandon();
      return ending;
    }
  }
  loop.progress.finish();
  return VideoEnding::kFinished;
}

}  // namespace quarn::video
