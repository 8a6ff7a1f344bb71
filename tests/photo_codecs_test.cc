// The HEIF and WebP adapters on files the standard tools and libheif's
// encoder make: every kind, depth and alpha against the libraries' own
// decodes, the turns of HEIF files, the orientation and metadata chunks of
// WebP files, the first frame of an animation, and the refusals.
#include <gtest/gtest.h>

#include <random>

#include "codecs/heif_codec.h"
#include "codecs/webp_codec.h"
#include "engine/bitmap_buffer.h"
#include "support/exif_fixture.h"
#include "support/photo_fixture.h"
#include "support/picture_fixture.h"
#include "support/temp_dir.h"
#include "support/upright_model.h"

using namespace quarn::testing;
using namespace quarn::codecs;
namespace engine = quarn::engine;

namespace {

struct Decoded {
  PictureReadResult result = kPictureUnreadable;
  bool provided = false;
  BitmapShape shape;
  std::vector<uint8_t> bitmap;
  PictureMetadata metadata;
  std::string message;
};

template <typename Decode>
Decoded decodeWith(const std::vector<uint8_t>& bytes, Decode decode) {
  Decoded d;
  const BitmapProvider provide = [&](const BitmapShape& shape) -> uint8_t* {
    d.provided = true;
    d.shape = shape;
    d.bitmap.assign(storedBitmapSize(shape).value_or(0), 0);
    return d.bitmap.data();
  };
  d.result = decode(bytes, provide, d);
  return d;
}

Decoded heif(const std::vector<uint8_t>& bytes, bool keepAlpha = true) {
  return decodeWith(bytes, [&](std::span<const uint8_t> b, const BitmapProvider& p, Decoded& d) {
    return decodeHeif(b, keepAlpha, p, d.metadata, d.message);
  });
}

Decoded webp(const std::vector<uint8_t>& bytes, bool keepAlpha = true) {
  return decodeWith(bytes, [&](std::span<const uint8_t> b, const BitmapProvider& p, Decoded& d) {
    return decodeWebp(b, keepAlpha, p, d.metadata);
  });
}

struct Refusal {
  const char* what;
  std::vector<uint8_t> bytes;
  PictureReadResult want;
};

std::vector<uint8_t> randomBytes(size_t size, unsigned seed) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 generator(seed);
  for (uint8_t& b : bytes) b = uint8_t(generator());
  return bytes;
}

class PhotoCodecs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!havePhotoTools()) GTEST_SKIP() << "heif-enc, cwebp, webpmux or img2webp missing";
  }
  TempDir dir;
};

}  // namespace

TEST_F(PhotoCodecs, HeifOfEveryKindDepthAndAlphaDecodesAsLibheifDoes) {
  for (const bool avif : {false, true}) {
    for (const int depth : {8, 10, 12}) {
      for (const bool alpha : {false, true}) {
        // The tool's 10-bit AVIF is 4:2:2 (see writeHeifByTool), which its
        // monochrome alpha plane cannot be.
        if (avif && depth == 10 && alpha) continue;
        HeifByTool made;
        made.width = 41;
        made.height = 23;
        made.avif = avif;
        made.bitDepth = depth;
        made.alpha = alpha;
        writeHeifByTool(dir.file("p.heif"), made);
        const Grid want = decodeHeifGrid(dir.file("p.heif"));
        for (const bool keepAlpha : {true, false}) {
          SCOPED_TRACE(::testing::Message() << (avif ? "AVIF " : "HEIC ") << depth << " bits"
                                            << (alpha ? " with alpha" : "") << (keepAlpha ? ", alpha kept" : ""));
          const Decoded d = heif(readFile(dir.file("p.heif")), keepAlpha);
          ASSERT_EQ(kPictureRead, d.result) << d.message;
          EXPECT_EQ(41u, d.shape.width);
          EXPECT_EQ(23u, d.shape.height);
          EXPECT_EQ(Orientation::kTopLeft, d.shape.orientation);
          const bool deep = alpha && keepAlpha;
          EXPECT_EQ(deep ? 32u : 24u, d.shape.bitsPerPixel);
          EXPECT_TRUE((deep ? want : opaque(want)) == gridOf(d.bitmap));
          // Whole: the header and zero pad bytes as a BitmapBuffer has them.
          EXPECT_EQ(bitmapOf(deep ? want : opaque(want), deep ? 32 : 24), d.bitmap);
        }
      }
    }
  }
}

