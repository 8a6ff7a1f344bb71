// avi_writer.h: the output video of a run. It is created before the first
// frame (so an unusable output is known at once), takes its codec with the
// first converted frame, and carries the sound interleaved with the
// pictures: before each picture's packet goes the sound up to the end of
// that picture's time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/avi_writer_backend.h"
#include "platform/dialogs.h"
#include "platform/output_file.h"
#include "platform/pixels.h"
#include "video/frame_writer.h"
#include "video/sound_track.h"
#include "video/video_options.h"

namespace quarn::video {

using platform::FrameRate;

struct AviWriter final : FrameWriter {
  // The frame loop's way in: the functions below. An AVI's frames are
  // written at consecutive positions, whatever their time.
  WriteResult setVideoCompression(const platform::PixelView& frame, CompressOptions& options, bool showChooser,
                                  platform::MessageBoxes& chooser) override;
  WriteResult addVideoFrame(const platform::PixelView& frame, int64_t time) override;

  platform::OutputFile file;
  std::unique_ptr<platform::SoundCopy> copiedSound;  // read by the backend: goes after it
  std::unique_ptr<platform::AviWriterBackend> backend;
  FrameRate rate;
  int64_t expectedFrames = 0;
  std::optional<SoundToCarry> sound;
  uint64_t soundBytesWritten = 0;
  bool soundEnded = false;
  std::vector<uint8_t> soundBlock;
  bool streamsMade = false;  // codec set up, header written
  int64_t frameCount = 0;    // position of the next frame
  bool failed = false;       // one-way: nothing more is written
};

// Creates the output file exclusively. kExists and kFailed leave `writer`
// empty (and anything at `path` as it was). Without a backend given, the
// file is written through FFmpeg's AVI muxer.
platform::CreateStatus createAviWriter(const std::string& path, FrameRate rate, int64_t expectedFrames,
                                       std::unique_ptr<AviWriter>& writer,
                                       std::unique_ptr<platform::AviWriterBackend> backend = nullptr);

// The sound streams of the result: the samples of one track, and tracks
// copied packet for packet; only before the first frame.
void setAviWriterSound(AviWriter& writer, SoundToCarry sound);
void setAviWriterCopiedSound(AviWriter& writer, std::unique_ptr<platform::SoundCopy> copied);

// Sets up the codec for frames like `frame`. With `showChooser` the user
// picks the codec (`chooser` lists it; the choice fills `options`).
//   kBadHandle, kBadParam, kError, kCompressor (set up before),
//   kUserAbort (cancelled), kCompressor (the codec cannot be used),
//   kFileWrite (the header could not be written). All but the first four
//   mark the writer failed.
WriteResult setVideoCompression(AviWriter* writer, const platform::PixelView* frame, CompressOptions& options,
                              bool showChooser, platform::MessageBoxes& chooser);

// Appends one frame at the next position (setting up an uncompressed
// stream when no codec was set up), after the sound that belongs before it.
WriteResult addVideoFrame(AviWriter* writer, const platform::PixelView* frame);

// Writes what is left (the encoder's last frames, the rest of the sound),
// completes and closes the file. kOk leaves a complete file; anything else
// removes it. kBadFormat: no frame was ever written.
WriteResult closeAviWriter(std::unique_ptr<AviWriter>& writer);

// The codec chooser's items: every usable encoder and the uncompressed
// frames, with the FourCC each stands for.
std::vector<platform::ChoiceItem> codecChoices(std::vector<platform::FourCC>& fourccs);

}  // namespace quarn::video
