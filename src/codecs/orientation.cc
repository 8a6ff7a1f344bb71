#include "codecs/orientation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/bitmap_buffer.h"
#include "platform/orientation.h"

namespace quarn::codecs {
namespace {

// Where in the stored pixels the upright pixel (0, 0), top left, comes
// from, and how far the source moves for one step right and one step down
// in the upright picture. Stored rows are bottom-up: the top row is last.
struct Walk {
  ptrdiff_t start;
  ptrdiff_t right;
  ptrdiff_t down;
};

Walk walkFor(Orientation orientation, uint32_t width, uint32_t height, ptrdiff_t stride, ptrdiff_t pixel) {
  const ptrdiff_t topRow = ptrdiff_t{height - 1} * stride;    // stored row 0
  const ptrdiff_t lastColumn = ptrdiff_t{width - 1} * pixel;  // stored column width - 1
  switch (orientation) {
    case Orientation::kTopLeft:
      return {topRow, pixel, -stride};
    case Orientation::kTopRight:
      return {topRow + lastColumn, -pixel, -stride};
    case Orientation::kBottomRight:
      return {lastColumn, -pixel, stride};
    case Orientation::kBottomLeft:
      return {0, pixel, stride};
    case Orientation::kLeftTop:  // upright (x, y) is stored (y, x)
      return {topRow, -stride, pixel};
    case Orientation::kRightTop:  // stored (y, height - 1 - x)
      return {0, stride, pixel};
    case Orientation::kRightBottom:  // stored (width - 1 - y, height - 1 - x)
      return {lastColumn, stride, -pixel};
    case Orientation::kLeftBottom:  // stored (width - 1 - y, x)
      return {topRow + lastColumn, -stride, -pixel};
  }
  return {topRow, pixel, -stride};
}

}  // namespace

Orientation orientationFromTag(uint32_t value) {
  return value >= 1 && value <= 8 ? static_cast<Orientation>(value) : Orientation::kTopLeft;
}

bool swapsSides(Orientation orientation) { return static_cast<uint8_t>(orientation) >= 5; }

std::optional<uint32_t> uprightBitmapSize(uint32_t width, uint32_t height, unsigned bitsPerPixel,
                                          Orientation orientation) {
  return swapsSides(orientation) ? engine::bitmapBufferSize(height, width, bitsPerPixel)
                                 : engine::bitmapBufferSize(width, height, bitsPerPixel);
}

void writeUpright(const uint8_t* stored, Orientation orientation, uint8_t* upright) {
  const uint32_t width = engine::loadLe32(stored + engine::field::kWidth);
  const uint32_t height = engine::loadLe32(stored + engine::field::kHeight);
  const unsigned bits = engine::loadLe16(stored + engine::field::kBitsPerPixel);
  const size_t pixel = bits / 8;
  const uint32_t uprightWidth = swapsSides(orientation) ? height : width;
  const uint32_t uprightHeight = swapsSides(orientation) ? width : height;
  engine::writeBitmapHeader(upright, uprightWidth, uprightHeight, bits);
  if (width == 0 || height == 0) return;

  const auto stride = static_cast<ptrdiff_t>(engine::rowStride(width, static_cast<unsigned>(pixel)));
  const auto uprightStride = static_cast<ptrdiff_t>(engine::rowStride(uprightWidth, static_cast<unsigned>(pixel)));
  const Walk walk = walkFor(orientation, width, height, stride, static_cast<ptrdiff_t>(pixel));
  const uint8_t* from = stored + engine::kHeaderSize;
  uint8_t* to = upright + engine::kHeaderSize;
  // Upright row y is bottom-up row uprightHeight - 1 - y.
  platform::copyWalkedPixels(from + walk.start, walk.right, walk.down, to + ptrdiff_t{uprightHeight - 1} * uprightStride,
                             -uprightStride, uprightWidth, uprightHeight, pixel);
  const size_t rowBytes = pixel * uprightWidth;
  if (static_cast<size_t>(uprightStride) == rowBytes) return;
  for (uint32_t y = 0; y < uprightHeight; ++y) {
    std::memset(to + ptrdiff_t{y} * uprightStride + static_cast<ptrdiff_t>(rowBytes), 0,
                static_cast<size_t>(uprightStride) - rowBytes);
  }
}

}  // namespace quarn::codecs
