// frame_loop.h: every frame of the input video, converted and written.
#pragma once

#include <cstdint>

#include "engine/conversion_result.h"
#include "engine/conversion_settings.h"
#include "platform/video_reader.h"
#include "platform/console.h"
#include "platform/dialogs.h"
#include "video/frame_writer.h"
#include "video/video_options.h"

namespace quarn::video {

// What the progress display learns of the loop. The loop is its only writer.
class FrameLoopProgress {
 public:
  virtual ~FrameLoopProgress() = default;
  virtual void start(int64_t totalFrames) = 0;  // before the first frame is read
  virtual void frameAt(int64_t position) = 0;    // the frame being converted
  virtual void writingStarted() = 0;             // the codec is set up; frames are being written
  virtual void finish() = 0;                     // the last frame is done: the closing lines
  virtual void abandon() = 0;                    // the run ends early: nothing more is shown
};

// How the loop ended. Every ending but kFinished ends the run early: the
// output is removed and the process ends with -1 after a pause.
enum class VideoEnding {
  kFinished,
  kNoVideo,           // the file has no video stream
  kUnreadableStream,  // no usable size or rate
  kNoDecoder,         // no decoder reads the stream
  kOutOfMemory,       // the memory for a frame cannot be had
  kCancelled,         // the codec choice was cancelled
  kCodecUnusable,     // the chosen codec cannot write these frames
  kWriteFailed,       // a frame could not be written
};

// The console text of an ending ("" for kFinished) and its pause.
const char* videoEndingMessage(VideoEnding ending);
int videoEndingPauseMs(VideoEnding ending);

struct FrameLoop {
  platform::VideoReader& reader;
  platform::FrameRate rate;  // as the stream header gives it; 0 in either part: unreadable
  int64_t totalFrames;       // what the progress counts to
  FrameWriter& writer;
  engine::ConversionSettings settings;  // one depth for the whole video
  CompressOptions& options;             // fccHandler 0: the user chooses on the first frame
  platform::MessageBoxes& chooser;
  platform::Console& console;
  FrameLoopProgress& progress;
  // Out: why the last frame that failed to convert did (kConverted: none did).
  engine::ConversionResult lastFailure = engine::kConverted;
};

// Checks that the stream can be read and sets up its decoder: kFinished
// when the frames can come. A frame of more than 512 MB of pixels is
// kOutOfMemory, before anything is allocated for it.
VideoEnding openVideoStream(FrameLoop& loop);

// Converts and writes every frame in order, once the stream is open. A
// frame that cannot be decoded prints " \nne moje da se dekompresira" and
// is skipped, or written as the picture that stands in for it; one that
// fails to convert is skipped without a word. The codec is set up with the
// first converted frame.
VideoEnding convertVideoFrames(FrameLoop& loop);

}  // namespace quarn::video
