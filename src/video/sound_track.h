// sound_track.h: the input's sound track as the output video carries it.
// It is learned before the first frame is converted (read out of the AVI,
// or decoded by the LAME tool, into a temporary WAV file), its samples are
// then read by the writer between frames, and the console texts of that
// work are printed after the frame loop, where the user expects them.
//
// Order of use for one AVI run:
//   prepareSoundTrack -> writer created with `format` -> frame loop reading
//   `samples` -> reportSoundExtraction -> writer closed -> removeTemporaryFiles
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/dialogs.h"
#include "platform/temporary_file.h"

namespace quarn::video {

// A WAVEFORMATEX: the members as the file gives them; `extra` holds the
// bytes its cbSize announces that the file really has (its size is the
// cbSize to write).
struct SoundFormat {
  uint16_t formatTag = 0, channels = 0;
  uint32_t samplesPerSec = 0, avgBytesPerSec = 0;
  uint16_t blockAlign = 0, bitsPerSample = 0;
  std::vector<uint8_t> extra;

  bool operator==(const SoundFormat&) const = default;
};

// The data is a run of sample frames of `blockAlign` bytes, `samplesPerSec`
// of them a second: the stream can be declared with dwScale = blockAlign,
// dwRate = samplesPerSec * blockAlign, dwSampleSize = blockAlign. True for
// PCM and for compressed data carried as raw bytes alike; a track is only
// ever carried when this holds.
bool isPcmLike(const SoundFormat& format);

// Whole sample frames in `bytes` of data (the stream's length); 0 when
// the format has no block alignment.
uint64_t sampleFrames(const SoundFormat& format, uint64_t bytes);

// The data bytes of the track, in order.
class SoundSamples {
 public:
  virtual ~SoundSamples() = default;
  virtual uint64_t size() const = 0;  // bytes in all; may end in a partial sample frame
  // Up to `bytes` more bytes into `into`; 0 at the end or on a read error.
  virtual size_t read(uint8_t* into, size_t bytes) = 0;
};

// One console text, then a pause for the reader (0: none).
struct ConsoleStep {
  std::string text;
  int pauseMilliseconds = 0;
};

// What the extraction reports, as the user's console has always shown it.
enum ExtractionResult : int {
  kSoundExtracted = 0,     // a WAV was written, or the user declined the sound
  kInputNotOpened = -1,
  kNoSoundTrack = -2,
  kFormatUnreadable = -3,
  kWavNotWritten = -4,
  kSoundUnsupported = -5,  // also a failed MP3 decoding
  kNoReadBuffer = -6,
};

struct SoundTrack {
  // Set exactly when sound is carried: a PCM-like format and at least one
  // data byte. The writer declares its sound stream from it.
  std::optional<SoundFormat> format;
  std::unique_ptr<SoundSamples> samples;  // set together with `format`

  ExtractionResult result = kSoundExtracted;
  std::vector<ConsoleStep> report;  // for reportSoundExtraction
  // Where the report stands before the track is read, for refuseSoundFormat.
  size_t reportBeforeReading = 0;
  std::string wavPath;  // the temporary WAV holding the track; "" when none was made
  // Files this run created; removed by removeTemporaryFiles, at exit and
  // on interruption. Nothing else is ever removed.
  std::vector<std::unique_ptr<platform::TemporaryFile>> temporaryFiles;
};

// All the work of the sound before the frame loop. The warning box for a
// track of unknown compression is shown here, in drag-and-drop mode only
// (with all eight parameters such a track is dropped without asking). The
// texts are only recorded. Never fails: a track that cannot be carried
// leaves `format` empty.
SoundTrack prepareSoundTrack(const std::string& inputPath, bool fullCommandLine, platform::MessageBoxes& boxes);

// For the writer that cannot declare a stream of `track.format`: the track
// is dropped as an unsupported format, and the report says so instead of
// the extraction.
void refuseSoundFormat(SoundTrack& track);

// After the frame loop: the extraction's texts in order, with their pauses.
void reportSoundExtraction(SoundTrack& track, platform::Console& console);

// After the writer is closed: " Izchistvane na vremennite falove ... ",
// the samples released and this run's temporary files removed, "gotovo!".
void removeTemporaryFiles(SoundTrack& track, platform::Console& console);

}  // namespace quarn::video
