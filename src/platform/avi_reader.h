// avi_reader.h: the pictures of an AVI file's first video stream, one per
// stream position, with the stream's facts. The file is only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/pixels.h"

namespace quarn::platform {

enum class AviOpenStatus {
  kOpened,
  kFileOpen,     // missing, unreadable, or not a regular file
  kBadFormat,    // not a RIFF AVI, or one the demuxer refuses
  kFileRead,     // the disk failed while reading
  kOutOfMemory,
};

// The console text of a failed opening ("" for kOpened).
const char* aviOpenFailureText(AviOpenStatus status);

// Frames per second = rate / scale.
struct FrameRate {
  uint32_t rate = 0;
  uint32_t scale = 0;
  bool known() const { return rate != 0 && scale != 0; }
};

// The first video stream.
struct AviVideoFacts {
  uint32_t width = 0;  // of the decoded pictures, in pixels; 0 when not plausible
  uint32_t height = 0;
  FrameRate rate;      // in lowest terms
  int64_t length = 0;  // positions in the stream, dropped frames included
};

enum class AviFrameStatus {
  kFrame,        // the picture of the next position is in the caller's picture
  kUndecodable,  // the next position holds a picture the decoder refused
  kOutOfMemory,  // the memory for the picture cannot be had
  kEnd,          // every position has been given
};

class AviVideoReader {
 public:
  virtual ~AviVideoReader() = default;

  // Opens `path` for reading. On kOpened `reader` is set.
  static AviOpenStatus open(const std::string& path, std::unique_ptr<AviVideoReader>& reader);
  // The same for a file already open for reading; the reader owns `fd`
  // from now on (it is closed on failure too). The reader reads through
  // the descriptor's own offset, so one made by dup() shares the file with
  // readers that read at positions of their own.
  static AviOpenStatus open(int fd, std::unique_ptr<AviVideoReader>& reader);

  // nullptr when the file has no video stream.
  virtual const AviVideoFacts* video() const = 0;

  // Sets up a decoder for the video stream (with the library's threads);
  // false when no decoder can read it.
  virtual bool openDecoder() = 0;

  // The next position's picture, width x height, in `picture` (which gets
  // its memory here, once a picture has decoded). A position without a
  // picture of its own (a dropped frame) repeats the previous picture (the
  // next one when none came before), so the picture keeps its time. A read
  // error of the disk ends the stream as if it ended there.
  virtual AviFrameStatus nextFrame(Picture& picture) = 0;
};

}  // namespace quarn::platform
