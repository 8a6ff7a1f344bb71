// The files a sound track passes through: an AVI's first audio stream read
// as RIFF, its PCM streamed out of its chunks, and WAV files read by their
// chunks.
#include <gtest/gtest.h>

#include "support/avi_builder.h"
#include "video/audio_extraction.h"
#include "video/avi_audio.h"
#include "video/wav_file.h"

using namespace quarn::testing;
using namespace quarn::video;

namespace {

const Bytes kPcm16 = waveFormat(1, 2, 44100, 4, 16);
const Bytes kA = pattern(4096, 1), kB = pattern(1001, 2), kC = pattern(64, 3), kV = pattern(30, 4);

struct StreamBytes {
  AviAudioStatus status;
  uint32_t number = 0;
  Bytes format, data;
};

StreamBytes readStream(const Bytes& file) {
  MemorySource source(file.data(), file.size());
  RiffReader reader(source);
  const AviAudioStream stream = findFirstAudioStream(reader);
  StreamBytes out{stream.status, stream.number, stream.format, {}};
  if (stream.status != AviAudioStatus::kFound) return out;
  forEachAudioChunk(reader, stream.number, [&](uint64_t position, uint64_t length) {
    Bytes piece(length);
    EXPECT_TRUE(reader.read(position, piece.data(), piece.size()));
    out.data = out.data + piece;
    return true;
  });
  return out;
}

std::optional<WavLayout> layoutOf(const Bytes& wav) {
  MemorySource source(wav.data(), wav.size());
  RiffReader reader(source);
  return readWavLayout(reader);
}

Bytes wavHeader(const Bytes& fmt, uint32_t dataLength) {
  return chars("RIFF") + le32(static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + dataLength)) + chars("WAVEfmt ") +
         le32(static_cast<uint32_t>(fmt.size())) + fmt + chars("data") + le32(dataLength);
}

}  // namespace

TEST(AviAudio, FindsTheFirstAudioStreamAndAllItsChunks) {
  struct Case {
    const char* name;
    Bytes file;
    StreamBytes want;
  };
  const std::vector<StreamLayout> videoAudioAudio = {{"vids", Bytes(40, 0)}, {"auds", kPcm16}, {"auds", waveFormat(1, 1, 8000, 1, 8)}};
  const Case cases[] = {
      {"movi, rec lists and AVIX RIFFs, in file order",
       [&] {
         RiffBuilder b = aviHeader(videoAudioAudio);
         b.chunk("JUNK", Bytes(7, 0)).list("LIST", "movi").chunk("01wb", kA).chunk("02wb", kV).chunk("00dc", kV);
         b.list("LIST", "rec ").chunk("01wb", kB).chunk("ix01", kV).end().end().chunk("idx1", Bytes(16, 0)).end();
         b.list("RIFF", "AVIX").list("LIST", "movi").chunk("00dc", kV).chunk("01wb", kC).end().end();
         return b.bytes();
       }(),
       {AviAudioStatus::kFound, 1, kPcm16, kA + kB + kC}},
      {"a chunk cut by the end of the file",
       [&] {
         Bytes f = aviHeader({{"auds", kPcm16}}).list("LIST", "movi").chunk("00wb", kA).chunk("00wb", kB).bytes();
         f.resize(f.size() - 1 - 500);  // the pad byte and the last 500 bytes of kB
         return f;
       }(),
       {AviAudioStatus::kFound, 0, kPcm16, kA + Bytes(kB.begin(), kB.begin() + 501)}},
      {"a chunk longer than its list", aviHeader({{"auds", kPcm16}}).list("LIST", "movi").chunkDeclaring("00wb", 4000, kC).end()
                                           .chunk("idx1", kV).bytes(),
       {AviAudioStatus::kFound, 0, kPcm16, kC}},
      {"no audio stream", aviHeader({{"vids", Bytes(40, 0)}}).bytes(), {AviAudioStatus::kNoAudioStream, 0, {}, {}}},
      {"an audio list without strf",
       [] {
         RiffBuilder b;
         b.list("RIFF", "AVI ").list("LIST", "hdrl").chunk("avih", mainHeader(1));
         b.list("LIST", "strl").chunk("strh", streamHeader("auds")).chunk("strn", {'a', 0});
         return b.bytes();
       }(),
       {AviAudioStatus::kNoFormat, 0, {}, {}}},
      {"a strf longer than its list",
       [] {
         RiffBuilder b;
         b.list("RIFF", "AVI ").list("LIST", "hdrl").chunk("avih", mainHeader(1));
         b.list("LIST", "strl").chunk("strh", streamHeader("auds")).chunkDeclaring("strf", 400, kPcm16).end().end();
         return b.bytes() + Bytes(400, 0);
       }(),
       {AviAudioStatus::kNoFormat, 0, {}, {}}},
      {"a WAV file", wavHeader(kPcm16, 0), {AviAudioStatus::kNotAvi, 0, {}, {}}},
      {"too short for a header", chars("RIFF"), {AviAudioStatus::kNotAvi, 0, {}, {}}},
  };
  for (const Case& c : cases) {
    const StreamBytes have = readStream(c.file);
    EXPECT_EQ(c.want.status, have.status) << c.name;
    EXPECT_EQ(c.want.number, have.number) << c.name;
    EXPECT_EQ(c.want.format, have.format) << c.name;
    EXPECT_EQ(c.want.data, have.data) << c.name;
  }
}

