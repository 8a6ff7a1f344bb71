// video_reader.h: the decoded pictures of a video's stream, one after
// another, with the stream's facts. The file is only read.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/pixels.h"

namespace quarn::platform {

// Bytes the libraries read in place of the file's own at `position`: a
// stand-in for a value they would refuse the whole file for, where only a
// part of it (a sound stream) is damaged. The file itself is never changed.
struct ByteOverlay {
  uint64_t position = 0;
  std::vector<uint8_t> bytes;
};

// Frames per second = rate / scale.
struct FrameRate {
  uint32_t rate = 0;
  uint32_t scale = 0;
  bool known() const { return rate != 0 && scale != 0; }
};

// The video stream.
struct VideoFacts {
  uint32_t width = 0;  // of the decoded pictures, in pixels; 0 when not plausible
  uint32_t height = 0;
  FrameRate rate;      // in lowest terms
  int64_t length = 0;  // frames (for AVI: positions, dropped frames included); -1: unknown
};

enum class FrameStatus {
  kFrame,        // the next picture is in the caller's picture
  kUndecodable,  // the next frame holds a picture the decoder refused, and nothing stands in for it
  kRepeated,     // the decoder refused the next frame's picture; another stands in for it (the one
                 // before, or the next one before the first)
  kOutOfMemory,  // the memory for the picture cannot be had
  kEnd,          // every frame has been given
};

class VideoReader {
 public:
  virtual ~VideoReader() = default;

  // nullptr when the file has no video stream.
  virtual const VideoFacts* video() const = 0;

  // Sets up a decoder for the video stream (with the library's threads);
  // false when no decoder can read it.
  virtual bool openDecoder() = 0;

  // The next frame's picture, width x height, in `picture` (which gets its
  // memory here, once a picture has decoded), with its time set. A read
  // error of the disk ends the stream as if it ended there.
  virtual FrameStatus nextFrame(Picture& picture) = 0;
};

}  // namespace quarn::platform
