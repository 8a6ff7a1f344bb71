// wav_file.h: the WAV files a sound track passes through on its way to the
// writer: written here from an AVI's PCM chunks, or by the LAME tool from
// MP3, and read back by their chunks.
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

// Writes "RIFF" "WAVE", a "fmt " chunk of 16 bytes (or 18, with
// `cbSize`, whose extra bytes are not written) and the "data" header; the
// samples follow through the same sink. finishWav then sets both lengths
// to what the file holds: the RIFF's to its size - 8, the data's to the
// bytes after its header (0xFFFFFFFF where a length passes 32 bits).
class WavWriter {
 public:
  WavWriter(ByteSink& sink, const SoundFormat& format, std::optional<uint16_t> cbSize);
  bool finishWav();

 private:
  ByteSink& sink_;
  uint64_t riff_ = 0, data_ = 0;
  bool ok_ = true;
};

// A chunk's length field for `bytes` of data; 0xFFFFFFFF past 32 bits.
uint32_t chunkLengthField(uint64_t bytes);

struct WavLayout {
  SoundFormat format;
  uint64_t dataPosition = 0;
  uint64_t dataLength = 0;  // no more than the file holds after dataPosition
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
