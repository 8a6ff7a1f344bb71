// The MP3 chunk walker: what it copies out of AVIs of every layout, and that
// no file makes it read outside.
#include "video/mp3_chunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "support/avi_builder.h"
#include "support/temp_dir.h"

using namespace quarn::testing;
using quarn::video::kCannotCopy;
using quarn::video::kWalkEnded;
using quarn::video::MemorySink;
using quarn::video::MemorySource;

namespace {

const Bytes kFormat = mp3Format();
const Bytes kA = pattern(417, 1), kB = pattern(418, 2), kC = pattern(5, 3), kV = pattern(30, 4);
const std::vector<StreamLayout> kVideoAndMp3 = {{"vids", Bytes(40, 0)}, {"auds", kFormat}};

Bytes walk(const Bytes& file) {
  MemorySource in(file.data(), file.size());
  MemorySink out;
  EXPECT_EQ(kWalkEnded, quarn::video::walkMp3Chunks(in, out));
  return out.bytes;
}

// A header for the usual two streams, then `beforeMovie`, then the movie.
Bytes avi(const std::function<void(RiffBuilder&)>& beforeMovie, const std::function<void(RiffBuilder&)>& movie,
          const std::vector<StreamLayout>& streams = kVideoAndMp3, std::optional<uint32_t> declared = {}) {
  RiffBuilder b = aviHeader(streams, declared);
  beforeMovie(b);
  b.list("LIST", "movi");
  movie(b);
  b.end().chunk("idx1", Bytes(16, 0));
  return b.bytes();
}
void nothing(RiffBuilder&) {}
// The file up to `keep` bytes into the data `data` of a chunk.
Bytes cutInside(const Bytes& file, const Bytes& data, size_t keep) {
  const auto at = std::search(file.begin(), file.end(), data.begin(), data.end());
  return Bytes(file.begin(), at + static_cast<std::ptrdiff_t>(keep));
}
void plainMovie(RiffBuilder& b) { b.chunk("00dc", kV).chunk("01wb", kA).chunk("00dc", kV).chunk("01wb", kB); }

struct WalkCase {
  const char* name;
  Bytes file;
  Bytes copied;
};

}  // namespace

// The length field of the movi list set to `length`.
Bytes withMovieLength(Bytes file, uint32_t length) {
  const auto movi = std::search(file.begin(), file.end(), std::begin("movi"), std::end("movi") - 1);
  const Bytes field = le32(length);
  std::copy(field.begin(), field.end(), movi - 4);
  return file;
}

