// frame_writer.h: where the frame loop puts the converted frames: a result
// that takes its codec with the first frame.
#pragma once

#include <cstdint>

#include "platform/dialogs.h"
#include "platform/output_file.h"
#include "platform/pixels.h"
#include "video/video_options.h"

namespace quarn::video {

// A writer's results.
enum class WriteResult {
  kOk,
  kBadFormat,   // no frame was ever written
  kBadParam,    // no frame, or an empty one
  kBadHandle,   // no writer
  kFileWrite,   // the disk refused a write
  kCompressor,  // the codec is set already, or cannot be used
  kUserAbort,   // the codec choice was cancelled
  kError,       // the writer failed before
};

class FrameWriter {
 public:
  virtual ~FrameWriter() = default;

  // Sets up the codec for frames like `frame`. With `showChooser` the user
  // picks the codec (`chooser` lists it; the choice fills `options`).
  virtual WriteResult setVideoCompression(const platform::PixelView& frame, CompressOptions& options,
                                          bool showChooser, platform::MessageBoxes& chooser) = 0;

  // Appends one frame, shown at `time` (in the unit of the reader that gave
  // it), after the sound that belongs before it.
  virtual WriteResult addVideoFrame(const platform::PixelView& frame, int64_t time) = 0;
};

// The end of a result once its writer is done with `result`: kept when
// kOk and every byte reached the disk (else kFileWrite), removed otherwise.
inline WriteResult keepOrDiscard(platform::OutputFile& file, WriteResult result) {
  if (result != WriteResult::kOk) {
    file.discard();
  } else if (!file.commit()) {
    result = WriteResult::kFileWrite;
  }
  return result;
}

}  // namespace quarn::video
