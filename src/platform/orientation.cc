#include "platform/orientation.h"

#include <algorithm>
#include <cstring>

namespace quarn::platform {
namespace {

// Square tiles: turning reads a column of the source for a row of the
// result, and tiles keep those columns in the cache.
constexpr uint32_t kTile = 64;

}  // namespace

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
  const uint8_t* origin = from.rows + ay * from.stride + ax * 3;
  if (stepX == 3) {  // rows stay rows: whole rows at once
    for (int64_t y = 0; y < outH; ++y) {
      std::memcpy(to.rows + to.stride * y, origin + stepY * y, static_cast<size_t>(outW) * 3);
    }
    return;
  }
  for (int64_t ty = 0; ty < outH; ty += kTile) {
    for (int64_t tx = 0; tx < outW; tx += kTile) {
      const int64_t endY = std::min<int64_t>(outH, ty + kTile), endX = std::min<int64_t>(outW, tx + kTile);
      for (int64_t y = ty; y < endY; ++y) {
        uint8_t* out = to.rows + to.stride * y + tx * 3;
        const uint8_t* in = origin + stepY * y + stepX * tx;
        for (int64_t x = tx; x < endX; ++x, out += 3, in += stepX) {
          out[0] = in[0];
          out[1] = in[1];
          out[2] = in[2];
        }
      }
    }
  }
}

}  // namespace quarn::platform
