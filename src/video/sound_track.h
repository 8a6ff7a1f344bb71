// sound_track.h: the input's sound track as the output video carries it.
// It is learned once, before the first frame is converted, from the input's
// chunks; its samples then stream to the writer between the frames (PCM
// straight from the input's chunks, MP3 through the LAME tool and a
// temporary WAV file), and the console texts of that work are printed after
// the frame loop, where the user expects them.
//
// Order of use for one AVI run:
//   prepareSoundTrack -> the writer takes `carried` -> frame loop ->
//   reportSoundExtraction -> writer closed -> removeTemporaryFiles
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/avi_sound_copy.h"
#include "platform/avi_writer_backend.h"
#include "platform/console.h"
#include "platform/dialogs.h"
#include "platform/temporary_file.h"
#include "video/byte_source.h"

namespace quarn::video {

using platform::SoundFormat;

// The data is a run of sample frames of `blockAlign` bytes, `samplesPerSec`
// of them a second: the stream can be declared with dwScale = blockAlign,
// dwRate = samplesPerSec * blockAlign, dwSampleSize = blockAlign. True for
// PCM and for compressed data carried as raw bytes alike; a track is only
// ever carried when this holds.
bool isPcmLike(const SoundFormat& format);

// The data bytes of a track, in order, read as they are needed.
class SoundSamples {
 public:
  virtual ~SoundSamples() = default;
  // Up to `bytes` more bytes into `into`; 0 at the end or on a read error.
  virtual size_t read(uint8_t* into, size_t bytes) = 0;
  // Whether the track has at least `bytes` bytes in all (nothing is read).
  virtual bool holdsAtLeast(uint64_t bytes) = 0;
};

// A track the output carries: a format the writer can declare, and at least
// one whole sample frame.
struct SoundToCarry {
  SoundFormat format;
  std::unique_ptr<SoundSamples> samples;
};

// One console text, then a pause for the reader (0: none).
struct ConsoleStep {
  std::string text;
  int pauseMilliseconds = 0;
};

struct SoundTrack {
  std::optional<SoundToCarry> carried;  // empty when the output has no sound of the first track's samples
  std::unique_ptr<platform::SoundCopy> copied;  // tracks carried as they are, packet for packet
  std::vector<ConsoleStep> report;      // for reportSoundExtraction
  // Files this run created; removed by removeTemporaryFiles, at exit and
  // on interruption. Nothing else is ever removed.
  std::vector<std::unique_ptr<platform::TemporaryFile>> temporaryFiles;
};

// All the work of the sound before the frame loop, on the input's bytes
// (which must stay readable while the samples are read), also open at
// `descriptor` for the tracks copied as they are (-1: none can be). The
// first track is read as the program always has (PCM samples, MP3 through
// the LAME tool); sound of any other kind the output can hold, and every
// further track, is copied as it is. The warning box for a track of
// unknown compression is shown here, in drag-and-drop mode only (with all
// eight parameters such a track is dropped without asking). The texts are
// only recorded. Never fails: a track that cannot be carried is left out.
SoundTrack prepareSoundTrack(ByteSource& input, int descriptor, bool fullCommandLine,
                             platform::MessageBoxes& boxes);

// After the frame loop: the extraction's texts in order, with their pauses.
void reportSoundExtraction(SoundTrack& track, platform::Console& console);

// After the writer is closed: " Izchistvane na vremennite falove ... ",
// this run's temporary files removed, "gotovo!".
void removeTemporaryFiles(SoundTrack& track, platform::Console& console);

}  // namespace quarn::video