TEST(PcmChunks, StreamEveryByteInOrderWhateverTheReadSize) {
  const Bytes ten = pattern(441000 * 4, 7);  // 10 s of 16-bit stereo at 44100 Hz
  const struct {
    const char* name;
    Bytes file;
    Bytes data;
  } cases[] = {
      {"one long chunk", aviHeader({{"auds", kPcm16}}).list("LIST", "movi").chunk("00wb", ten).bytes(), ten},
      {"chunks among pictures, in a rec list and an AVIX part",
       aviHeader({{"vids", Bytes(40, 0)}, {"auds", kPcm16}}).list("LIST", "movi").chunk("01wb", kA).chunk("00dc", kV)
           .list("LIST", "rec ").chunk("01wb", kB).end().end().end().list("RIFF", "AVIX").list("LIST", "movi")
           .chunk("01wb", kC).bytes(),
       kA + kB + kC},
      {"no chunks", aviHeader({{"auds", kPcm16}}).list("LIST", "movi").bytes(), {}},
  };
  for (const auto& c : cases) {
    for (const size_t block : {size_t{1}, size_t{1000}, size_t{1} << 20}) {
      MemorySource source(c.file.data(), c.file.size());
      RiffReader reader(source);
      const std::unique_ptr<SoundSamples> samples = audioChunkSamples(source, findFirstAudioStream(reader).number);
      EXPECT_TRUE(samples->holdsAtLeast(c.data.size())) << c.name;
      EXPECT_FALSE(samples->holdsAtLeast(c.data.size() + 1)) << c.name;
      Bytes read, piece(block);
      while (const size_t n = samples->read(piece.data(), piece.size())) read.insert(read.end(), piece.begin(), piece.begin() + n);
      EXPECT_EQ(c.data, read) << c.name << ", reads of " << block;
    }
  }
}

TEST(WavLayout, FindsFormatAndDataByTheirChunks) {
  const Bytes extensible = waveFormat(0xFFFE, 2, 48000, 4, 16, 22, pattern(22, 9));
  const Bytes data = pattern(100, 5);
  struct Case {
    const char* name;
    Bytes file;
    std::optional<SoundFormat> format;
    uint64_t position, length;
  };
  const SoundFormat pcm16{1, 2, 44100, 176400, 4, 16, {}};
  const Case cases[] = {
      {"16-byte fmt", wavHeader(kPcm16, 100) + data, pcm16, 44, 100},
      {"18-byte fmt announcing extra bytes it lacks", wavHeader(waveFormat(1, 2, 44100, 4, 16, 6), 100) + data, pcm16, 46, 100},
      {"40-byte extensible fmt", wavHeader(extensible, 100) + data,
       SoundFormat{0xFFFE, 2, 48000, 192000, 4, 16, pattern(22, 9)}, 68, 100},
      {"data before fmt, after a LIST holding an odd chunk",
       RiffBuilder().list("RIFF", "WAVE").list("LIST", "INFO").chunk("ISFT", {'l', 'a', 'm'}).end().chunk("data", data)
           .chunk("fmt ", kPcm16).bytes(),
       pcm16, 44, 100},
      {"data length past the end of the file", wavHeader(kPcm16, 5000) + data, pcm16, 44, 100},
      {"data length 0xFFFFFFFF: to the end", wavHeader(kPcm16, 0xFFFFFFFF) + data, pcm16, 44, 100},
      {"the faulty old header: 8 bytes short", wavHeader(kPcm16, 92) + data, pcm16, 44, 92},
      {"no data chunk", RiffBuilder().list("RIFF", "WAVE").chunk("fmt ", kPcm16).bytes(), std::nullopt, 0, 0},
      {"fmt shorter than 16 bytes", wavHeader(Bytes(14, 1), 100) + data, std::nullopt, 0, 0},
      {"fmt past the end of the file", RiffBuilder().list("RIFF", "WAVE").chunkDeclaring("fmt ", 40, kPcm16).bytes(), std::nullopt, 0, 0},
      {"not a WAVE", RiffBuilder().list("RIFF", "AVI ").chunk("fmt ", kPcm16).chunk("data", data).bytes(), std::nullopt, 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<WavLayout> have = layoutOf(c.file);
    ASSERT_EQ(c.format.has_value(), have.has_value()) << c.name;
    if (!have) continue;
    EXPECT_EQ(*c.format, have->format) << c.name;
    EXPECT_EQ(c.position, have->dataPosition) << c.name;
    EXPECT_EQ(c.length, have->dataLength) << c.name;
  }
}
