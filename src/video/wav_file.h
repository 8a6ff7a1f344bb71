// wav_file.h: the WAV file the LAME tool writes from an MP3 track, read by
// its chunks, and its samples read in order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "video/byte_source.h"
#include "video/riff_reader.h"
#include "video/sound_track.h"

namespace quarn::video {

// A format block as an AVI's "strf" or a WAV's "fmt " chunk holds it:
// WAVEFORMAT's six members in the first 16 bytes; from 18 bytes on, cbSize
// and as many of its extra bytes as the block has.
std::optional<SoundFormat> parseWaveFormat(const uint8_t* block, size_t length);

struct WavLayout {
  SoundFormat format;
  uint64_t dataPosition = 0;
  uint64_t dataLength = 0;  // no more than the file holds after dataPosition
  bool cut = false;         // the data chunk declares more than the file holds
};

// "RIFF" "WAVE", then the first "fmt " (16 bytes or more) and the first
// "data" chunk wherever they are, up to the end of the file (not of the
// RIFF length, which writers that cannot seek leave wrong). A data length
// of 0xFFFFFFFF means "to the end of the file". nullopt without both.
std::optional<WavLayout> readWavLayout(RiffReader& reader);

// `length` bytes from `position` of `source`, in order.
std::unique_ptr<SoundSamples> makeSoundSamples(std::unique_ptr<ByteSource> source, uint64_t position,
                                               uint64_t length);

}  // namespace quarn::video
