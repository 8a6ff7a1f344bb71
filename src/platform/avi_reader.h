// avi_reader.h: opening an AVI file's first video stream for its pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/video_reader.h"

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

// The first video stream of an AVI file, one picture per stream position:
// a position without a picture of its own (a dropped frame) repeats the
// previous picture (the next one when none came before), so the picture
// keeps its time. A picture's time is its position.
class AviVideoReader : public VideoReader {
 public:
  // Opens `path` for reading. On kOpened `reader` is set.
  static AviOpenStatus open(const std::string& path, std::unique_ptr<AviVideoReader>& reader);
  // The same for a file already open for reading; the reader owns `fd`
  // from now on (it is closed on failure too). The reader reads through
  // the descriptor's own offset, so one made by dup() shares the file with
  // readers that read at positions of their own.
  static AviOpenStatus open(int fd, std::unique_ptr<AviVideoReader>& reader,
                            const std::vector<ByteOverlay>& overlays = {});
};

}  // namespace quarn::platform
