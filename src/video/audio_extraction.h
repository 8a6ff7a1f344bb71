// audio_extraction.h: the input's first sound track into a temporary WAV
// file, with the console texts the user has always seen for it. PCM tracks
// (a 16- or 18-byte format block) are copied out of the AVI's chunks; an
// MP3 track (30 bytes) is copied out by the chunk walker and decoded by the
// LAME tool; every other kind is dropped. The texts are recorded in the
// track's report, not printed.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dialogs.h"
#include "video/avi_audio.h"
#include "video/byte_source.h"
#include "video/sound_track.h"

namespace quarn::video {

inline constexpr uint64_t kMaxAudioRead = uint64_t{10} << 20;

struct AudioReadSize {
  uint64_t bufferBytes = 0;
  uint64_t samplesPerRead = 0;
};

// F = channels * bitsPerSample / 8 bytes per sample frame. A track of
// under 10 MiB is read in one go; a longer one in reads of the largest
// multiple of F not above 10 MiB. Where F is 0, or larger than a read,
// the bytes are read as they come (F taken as 1). 64-bit throughout.
AudioReadSize chooseAudioReadSize(uint32_t channels, uint32_t bitsPerSample, uint64_t sampleFrames);

enum class PcmCopy { kCopied, kNoReadBuffer, kWriteFailed };

// The WAV of a 16- or 18-byte format: the header as the format block has
// it (an 18-byte "fmt " keeps cbSize, without the extra bytes), then the
// bytes of every chunk of the stream, with the lengths the file ends up
// with. A read error ends the track where it was.
PcmCopy writePcmWav(RiffReader& avi, const AviAudioStream& stream, ByteSink& wav);

// Sets `track.wavPath` when it leaves a WAV file to carry, and appends the
// texts to `track.report`. The warning box is shown through `boxes`.
ExtractionResult extractAudioTrack(const std::string& inputPath, bool fullCommandLine,
                                   platform::MessageBoxes& boxes, SoundTrack& track);

// The unsupported-format text and its pause: the track is not carried.
ExtractionResult dropUnsupportedTrack(SoundTrack& track);

// The MP3 path: the chunk walker copies the track into a temporary file,
// and `lame --decode` (found on PATH, started without a shell) decodes it
// into a temporary WAV. A missing tool, a failing one, or output that is
// not a WAV of PCM-like sound ends in "proval! ...".
ExtractionResult decodeMp3WithTool(const std::string& inputPath, SoundTrack& track);

}  // namespace quarn::video
