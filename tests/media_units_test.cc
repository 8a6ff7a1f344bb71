// The pieces of the run on today's containers that work without files:
// turning pictures upright, the kinds by name, the stream lines.
#include <gtest/gtest.h>

#include <random>

#include "app/media_kinds.h"
#include "platform/orientation.h"
#include "video/media_writer.h"

using namespace quarn;
using platform::InputDemuxer;
using platform::ResultContainer;

namespace {

struct Pixels {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;  // top-down, 3 bytes a pixel, no padding
  const uint8_t* at(uint32_t x, uint32_t y) const { return &bytes[(size_t{y} * width + x) * 3]; }
  platform::PixelView view() { return {bytes.data(), static_cast<ptrdiff_t>(width) * 3, width, height, false}; }
};

// The plain way: a quarter turn clockwise at a time, then the mirrorings.
Pixels reference(const Pixels& in, const platform::Orientation& o) {
  Pixels p = in;
  for (int q = 0; q < o.clockwiseQuarters; ++q) {
    Pixels turned{p.height, p.width, std::vector<uint8_t>(p.bytes.size())};
    for (uint32_t y = 0; y < turned.height; ++y) {
      for (uint32_t x = 0; x < turned.width; ++x) {
        std::copy_n(p.at(y, p.height - 1 - x), 3, &turned.bytes[(size_t{y} * turned.width + x) * 3]);
      }
    }
    p = turned;
  }
  Pixels flipped = p;
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      const uint32_t sx = o.flipHorizontal ? p.width - 1 - x : x, sy = o.flipVertical ? p.height - 1 - y : y;
      std::copy_n(p.at(sx, sy), 3, &flipped.bytes[(size_t{y} * p.width + x) * 3]);
    }
  }
  return flipped;
}

}  // namespace

TEST(Orientation, EveryTurnAndMirroringMovesEachPixelWhereThePlainWayPutsIt) {
  std::mt19937 random(7);
  for (const auto& [width, height] : {std::pair<uint32_t, uint32_t>{3, 2}, {1, 5}, {70, 131}, {129, 64}}) {
    Pixels in{width, height, std::vector<uint8_t>(size_t{width} * height * 3)};
    for (uint8_t& b : in.bytes) b = static_cast<uint8_t>(random());
    for (int quarters = 0; quarters < 4; ++quarters) {
      for (const bool vertical : {false, true}) {
        for (const bool horizontal : {false, true}) {
          const platform::Orientation o{quarters, vertical, horizontal};
          const Pixels want = reference(in, o);
          Pixels have{0, 0, std::vector<uint8_t>(in.bytes.size(), 0)};
          platform::orientedSize(o, width, height, have.width, have.height);
          ASSERT_EQ(want.width, have.width);
          ASSERT_EQ(want.height, have.height);
          // Bottom-up rows in the result: the picture is the same.
          platform::PixelView to = have.view().bottomFirst();
          platform::orientPixels(in.view(), to, o);
          EXPECT_EQ(want.bytes, have.bytes) << width << "x" << height << " turned " << quarters << " flips "
                                            << vertical << horizontal;
        }
      }
    }
  }
}

