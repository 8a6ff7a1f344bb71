// media_reader.h: opening a video of today's containers (MP4, MOV,
// Matroska, WebM, transport and program streams, ASF, FLV, Ogg) for its
// pictures, upright and each with its own time. The file is only read.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/avi_reader.h"
#include "platform/video_reader.h"

namespace quarn::platform {

// The demuxer a file is read with: chosen from the file's name, never by
// what its bytes look like, so a text naming other files (a playlist) is
// never followed.
enum class InputDemuxer { kMov, kMatroska, kMpegTs, kMpegPs, kAsf, kFlv, kOgg };

// The video stream beyond what every reader tells.
struct MediaFacts {
  int64_t timeBaseNum = 1, timeBaseDen = 1;  // the unit of a picture's time, in seconds
  int clockwiseQuarters = 0;                // how the pictures were turned to stand upright
  bool mirrored = false;
  const char* hdrTransfer = nullptr;        // "PQ" or "HLG" for an HDR stream, otherwise nullptr
};

// The first video stream that is not an attached picture. Pictures come in
// presentation order, each with its own time (in MediaFacts' unit), already
// turned and mirrored as the display matrix asks; width and height are the
// upright ones. Deeper than 8 bits per sample become 8-bit rows.
class MediaReader : public VideoReader {
 public:
  // Opens the regular file open at `fd` for reading; the reader owns `fd`
  // from now on (it is closed on failure too) and reads at positions of its
  // own. Texts of the statuses: aviOpenFailureText().
  static AviOpenStatus open(int fd, InputDemuxer demuxer, std::unique_ptr<MediaReader>& reader);

  virtual const MediaFacts& media() const = 0;
};

}  // namespace quarn::platform