TEST_F(PhotoCodecs, HeifTurnsAndMirrorsAreAppliedAsTheFileSays) {
  const Grid stored = photoGrid(37, 21, false);
  for (const bool avif : {false, true}) {
    for (int tag = 1; tag <= 8; ++tag) {
      writeHeifByLibrary(dir.file("t.heif"), {stored, avif, tag});
      const Decoded d = heif(readFile(dir.file("t.heif")));
      ASSERT_EQ(kPictureRead, d.result) << tag << ": " << d.message;
      // libheif's decode of the stored picture, turned by the model.
      const Grid want = shownUpright(decodeHeifGrid(dir.file("t.heif"), true), tag);
      EXPECT_EQ(want.width, d.shape.width) << tag;
      EXPECT_EQ(want.height, d.shape.height) << tag;
      EXPECT_EQ(Orientation::kTopLeft, d.shape.orientation) << "the library has turned it";
      EXPECT_TRUE(opaque(want) == gridOf(d.bitmap)) << (avif ? "AVIF" : "HEIC") << ", orientation " << tag;
    }
  }
}

TEST_F(PhotoCodecs, HeifMetadataIsTheProfileAndTheExifItemsBlock) {
  const std::vector<uint8_t> exif = makeExif({6, true, 37, 21, 500});
  const std::vector<uint8_t> icc = makeIccProfile(3000);
  writeHeifByLibrary(dir.file("m.heic"), {photoGrid(37, 21, false), false, 1, exif, icc});
  const Decoded d = heif(readFile(dir.file("m.heic")));
  ASSERT_EQ(kPictureRead, d.result) << d.message;
  EXPECT_EQ(icc, d.metadata.iccProfile);
  EXPECT_EQ(kExifMake, exifTags(d.metadata.exif).at("0 Make"));
  EXPECT_EQ(kExifDateTaken, exifTags(d.metadata.exif).at("EXIF DateTimeOriginal"));
  // Only irot and imir turn a HEIF picture; its EXIF orientation is not applied again.
  EXPECT_EQ(Orientation::kTopLeft, d.shape.orientation);

  writeHeifByTool(dir.file("plain.heic"), {});
  const Decoded plain = heif(readFile(dir.file("plain.heic")));
  EXPECT_TRUE(plain.metadata.iccProfile.empty());
  EXPECT_TRUE(plain.metadata.exif.empty());
}

TEST_F(PhotoCodecs, HeifRefusalsNameTheirStepAndAskForNoMemory) {
  writeHeifByTool(dir.file("v.heic"), {});
  const std::vector<uint8_t> valid = readFile(dir.file("v.heic"));
  const std::vector<uint8_t> random = randomBytes(valid.size(), 9);
  // The pictures' sizes in their ispe boxes, forged: 30000 x 30000 pixels
  // from a file of a few kilobytes.
  std::vector<uint8_t> huge = valid;
  const std::string ispe = "ispe";
  for (auto at = std::search(huge.begin(), huge.end(), ispe.begin(), ispe.end()); at != huge.end();
       at = std::search(at + 1, huge.end(), ispe.begin(), ispe.end())) {
    for (const long field : {8, 12}) {  // width, height: after the type and the version and flags
      at[field] = 0, at[field + 1] = 0, at[field + 2] = 0x75, at[field + 3] = 0x30;
    }
  }
  ASSERT_NE(valid, huge);
  const Refusal cases[] = {
      {"empty", {}, kPictureCannotOpen},
      {"random bytes", random, kPictureCannotOpen},
      {"the first half", std::vector<uint8_t>(valid.begin(), valid.begin() + long(valid.size() / 2)), kPictureCannotOpen},
      {"30000 x 30000 claimed", huge, kPictureCannotOpen},
  };
  for (const Refusal& c : cases) {
    const Decoded d = heif(c.bytes);
    EXPECT_EQ(c.want, d.result) << c.what;
    EXPECT_FALSE(d.provided) << c.what;
    // libheif says why; the size refused is the program's own check.
    if (c.bytes != huge) {
      EXPECT_NE("", d.message) << c.what;
    }
  }
}

