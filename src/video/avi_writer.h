// avi_writer.h: the output video of a run. It is created before the first
// frame (so an unusable output is known at once), takes its codec with the
// first converted frame, and carries the sound interleaved with the
// pictures: the sound that belongs to a frame is written just before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/avi_writer_backend.h"
#include "platform/dialogs.h"
#include "platform/output_file.h"
#include "video/video_options.h"

namespace quarn::video {

// The writer's results, with the values the AVI services of other systems
// give them.
enum AviResult : uint32_t {
  kAviOk = 0,
  kAviBadFormat = 0x80044066,   // AVIERR_BADFORMAT
  kAviBadParam = 0x8004406A,    // AVIERR_BADPARAM: no frame
  kAviBadHandle = 0x8004406C,   // AVIERR_BADHANDLE: no writer
  kAviFileWrite = 0x8004406E,   // AVIERR_FILEWRITE: the disk refused a write
  kAviCompressor = 0x80044070,  // AVIERR_COMPRESSOR: the codec is set already, or cannot be used
  kAviUserAbort = 0x800440C6,   // AVIERR_USERABORT: the codec choice was cancelled
  kAviError = 0x800440C7,       // AVIERR_ERROR: the writer failed before
};

// Frames per second = rate / scale.
struct FrameRate {
  uint32_t rate = 0;
  uint32_t scale = 0;
};

// A converted frame: rows of blue-green-red pixels, bottom row first, each
// padded to a multiple of 4 bytes.
struct FrameBitmap {
  const uint8_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
};

// Sound to carry: its format, and its bytes in order, read as needed.
struct SoundToCarry {
  platform::AviSoundTrack format;
  uint64_t totalBytes = 0;
  std::function<size_t(uint8_t* into, size_t bytes)> read;  // 0 at the end or on error
};

struct AviWriter {
  platform::OutputFile file;
  std::unique_ptr<platform::AviWriterBackend> backend;
  FrameRate rate;
  std::optional<SoundToCarry> sound;
  uint64_t soundBytesWritten = 0;
  std::vector<uint8_t> soundBlock;
  bool streamsMade = false;  // codec set up, header written
  int64_t frameCount = 0;    // position of the next frame
  int64_t expectedFrames = 0;
  bool failed = false;       // one-way: nothing more is written
};

// Creates the output file exclusively. kExists and kFailed leave `writer`
// empty (and anything at `path` as it was).
platform::CreateStatus createAviWriter(const std::string& path, FrameRate rate, int64_t expectedFrames,
                                       std::unique_ptr<AviWriter>& writer);

// The sound stream of the result; only before the first frame.
void setAviWriterSound(AviWriter* writer, SoundToCarry sound);

// Sets up the codec for frames like `frame`. With `showChooser` the user
// picks the codec (`chooser` lists it; the choice fills `options`).
//   kAviBadHandle, kAviBadParam, kAviError, kAviCompressor (set up before),
//   kAviUserAbort (cancelled), kAviCompressor (the codec cannot be used),
//   kAviFileWrite (the header could not be written). All but the first four
//   mark the writer failed.
AviResult setVideoCompression(AviWriter* writer, const FrameBitmap* frame, CompressOptions& options,
                              bool showChooser, platform::MessageBoxes& chooser);

// Appends one frame at the next position (setting up an uncompressed
// stream when no codec was set up), after the sound that belongs before it.
AviResult addVideoFrame(AviWriter* writer, const FrameBitmap* frame);

// Writes what is left (the encoder's last frames, the rest of the sound),
// completes and closes the file. kAviOk leaves a complete file; anything
// else removes it. kAviBadFormat: no frame was ever written.
AviResult closeAviWriter(std::unique_ptr<AviWriter>& writer);

// The codec chooser's items: every usable encoder and the uncompressed
// frames, with the FourCC each stands for.
std::vector<platform::ChoiceItem> codecChoices(std::vector<uint32_t>& fourccs);

}  // namespace quarn::video
