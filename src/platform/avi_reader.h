// avi_reader.h: the pictures of an AVI file's first video stream, one per
// stream position, as 24-bit bottom-up bitmaps. The file is only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarn::platform {

enum class AviOpenStatus {
  kOpened,
  kFileOpen,     // missing, unreadable, or not a regular file
  kBadFormat,    // not a RIFF AVI, or one the demuxer refuses
  kFileRead,     // the disk failed while reading
  kOutOfMemory,
};

// The first video stream, from its stream header.
struct AviVideoFacts {
  uint32_t width = 0;   // of the decoded pictures, in pixels
  uint32_t height = 0;
  uint32_t rate = 0;    // frames per second = rate / scale, in lowest terms
  uint32_t scale = 0;
  int64_t length = 0;   // positions in the stream, dropped frames included
};

enum class AviFrameStatus {
  kFrame,        // the picture of the next position is in the caller's buffer
  kUndecodable,  // the next position holds a picture the decoder refused
  kEnd,          // every position has been given
};

class AviVideoReader {
 public:
  virtual ~AviVideoReader() = default;

  // Opens `path` for reading. On kOpened `reader` is set.
  static AviOpenStatus open(const std::string& path, std::unique_ptr<AviVideoReader>& reader);

  // nullptr when the file has no video stream.
  virtual const AviVideoFacts* video() const = 0;

  // Sets up a decoder for the video stream (with the library's threads);
  // false when no decoder can read it.
  virtual bool openDecoder() = 0;

  // The next position's picture, as rows of blue-green-red pixels, bottom
  // row first, each row padded to a multiple of 4 bytes: `pixels` holds
  // rowStride(width, 3) x height bytes. A position without a picture of its
  // own (a dropped frame) repeats the previous picture (the next one when
  // none came before), so the picture keeps its time. A read error of the
  // disk ends the stream as if it ended there.
  virtual AviFrameStatus nextFrame(uint8_t* pixels) = 0;
};

}  // namespace quarn::platform
