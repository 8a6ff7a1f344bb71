// avi_writer_backend.h: writing an AVI file: one video stream through an
// encoder chosen by FourCC (or uncompressed pictures), and optionally one
// sound stream whose bytes are carried as they are. The caller decides the
// order of pictures and sound: encoded pictures wait here until the caller
// writes them, so it can put the sound that belongs before each in front of
// it. Nothing is held back beyond what the encoder itself keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "platform/avi_reader.h"
#include "platform/avi_sound_copy.h"
#include "platform/fourcc.h"
#include "platform/pixels.h"

namespace quarn::platform {

struct AviVideoTrack {
  FourCC fourcc = kFourCCDib;
  uint32_t width = 0, height = 0;  // of the pictures given to encode
  FrameRate rate;                  // kept exactly in the file
  uint32_t quality = 0;            // 0 .. 10000
  int64_t expectedFrames = 0;      // sizes the index of very long files
};

// A sound track's format block, as a WAVEFORMATEX gives it: the members as
// the file has them; `extra` holds the bytes its cbSize announces that the
// file really has (its size is the cbSize to write).
struct SoundFormat {
  uint16_t formatTag = 0, channels = 0;
  uint32_t samplesPerSec = 0, avgBytesPerSec = 0;
  uint16_t blockAlign = 0, bitsPerSample = 0;
  std::vector<uint8_t> extra;

  bool operator==(const SoundFormat&) const = default;
};

// True when the writer can carry a sound track of this format: PCM of 8,
// 16, 24 or 32 bits whose block is one sample of each channel, IEEE float
// likewise, or another format FFmpeg's AVI tables know; with a block
// alignment, a sample rate and 1 to 64 channels.
bool canCarrySound(const SoundFormat& sound);

enum class AviWriteStatus {
  kOk,
  kCodecUnusable,  // no such encoder, or it refuses these pictures or this rate
  kWriteFailed,    // the file could not be written (a full disk)
};

class AviWriterBackend {
 public:
  virtual ~AviWriterBackend() = default;

  // Writes into `file`, a stream of a new file this run owns, by writing
  // and seeking; the caller closes it.
  static std::unique_ptr<AviWriterBackend> create(std::FILE* file);

  // Sets up the encoder and the streams and writes the file header: the
  // video, the sound of `sound` (none when nullptr) whose bytes come through
  // writeSound, then a stream for every track of `copied` (none when
  // nullptr), which must outlive the writer.
  virtual AviWriteStatus begin(const AviVideoTrack& video, const SoundFormat* sound, SoundCopy* copied) = 0;

  // Encodes the picture of the frame at `position` (width x height of the
  // track, rows in either order). What the encoder gives back waits for
  // writePacket().
  virtual AviWriteStatus encode(const PixelView& picture, int64_t position) = 0;

  // The encoder's last pictures, to wait for writePacket() like the others.
  virtual AviWriteStatus flushPictures() = 0;

  // The position of the frame whose packet comes next; nullopt when none
  // is waiting.
  virtual std::optional<int64_t> nextPacket() const = 0;

  // Writes that packet.
  virtual AviWriteStatus writePacket() = 0;

  // Sound bytes (whole sample frames) as one chunk, after what came before.
  virtual AviWriteStatus writeSound(const uint8_t* bytes, size_t size) = 0;

  // The copied tracks' packets that start before the end of the frame at
  // `position` (all that are left: INT64_MAX), in the order of the input.
  virtual AviWriteStatus writeCopiedSound(int64_t position) = 0;

  // Completes the file: index and headers. Nothing may be written after.
  virtual AviWriteStatus finish() = 0;
};

// Whether `fourcc` can be written at width x height: a short AVI of two
// pictures is made in memory.
bool canWriteFourCC(FourCC fourcc, uint32_t width, uint32_t height);

}  // namespace quarn::platform
