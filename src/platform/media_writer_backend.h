// media_writer_backend.h: writing a video of today's containers (MP4, MOV,
// Matroska, WebM) from a video of any of them: the converted pictures
// through an encoder chosen by code, every other stream of the input
// carried as it is where the container takes it (the sound encoded once
// where it does not), the input's times kept. Pictures and the input's
// other packets are put in the file in the order of their times, with no
// more held back than the encoder keeps.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/fourcc.h"
#include "platform/media_reader.h"
#include "platform/pixels.h"

namespace quarn::platform {

enum class ResultContainer { kMp4, kMov, kMatroska, kWebm };

// ".mp4", ".mov", ".mkv", ".webm".
const char* resultExtension(ResultContainer container);

// A video encoder a container can take, with the codes that select it.
struct MediaCodecEntry {
  std::string description;    // the encoder's long name
  FourCC fourcc = 0;          // the first code that selects it
  std::vector<FourCC> others;  // further codes that select it
};

// The encoders `container` takes that work here, H.264 first: each was
// tried at an odd size, turned a quarter, through a result in memory that
// FFmpeg read back without a complaint. Takes a moment.
std::vector<MediaCodecEntry> usableMediaCodecs(ResultContainer container);

struct MediaVideoTrack {
  FourCC fourcc = kFourCCDib;     // kFourCCDib: the input's own codec family
  uint32_t width = 0, height = 0;  // of the pictures given to encode
  uint32_t quality = 0;            // 0: the encoder's default; 1 .. 10000: its constant-quality scale
};

// What became of a stream beside the video.
struct StreamNote {
  enum class Fate { kCopied, kEncoded, kLeftOut };
  Fate fate = Fate::kLeftOut;
  int index = 0;             // in the input
  std::string type;          // "audio", "subtitle", "data", "video", "attachment"
  std::string codec;         // FFmpeg's short name of its codec
  std::string encodedAs;     // kEncoded: the codec it was encoded to
};

enum class MediaWriteStatus {
  kOk,
  kCodecUnusable,  // the container cannot take the code, or the encoder refuses these pictures
  kWriteFailed,    // the file could not be written, or the input's other streams could not be carried
};

class MediaWriterBackend {
 public:
  virtual ~MediaWriterBackend() = default;

  // Writes into `file`, a stream of a new file this run owns, by writing,
  // seeking and (for the index at the front) reading it back; the caller
  // closes it. `input` outlives the writer; its other streams are read
  // through a second demuxer of its own.
  static std::unique_ptr<MediaWriterBackend> create(std::FILE* file, ResultContainer container, MediaReader& input);

  // Sets up the encoder and every stream, and writes the file header.
  virtual MediaWriteStatus begin(const MediaVideoTrack& video) = 0;

  // Encodes the picture shown at `time` (in the reader's unit), width x
  // height of the track; writes what is ready, each packet after the
  // input's packets of earlier times.
  virtual MediaWriteStatus encode(const PixelView& picture, int64_t time) = 0;

  // The encoder's last pictures, the rest of the other streams, the index.
  virtual MediaWriteStatus finish() = 0;

  // After begin(): the fate of each stream beside the video, in the input's order.
  virtual const std::vector<StreamNote>& streams() const = 0;
};

// Whether `fourcc` can be written to `container` at width x height: a short
// video of two pictures is made in memory and read back.
bool canWriteMediaCodec(FourCC fourcc, ResultContainer container, uint32_t width, uint32_t height);

}  // namespace quarn::platform
