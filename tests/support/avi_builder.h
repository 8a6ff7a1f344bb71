// avi_builder.h: RIFF files built byte by byte, laid out as a sound test
// needs them (also in ways a real file can be wrong), and AVI files with
// sound made by the ffmpeg tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarn::testing {

using Bytes = std::vector<uint8_t>;

Bytes chars(const std::string& text);  // the characters, no terminating zero
Bytes le16(uint16_t v);
Bytes le32(uint32_t v);
Bytes operator+(Bytes a, const Bytes& b);
Bytes pattern(size_t size, uint32_t seed);  // distinct, reproducible bytes

class RiffBuilder {
 public:
  // Opens a RIFF or LIST; end() sets its length to what it holds.
  RiffBuilder& list(const char* id, const char* type);
  RiffBuilder& end();
  // A chunk with its true length and its pad byte when odd.
  RiffBuilder& chunk(const char* id, const Bytes& data);
  // A chunk whose length field says `declared`, whatever follows.
  RiffBuilder& chunkDeclaring(const char* id, uint32_t declared, const Bytes& data);
  RiffBuilder& raw(const Bytes& data);
  // The bytes, every open list closed.
  Bytes bytes();

 private:
  Bytes out_;
  std::vector<size_t> open_;
};

Bytes mainHeader(uint32_t streams);          // "avih" data, 56 bytes
Bytes streamHeader(const char* type);        // "strh" data, 56 bytes
// WAVEFORMAT (16 bytes), or with cbSize WAVEFORMATEX (18) and `extra`.
Bytes waveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits,
                 std::optional<uint16_t> cbSize = std::nullopt, const Bytes& extra = {});
Bytes mp3Format();                           // MPEGLAYER3WAVEFORMAT, 30 bytes

struct StreamLayout {
  const char* type;  // "vids" or "auds"
  Bytes format;      // its "strf" data
};
// "RIFF" "AVI " opened, with a closed header list of `streams`; dwStreams
// says `declaredStreams` (default: their number).
RiffBuilder aviHeader(const std::vector<StreamLayout>& streams, std::optional<uint32_t> declaredStreams = {});

// An AVI made by the ffmpeg tool at `path`: a small raw picture at `rate`
// frames a second for one second, with a tone of 44100 Hz encoded by
// `audioArgs` (e.g. {"-c:a", "pcm_s16le", "-ac", "2"}), or without sound
// when they are empty.
void makeSoundAvi(const std::string& path, const std::vector<std::string>& audioArgs, const std::string& rate = "25");

// The packets of the AVI's sound stream as the ffmpeg tool copies them
// out into a raw container (`format`: "s16le", "u8", "alaw", "mp3"...):
// the bytes of its chunks, an independent reading to compare with.
Bytes ffmpegSoundBytes(const std::string& aviPath, const std::string& format);

}  // namespace quarn::testing
