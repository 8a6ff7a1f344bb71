// orientation.h: pictures turned and mirrored to stand upright, as a
// video's display matrix asks players to show them. Works on memory only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/pixels.h"

namespace quarn::platform {

// A quarter turn clockwise, a half turn or a quarter turn anticlockwise,
// then a mirroring top to bottom and one left to right.
struct Orientation {
  int clockwiseQuarters = 0;  // 0 .. 3
  bool flipVertical = false;
  bool flipHorizontal = false;

  bool upright() const { return clockwiseQuarters == 0 && !flipVertical && !flipHorizontal; }
  bool swapsSides() const { return clockwiseQuarters % 2 == 1; }
};

// The size of a width x height picture once oriented.
inline void orientedSize(const Orientation& o, uint32_t width, uint32_t height, uint32_t& outWidth,
                         uint32_t& outHeight) {
  outWidth = o.swapsSides() ? height : width;
  outHeight = o.swapsSides() ? width : height;
}

// Copies a width x height picture whose pixel (x, y) starts at
// from + x * right + y * down into the rows at `to`, a row every `toStride`
// bytes (negative for bottom-up rows), with pixels of `pixelBytes` (3 or 4).
// The steps may go any way, so one copy serves every turn and mirroring.
void copyWalkedPixels(const uint8_t* from, ptrdiff_t right, ptrdiff_t down, uint8_t* to, ptrdiff_t toStride,
                      uint32_t width, uint32_t height, size_t pixelBytes);

// Writes `from` oriented into `to`, which must have the oriented size and
// not overlap `from`. Rows of 3-byte pixels in either order.
void orientPixels(const PixelView& from, const PixelView& to, const Orientation& o);

}  // namespace quarn::platform