TEST(MediaKinds, TheEndingDecidesTheDemuxerAndTheResult) {
  struct Case {
    const char* path;
    bool known;
    InputDemuxer demuxer;
    ResultContainer result;
  } cases[] = {
      {"IMG_0412.MOV", true, InputDemuxer::kMov, ResultContainer::kMov},
      {"a.qt", true, InputDemuxer::kMov, ResultContainer::kMov},
      {"clip.mp4", true, InputDemuxer::kMov, ResultContainer::kMp4},
      {"clip.M4V", true, InputDemuxer::kMov, ResultContainer::kMp4},
      {"old.3gp", true, InputDemuxer::kMov, ResultContainer::kMp4},
      {"old.3G2", true, InputDemuxer::kMov, ResultContainer::kMp4},
      {"film.mkv", true, InputDemuxer::kMatroska, ResultContainer::kMatroska},
      {"web.WebM", true, InputDemuxer::kMatroska, ResultContainer::kWebm},
      {"cam/00001.MTS", true, InputDemuxer::kMpegTs, ResultContainer::kMatroska},
      {"b.m2ts", true, InputDemuxer::kMpegTs, ResultContainer::kMatroska},
      {"c.ts", true, InputDemuxer::kMpegTs, ResultContainer::kMatroska},
      {"d.mpg", true, InputDemuxer::kMpegPs, ResultContainer::kMatroska},
      {"d.mpeg", true, InputDemuxer::kMpegPs, ResultContainer::kMatroska},
      {"VTS_01_1.VOB", true, InputDemuxer::kMpegPs, ResultContainer::kMatroska},
      {"e.wmv", true, InputDemuxer::kAsf, ResultContainer::kMatroska},
      {"e.asf", true, InputDemuxer::kAsf, ResultContainer::kMatroska},
      {"f.flv", true, InputDemuxer::kFlv, ResultContainer::kMatroska},
      {"g.ogv", true, InputDemuxer::kOgg, ResultContainer::kMatroska},
      {"clip.avi", false, {}, {}},
      {"mp4", false, {}, {}},
      {"dir.mp4/file", false, {}, {}},
      {"clip.mp4.txt", false, {}, {}},
      {"clip.ogg", false, {}, {}},
      {"", false, {}, {}},
  };
  for (const Case& c : cases) {
    const std::optional<app::MediaKind> kind = app::mediaKindOf(c.path);
    ASSERT_EQ(c.known, kind.has_value()) << c.path;
    if (!kind) continue;
    EXPECT_EQ(c.demuxer, kind->demuxer) << c.path;
    EXPECT_EQ(c.result, kind->result) << c.path;
  }
}

TEST(MediaStreams, EachStreamBesideTheVideoGetsOneLine) {
  using Fate = platform::StreamNote::Fate;
  struct Case {
    const char* what;
    std::vector<platform::StreamNote> notes;
    ResultContainer container;
    const char* text;
  } cases[] = {
      {"nothing beside the video", {}, ResultContainer::kMp4, "\n Izvlichane na audio dannite ... lipsvat audio danni!\n"},
      {"copied and encoded sound",
       {{Fate::kCopied, 1, "audio", "aac", ""}, {Fate::kEncoded, 2, "audio", "flac", "aac"}},
       ResultContainer::kMp4,
       "\n Izvlichane na audio dannite ... tip - aac - kopirano!"
       "\n Izvlichane na audio dannite ... tip - flac - prekodirano v aac!\n"},
      {"a subtitle kept, cover art left out",
       {{Fate::kCopied, 0, "subtitle", "subrip", ""},
        {Fate::kLeftOut, 2, "attachment", "png", ""},
        {Fate::kLeftOut, 3, "video", "h264", ""},
        {Fate::kLeftOut, 4, "data", "bin_data", ""}},
       ResultContainer::kMatroska,
       "\n Izvlichane na audio dannite ... lipsvat audio danni!"
       "\n Prenasqne na potok 0 (subtitle, subrip) - kopirano!"
       "\n Potok 2 (attachment, png) e propusnat - oblojkata ne se prenasq!"
       "\n Potok 3 (video, h264) e propusnat - konvertira se samo parviqt video potok!"
       "\n Potok 4 (data, bin_data) e propusnat - .mkv ne go poddurja!\n"},
      {"sound that could not be carried",
       {{Fate::kLeftOut, 1, "audio", "adpcm_ms", ""}},
       ResultContainer::kWebm,
       "\n Izvlichane na audio dannite ... lipsvat audio danni!"
       "\n Potok 1 (audio, adpcm_ms) e propusnat - .webm ne go poddurja!\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, video::streamReport(c.notes, c.container)) << c.what;
}