TEST_F(PhotoCodecs, WebpLosslessGivesThePixelsBackAndLossyAsLibwebpDoes) {
  const struct {
    const char* what;
    bool lossless, alpha, keepAlpha;
  } cases[] = {
      {"lossless", true, false, true},       {"lossless with alpha", true, true, true},
      {"alpha not kept", true, true, false}, {"lossy", false, false, true},
      {"lossy with alpha", false, true, true},
  };
  for (const auto& c : cases) {
    for (const uint32_t width : {1u, 5u, 38u}) {
      const Grid grid = photoGrid(width, 19, c.alpha);
      writeWebp(dir.file("p.webp"), {grid, c.lossless, c.alpha});
      const Decoded d = webp(readFile(dir.file("p.webp")), c.keepAlpha);
      SCOPED_TRACE(::testing::Message() << c.what << ", width " << width);
      ASSERT_EQ(kPictureRead, d.result);
      const bool deep = c.alpha && c.keepAlpha;
      EXPECT_EQ(deep ? 32u : 24u, d.shape.bitsPerPixel);
      const Grid want = c.lossless ? grid : decodeWebpGrid(dir.file("p.webp"));
      EXPECT_EQ(bitmapOf(deep ? want : opaque(want), deep ? 32 : 24), d.bitmap);
    }
  }
}

TEST_F(PhotoCodecs, WebpCarriesItsExifOrientationProfileAndExif) {
  const Grid grid = photoGrid(30, 20, false);
  for (int tag = 0; tag <= 8; ++tag) {
    std::vector<uint8_t> exif = makeExif({tag});
    if (tag % 2) exif.insert(exif.begin(), {'E', 'x', 'i', 'f', 0, 0});  // some writers prefix it
    const std::vector<uint8_t> icc = tag == 3 ? makeIccProfile(70000) : std::vector<uint8_t>{};
    writeWebp(dir.file("o.webp"), {grid, true, false, exif, icc});
    const Decoded d = webp(readFile(dir.file("o.webp")));
    ASSERT_EQ(kPictureRead, d.result) << tag;
    EXPECT_EQ(orientationFromTag(uint32_t(tag)), d.shape.orientation) << tag;
    EXPECT_EQ(bitmapOf(opaque(grid), 24), d.bitmap) << "delivered as stored, " << tag;
    EXPECT_EQ(makeExif({tag}), d.metadata.exif) << tag;
    EXPECT_EQ(icc, d.metadata.iccProfile) << tag;
  }
}

TEST_F(PhotoCodecs, AnAnimatedWebpGivesItsFirstFrame) {
  writeAnimatedWebp(dir.file("a.webp"), 33, 17);
  // An animation's canvas has alpha: opaque here.
  const Decoded kept = webp(readFile(dir.file("a.webp")));
  ASSERT_EQ(kPictureRead, kept.result);
  EXPECT_EQ(bitmapOf(photoGrid(33, 17, false), 32), kept.bitmap);
  const Decoded opaqueFrame = webp(readFile(dir.file("a.webp")), false);
  ASSERT_EQ(kPictureRead, opaqueFrame.result);
  EXPECT_EQ(bitmapOf(opaque(photoGrid(33, 17, false)), 24), opaqueFrame.bitmap);
}

TEST_F(PhotoCodecs, WebpRefusals) {
  writeWebp(dir.file("v.webp"), {photoGrid(40, 24, false), false});
  const std::vector<uint8_t> valid = readFile(dir.file("v.webp"));
  const std::vector<uint8_t> random = randomBytes(valid.size(), 11);
  const std::vector<uint8_t> cut(valid.begin(), valid.begin() + long(valid.size() * 3 / 4));
  std::vector<uint8_t> damaged = valid;
  for (size_t i = 40; i < damaged.size(); i += 7) damaged[i] ^= 0x5a;
  const Refusal cases[] = {
      {"empty", {}, kPictureCannotOpen},
      {"random bytes", random, kPictureCannotOpen},
      {"cut", cut, kPictureCannotOpen},
  };
  for (const Refusal& c : cases) {
    const Decoded d = webp(c.bytes);
    EXPECT_EQ(c.want, d.result) << c.what;
    EXPECT_FALSE(d.provided) << c.what;
  }
  // Damaged coded data: any answer but a crash; a refusal asks for no memory.
  const Decoded d = webp(damaged);
  EXPECT_TRUE(d.result == kPictureRead || d.result == kPictureUnreadable || d.result == kPictureCannotOpen);
}
