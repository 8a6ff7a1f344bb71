// Turning stored pictures upright: every orientation on 24- and 32-bit
// bitmaps of many sizes, against the model built from quarter turns and
// mirrors.
#include <gtest/gtest.h>

#include "codecs/orientation.h"
#include "engine/bitmap_buffer.h"
#include "support/upright_model.h"

using namespace quarn::testing;
using quarn::codecs::Orientation;
namespace codecs = quarn::codecs;
namespace engine = quarn::engine;

namespace {

std::vector<uint8_t> upright(const std::vector<uint8_t>& stored, int tag) {
  const Orientation o = codecs::orientationFromTag(uint32_t(tag));
  const std::optional<uint32_t> size = codecs::uprightBitmapSize(engine::loadLe32(stored.data() + engine::field::kWidth),
                                                                 engine::loadLe32(stored.data() + engine::field::kHeight),
                                                                 engine::loadLe16(stored.data() + engine::field::kBitsPerPixel), o);
  EXPECT_TRUE(size);
  std::vector<uint8_t> out(size.value_or(0), 0xEE);  // pad bytes must be written too
  codecs::writeUpright(stored.data(), o, out.data());
  return out;
}

}  // namespace

TEST(Orientation, EveryTagOnEverySmallSizeMatchesTheModel) {
  for (const unsigned bits : {24u, 32u}) {
    for (uint32_t width = 1; width <= 19; width += 3) {
      for (uint32_t height = 1; height <= 37; height += 6) {  // past one band of rows
        const Grid stored = numberedGrid(width, height);
        const std::vector<uint8_t> bitmap = bitmapOf(stored, bits);
        for (int tag = 1; tag <= 8; ++tag) {
          SCOPED_TRACE(::testing::Message() << bits << " bits, " << width << " x " << height << ", tag " << tag);
          const std::vector<uint8_t> have = upright(bitmap, tag);
          const Grid want = shownUpright(stored, tag);
          // The whole buffer, header and pad bytes included.
          EXPECT_EQ(bitmapOf(want, bits), have);
        }
      }
    }
  }
}

TEST(Orientation, APortraitPhoneShotStoredSidewaysStandsUp) {
  // Stored 400 x 300 with its first row on the right: the camera was turned
  // a quarter clockwise; the viewer sees 300 x 400 with that row on the right.
  const std::vector<uint8_t> bitmap = bitmapOf(numberedGrid(400, 300), 24);
  const Grid stored = gridOf(bitmap);
  const std::vector<uint8_t> have = upright(bitmap, 6);
  const Grid seen = gridOf(have);
  ASSERT_EQ(300u, seen.width);
  ASSERT_EQ(400u, seen.height);
  EXPECT_TRUE(seen.at(299, 0) == stored.at(0, 0));    // first stored pixel: top right
  EXPECT_TRUE(seen.at(299, 399) == stored.at(399, 0)); // end of the first stored row: bottom right
  EXPECT_TRUE(seen.at(0, 0) == stored.at(0, 299));    // first pixel of the last stored row: top left
}

TEST(Orientation, TagValuesOutsideOneToEightMeanUpright) {
  for (const uint32_t value : {0u, 9u, 255u, 65535u, 0xffffffffu}) {
    EXPECT_EQ(Orientation::kTopLeft, codecs::orientationFromTag(value)) << value;
  }
  for (uint32_t value = 1; value <= 8; ++value) {
    EXPECT_EQ(value, uint32_t(codecs::orientationFromTag(value)));
    EXPECT_EQ(value >= 5, codecs::swapsSides(codecs::orientationFromTag(value))) << value;
  }
}

TEST(Orientation, UprightSizesOfTurnedRowsArePaddedAgain) {
  // 5 x 3 at 24 bits: rows of 16 bytes stored; turned, rows of 3 pixels take 12.
  EXPECT_EQ(54u + 16 * 3, codecs::uprightBitmapSize(5, 3, 24, Orientation::kBottomRight));
  EXPECT_EQ(54u + 12 * 5, codecs::uprightBitmapSize(5, 3, 24, Orientation::kRightTop));
  EXPECT_EQ(54u + 4 * 15, codecs::uprightBitmapSize(5, 3, 32, Orientation::kLeftBottom));
  // One pixel wide, rows pad to 4 bytes and 1.2 billion of them pass 32
  // bits; turned into one row of 3.6 billion bytes, they fit.
  EXPECT_FALSE(codecs::uprightBitmapSize(1, 1200000000, 24, Orientation::kTopLeft));
  EXPECT_TRUE(codecs::uprightBitmapSize(1, 1200000000, 24, Orientation::kRightTop));
}
