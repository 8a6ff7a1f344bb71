// EXIF blocks through the libexif adapter: the orientation read in both
// byte orders and with or without the "Exif" prefix, the block rewritten
// for an upright result, and damaged blocks.
#include <gtest/gtest.h>

#include <random>

#include "codecs/exif_data.h"
#include "support/exif_fixture.h"

using namespace quarn::testing;
using quarn::codecs::Orientation;
namespace codecs = quarn::codecs;

namespace {

std::vector<uint8_t> prefixed(std::vector<uint8_t> block) {
  block.insert(block.begin(), {'E', 'x', 'i', 'f', 0, 0});
  return block;
}

}  // namespace

TEST(ExifData, ReadsTheOrientationInBothByteOrdersWithOrWithoutThePrefix) {
  const struct {
    int tag;
    Orientation want;
  } cases[] = {
      {0, Orientation::kTopLeft},   // no tag
      {1, Orientation::kTopLeft},     {2, Orientation::kTopRight},  {3, Orientation::kBottomRight},
      {4, Orientation::kBottomLeft},  {5, Orientation::kLeftTop},   {6, Orientation::kRightTop},
      {7, Orientation::kRightBottom}, {8, Orientation::kLeftBottom},
      {9, Orientation::kTopLeft},     {65535, Orientation::kTopLeft},  // values that mean nothing
  };
  for (const bool big : {false, true}) {
    for (const auto& c : cases) {
      const std::vector<uint8_t> block = makeExif({c.tag, big, 4032, 3024, 600});
      EXPECT_EQ(c.want, codecs::exifOrientation(block)) << c.tag << (big ? " big-endian" : "");
      EXPECT_EQ(c.want, codecs::exifOrientation(prefixed(block))) << c.tag << " with the prefix";
    }
  }
}

TEST(ExifData, TheResultsBlockIsUprightWithoutItsThumbnailAndKeepsTheRest) {
  for (const bool big : {false, true}) {
    const std::vector<uint8_t> block = makeExif({6, big, 4032, 3024, 2000});
    const std::map<std::string, std::string> before = exifTags(block);
    ASSERT_EQ("Right-top", before.at("0 Orientation"));
    ASSERT_EQ("2000", before.at("thumbnail bytes"));

    const std::vector<uint8_t> result = codecs::exifForUprightResult(block, 3016, 4032);
    std::map<std::string, std::string> after = exifTags(result);
    EXPECT_EQ("Top-left", after.at("0 Orientation"));
    EXPECT_EQ("3016", after.at("EXIF PixelXDimension"));
    EXPECT_EQ("4032", after.at("EXIF PixelYDimension"));
    EXPECT_EQ(0u, after.count("thumbnail bytes"));
    EXPECT_EQ(0u, after.count("1 JPEGInterchangeFormat"));
    // The camera, the date taken, the exposure and the place stay.
    for (const char* kept : {"0 Make", "EXIF DateTimeOriginal", "EXIF ExposureTime", "GPS GPSLatitudeRef",
                             "GPS GPSLatitude"}) {
      EXPECT_EQ(before.at(kept), after.at(kept)) << kept;
    }
    EXPECT_EQ(kExifDateTaken, after.at("EXIF DateTimeOriginal"));
    // Nothing else came or went.
    std::map<std::string, std::string> rest = before;
    for (const char* changed : {"0 Orientation", "EXIF PixelXDimension", "EXIF PixelYDimension", "thumbnail bytes",
                                "1 Compression", "1 JPEGInterchangeFormat", "1 JPEGInterchangeFormatLength"}) {
      rest.erase(changed);
      after.erase(changed);
    }
    EXPECT_EQ(rest, after);
    // The prefix makes no difference.
    EXPECT_EQ(result, codecs::exifForUprightResult(prefixed(block), 3016, 4032));
  }
}

TEST(ExifData, NoTagIsAddedThatTheBlockDidNotHave) {
  const std::map<std::string, std::string> tags = exifTags(codecs::exifForUprightResult(makeExif({}), 10, 20));
  EXPECT_EQ(0u, tags.count("0 Orientation"));
  EXPECT_EQ(0u, tags.count("EXIF PixelXDimension"));
  EXPECT_EQ(kExifMake, tags.at("0 Make"));
}

TEST(ExifData, DamagedBlocksGiveUprightAndNothingToCarry) {
  EXPECT_EQ(Orientation::kTopLeft, codecs::exifOrientation({}));
  EXPECT_TRUE(codecs::exifForUprightResult({}, 1, 1).empty());
  const std::vector<uint8_t> notTiff = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'};
  EXPECT_EQ(Orientation::kTopLeft, codecs::exifOrientation(notTiff));
  EXPECT_TRUE(codecs::exifForUprightResult(notTiff, 1, 1).empty());

  // Every cut and single-byte change of a valid block: any answer, no crash
  // (the sanitizer build finds reads past the block).
  const std::vector<uint8_t> block = makeExif({8, false, 640, 480, 300});
  for (size_t cut = 0; cut < block.size(); ++cut) {
    const std::vector<uint8_t> head(block.begin(), block.begin() + long(cut));
    codecs::exifOrientation(head);
    EXPECT_LE(codecs::exifForUprightResult(head, 3, 4).size(), codecs::kMaxExifInJpeg);
  }
  std::mt19937 random(5);
  for (size_t at = 0; at < block.size(); ++at) {
    std::vector<uint8_t> changed = block;
    changed[at] = uint8_t(random());
    const Orientation o = codecs::exifOrientation(changed);
    EXPECT_GE(uint8_t(o), 1);
    EXPECT_LE(uint8_t(o), 8);
    codecs::exifForUprightResult(changed, 3, 4);
  }
}
