// avi_writer_backend.h: writing an AVI file: one video stream through an
// encoder chosen by FourCC (or uncompressed pictures), and optionally one
// sound stream whose bytes are carried as they are. The caller decides the
// order of pictures and sound; nothing is held back beyond what the encoder
// itself keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace quarn::platform {

// "DIB ": the pictures are stored as they come, bottom-up BGR rows.
inline constexpr uint32_t kFourccDib = 0x20424944;

struct AviVideoTrack {
  uint32_t fourcc = kFourccDib;
  uint32_t width = 0, height = 0;  // of the pictures given to writePicture
  uint32_t rate = 0, scale = 0;    // frames per second = rate / scale, kept exactly in the file
  uint32_t quality = 0;            // 0 .. 10000
  int64_t expectedFrames = 0;      // sizes the index of very long files
};

// A sound track's format block, as a WAVEFORMATEX gives it.
struct AviSoundTrack {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  std::vector<uint8_t> extra;  // the cbSize bytes after the 18
};

// True when the writer can carry a sound track of this format: PCM of 8,
// 16, 24 or 32 bits whose block is one sample of each channel, IEEE float
// likewise, or another format FFmpeg's AVI tables know; with a block
// alignment, a sample rate and 1 to 64 channels.
bool canCarrySound(const AviSoundTrack& sound);

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

  // Sets up the encoder and the streams and writes the file header. No
  // sound stream when `sound` is nullptr.
  virtual AviWriteStatus begin(const AviVideoTrack& video, const AviSoundTrack* sound) = 0;

  // Called before the packet of the frame at `position` is written: the
  // moment to write the sound that belongs up to the end of that frame.
  // A false return stops the writing (kWriteFailed).
  using BeforeFrame = std::function<bool(int64_t position)>;
  virtual void setBeforeFrame(BeforeFrame beforeFrame) = 0;

  // One picture at the next position: rows of blue-green-red pixels, bottom
  // row first, each padded to a multiple of 4 bytes.
  virtual AviWriteStatus writePicture(const uint8_t* pixels) = 0;

  // Sound bytes (whole sample frames) as one chunk, after what came before.
  virtual AviWriteStatus writeSound(const uint8_t* bytes, size_t size) = 0;

  // Writes what the encoder still holds.
  virtual AviWriteStatus flushPictures() = 0;

  // Completes the file: index and headers. Nothing may be written after.
  virtual AviWriteStatus finish() = 0;
};

// Whether `fourcc` can be written at width x height: a short AVI of two
// pictures is made in memory.
bool canWriteFourcc(uint32_t fourcc, uint32_t width, uint32_t height);

}  // namespace quarn::platform
