// The files a sound track passes through: an AVI's first audio stream read
// as RIFF, the WAV written from it, WAV files read by their chunks, and the
// read sizes of the extraction.
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

TEST(PcmWav, CarriesEveryByteWithTheTrueLengths) {
  struct Case {
    Bytes format;
    size_t fmtLength;
    Bytes data;
  };
  const Case cases[] = {
      {kPcm16, 16, pattern(441000 * 4, 7)},           // 10 s of 16-bit stereo at 44100 Hz
      {waveFormat(6, 1, 8000, 1, 8, 2), 18, kC},      // cbSize kept, its extra bytes are not in the block
      {kPcm16, 16, {}},
  };
  for (const Case& c : cases) {
    const Bytes avi = aviHeader({{"auds", c.format}}).list("LIST", "movi").chunk("00wb", c.data).bytes();
    MemorySource source(avi.data(), avi.size());
    RiffReader reader(source);
    MemorySink wav;
    ASSERT_EQ(PcmCopy::kCopied, writePcmWav(reader, findFirstAudioStream(reader), wav));
    const size_t header = 20 + c.fmtLength + 8;
    ASSERT_EQ(header + c.data.size(), wav.bytes.size());
    const Bytes want = chars("RIFF") + le32(static_cast<uint32_t>(wav.bytes.size() - 8)) + chars("WAVEfmt ") +
                       le32(static_cast<uint32_t>(c.fmtLength)) + c.format + chars("data") +
                       le32(static_cast<uint32_t>(c.data.size()));
    EXPECT_EQ(want, Bytes(wav.bytes.begin(), wav.bytes.begin() + header));
    EXPECT_EQ(c.data, Bytes(wav.bytes.begin() + header, wav.bytes.end()));
  }
  EXPECT_EQ(0xFFFFFFFEu, chunkLengthField(0xFFFFFFFE));
  EXPECT_EQ(0xFFFFFFFFu, chunkLengthField(uint64_t{5} << 32));  // more than a WAV can say: "to the end"
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

TEST(AudioReadSize, WholeTrackUnderTenMebibytesElseLargestMultipleOfTheFrame) {
  const struct {
    uint32_t channels, bits;
    uint64_t frames, buffer, perRead;
  } cases[] = {
      {2, 16, 441000, 1764000, 441000},
      {2, 16, 2646000, 10485760, 2621440},  // 60 s: four reads and a bit
      {3, 8, 4000000, 10485759, 3495253},   // 3 does not divide 10 MiB
      {2, 24, 1, 6, 1},
      {1, 8, 0, 0, 0},
      {1, 0, 5000, 5000, 5000},             // no bits per sample: bytes as they come
      {1, 4, 20000000, 10485760, 10485760}, // under 8 bits a frame
      {65535, 65535, 2, 2, 2},             // a frame larger than a read
      {1, 8, UINT64_MAX, 10485760, 10485760},
  };
  for (const auto& c : cases) {
    const AudioReadSize size = chooseAudioReadSize(c.channels, c.bits, c.frames);
    EXPECT_EQ(c.buffer, size.bufferBytes) << c.channels << "x" << c.bits << ", " << c.frames;
    EXPECT_EQ(c.perRead, size.samplesPerRead) << c.channels << "x" << c.bits << ", " << c.frames;
  }
}
