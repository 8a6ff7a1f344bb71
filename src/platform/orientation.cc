#include "platform/orientation.h"

#include <algorithm>
#include <cstring>

namespace quarn::platform {
namespace {

// Square tiles: turning reads a column of the source for a row of the
// result, and tiles keep those columns in the cache.
constexpr uint32_t kTile = 64;

template <size_t kPixel>
void copyTiles(const uint8_t* from, ptrdiff_t right, ptrdiff_t down, uint8_t* to, ptrdiff_t toStride, uint32_t width,
               uint32_t height) {
  for (uint32_t ty = 0; ty < height; ty += kTile) {
    for (uint32_t tx = 0; tx < width; tx += kTile) {
      const uint32_t endY = std::min(height, ty + kTile), endX = std::min(width, tx + kTile);
      for (uint32_t y = ty; y < endY; ++y) {
        uint8_t* out = to + toStride * ptrdiff_t{y} + ptrdiff_t{tx} * ptrdiff_t{kPixel};
        const uint8_t* in = from + down * ptrdiff_t{y} + right * ptrdiff_t{tx};
        for (uint32_t x = tx; x < endX; ++x, out += kPixel, in += right) std::memcpy(out, in, kPixel);
      }
    }
  }
}

}  // namespace

void copyWalkedPixels(const uint8_t* from, ptrdiff_t right, ptrdiff_t down, uint8_t* to, ptrdiff_t toStride,
                      uint32_t width, uint32_t height, size_t pixelBytes) {
  if (right == static_cast<ptrdiff_t>(pixelBytes)) {  // rows stay rows: whole rows at once
    for (uint32_t y = 0; y < height; ++y) {
      std::memcpy(to + toStride * ptrdiff_t{y}, from + down * ptrdiff_t{y}, size_t{width} * pixelBytes);
    }
  } else if (pixelBytes == 4) {
    copyTiles<4>(from, right, down, to, toStride, width, height);
  } else {
    copyTiles<3>(from, right, down, to, toStride, width, height);
  }
}

void orientPixels(const PixelView& fromAny, const PixelView& toAny, const Orientation& o) {
  const PixelView from = fromAny.topDown(), to = toAny.topDown();
  const int64_t w = from.width, h = from.height;
  if (w == 0 || h == 0) return;
  // The source pixel of result pixel (x, y): (ax + bxx x + bxy y, ay + byx x + byy y).
  int64_t ax = 0, bxx = 1, bxy = 0, ay = 0, byx = 0, byy = 1;
  switch (o.clockwiseQuarters & 3) {
    case 1:  // result (x, y) shows source (y, h - 1 - x)
      ax = 0, bxx = 0, bxy = 1, ay = h - 1, byx = -1, byy = 0;
      break;
    case 2:
      ax = w - 1, bxx = -1, bxy = 0, ay = h - 1, byx = 0, byy = -1;
      break;
    case 3:  // result (x, y) shows source (w - 1 - y, x)
      ax = w - 1, bxx = 0, bxy = -1, ay = 0, byx = 1, byy = 0;
      break;
    default:
      break;
  }
  const int64_t outW = to.width, outH = to.height;
  if (o.flipVertical) {
    ax += bxy * (outH - 1), bxy = -bxy;
    ay += byy * (outH - 1), byy = -byy;
  }
  if (o.flipHorizontal) {
    ax += bxx * (outW - 1), bxx = -bxx;
    ay += byx * (outW - 1), byx = -byx;
  }
  // Source steps in bytes for a step right and a step down in the result.
  const ptrdiff_t stepX = bxx * 3 + byx * from.stride, stepY = bxy * 3 + byy * from.stride;
  copyWalkedPixels(from.rows + ay * from.stride + ax * 3, stepX, stepY, to.rows, to.stride,
                   static_cast<uint32_t>(outW), static_cast<uint32_t>(outH), 3);
}

}  // namespace quarn::platform