TEST(Mp3Chunks, CopiesTheFormatBlockThenTheFirstTracksWholeChunks) {
  const std::vector<StreamLayout> threeStreams = {{"vids", Bytes(40, 0)}, {"auds", kFormat}, {"auds", kFormat}};
  const Bytes threeStreamMovie =
      avi(nothing, [](RiffBuilder& b) { b.chunk("01wb", kA).chunk("02wb", kC).chunk("00dc", kV).chunk("01wb", kB); },
          threeStreams);
  const WalkCase cases[] = {
      {"video 0, mp3 1", avi(nothing, plainMovie), kFormat + kA + kB},
      {"JUNK, INFO and odml before movi",
       avi([](RiffBuilder& b) {
         b.chunk("JUNK", Bytes(100, 0)).list("LIST", "INFO").chunk("ISFT", {'q', 0}).end();
         b.list("LIST", "odml").chunk("dmlh", Bytes(248, 0)).end().chunk("JUNK", {});
       }, plainMovie),
       kFormat + kA + kB},
      {"odd JUNK before movi", avi([](RiffBuilder& b) { b.chunk("JUNK", {0}); }, plainMovie), kFormat + kA + kB},
      {"an index and another LIST before movi",
       avi([](RiffBuilder& b) { b.chunk("idx1", Bytes(16, 0)).list("LIST", "abcd").end(); }, plainMovie),
       kFormat + kA + kB},
      {"odd lengths in movi, pad bytes skipped",
       avi(nothing, [](RiffBuilder& b) { b.chunk("01wb", kC).chunk("00dc", {1, 2, 3}).chunk("01wb", kB); }),
       kFormat + kC + kB},
      {"rec lists", avi(nothing, [](RiffBuilder& b) {
         b.list("LIST", "rec ").chunk("00dc", kV).chunk("01wb", kA).end().chunk("01wb", kB);
       }),
       kFormat + kA + kB},
      {"a second audio track stays out", threeStreamMovie, kFormat + kA + kB},
      {"stream numbers are two digits", avi(nothing, [](RiffBuilder& b) {
         b.chunk("01wb", kA).chunk(" 1wb", kB).chunk("1 wb", kC).chunk("01dc", kV);
       }),
       kFormat + kA},
      {"a too low dwStreams", avi(nothing, plainMovie, kVideoAndMp3, 1), kFormat + kA + kB},
      {"a movi list of length 0 runs to the end of its RIFF", withMovieLength(avi(nothing, plainMovie), 0),
       kFormat + kA + kB},
      {"a movi list longer than the file", withMovieLength(avi(nothing, plainMovie), 0xFFFFFFF0), kFormat + kA + kB},
      {"an OpenDML continuation part",
       [] {
         RiffBuilder b = aviHeader(kVideoAndMp3);
         b.list("LIST", "movi");
         plainMovie(b);
         b.end().end().list("RIFF", "AVIX").list("LIST", "movi").chunk("01wb", kC).chunk("00dc", kV);
         return b.bytes();
       }(),
       kFormat + kA + kB + kC},
      {"cut inside a chunk of the track: the chunk stays out", cutInside(threeStreamMovie, kB, 100), kFormat + kA},
      {"cut inside a picture's chunk", cutInside(threeStreamMovie, kV, 10), kFormat + kA},
      {"audio as stream 0", avi(nothing, [](RiffBuilder& b) { b.chunk("00wb", kA).chunk("00wb", kB); },
                                {{"auds", kFormat}}),
       kFormat + kA + kB},
      {"no audio stream", avi(nothing, plainMovie, {{"vids", Bytes(40, 0)}}), {}},
      {"a main header of another length, a stream list not opening with its header",
       [] {
         RiffBuilder b;
         b.list("RIFF", "AVI ").list("LIST", "hdrl").chunk("avih", mainHeader(2) + Bytes(8, 0));
         b.list("LIST", "strl").chunk("strn", {'v', 0}).chunk("strh", streamHeader("vids")).end();
         b.list("LIST", "strl").chunk("strh", streamHeader("auds")).chunk("strf", kFormat).end().end();
         b.list("LIST", "movi");
         plainMovie(b);
         return b.bytes();
       }(),
       kFormat + kA + kB},
  };
  for (const WalkCase& c : cases) EXPECT_EQ(c.copied, walk(c.file)) << c.name;
}

TEST(Mp3Chunks, GivesTheMp3StreamOfAnFfmpegAvi) {
  TempDir dir;
  const std::string path = dir.file("mp3.avi");
  makeSoundAvi(path, {"-c:a", "libmp3lame", "-ac", "2"});
  quarn::platform::TemporaryFile out;
  setenv("TMPDIR", dir.path().c_str(), 1);
  ASSERT_TRUE(out.create(".mp3"));
  unsetenv("TMPDIR");
  const auto input = quarn::video::FileSource::open(path);
  ASSERT_NE(nullptr, input);
  EXPECT_EQ(kWalkEnded, quarn::video::copyMp3Chunks(*input, out));
  const Bytes copied = readFile(out.path());
  ASSERT_GT(copied.size(), 30u);
  EXPECT_EQ(0x55, copied[0]);  // the 30-byte MPEGLAYER3WAVEFORMAT first
  EXPECT_EQ(ffmpegSoundBytes(path, "mp3"), Bytes(copied.begin() + 30, copied.end()));
  quarn::platform::TemporaryFile never;  // no file to write into
  EXPECT_EQ(kCannotCopy, quarn::video::copyMp3Chunks(*input, never));
}

TEST(Mp3Chunks, NoCutOrFlippedByteMakesItReadOutsideTheFile) {
  const Bytes file = avi([](RiffBuilder& b) { b.chunk("JUNK", Bytes(6, 0)); }, [](RiffBuilder& b) {
    b.chunk("01wb", kC).list("LIST", "rec ").chunk("01wb", kC).end().chunk("00dc", kC);
  });
  for (size_t cut = 0; cut <= file.size(); ++cut) {
    EXPECT_LE(walk(Bytes(file.begin(), file.begin() + cut)).size(), cut) << "cut at " << cut;
  }
  for (size_t at = 0; at < file.size(); ++at) {
    for (const uint8_t flip : {0x01, 0x80, 0xFF}) {
      Bytes damaged = file;
      damaged[at] ^= flip;
      EXPECT_LE(walk(damaged).size(), file.size()) << "byte " << at;
    }
  }
}
