#include "support/bitmap_rows.h"

#include <algorithm>
#include <utility>

#include "engine/bitmap_buffer.h"

namespace quarn::testing {
namespace {

// Swapping rows pairwise needs no copy of the whole pixel area; the result
// is the same as going through one.
void reverseRows(uint8_t* buffer, size_t totalSize, size_t stride, uint32_t height) {
  if (totalSize < engine::kHeaderSize || stride == 0) return;
  const size_t rows = std::min<size_t>(height, (totalSize - engine::kHeaderSize) / stride);
  uint8_t* pixels = buffer + engine::kHeaderSize;
  for (size_t top = 0, bottom = rows; top + 1 < bottom; ++top) {
    --bottom;
    std::swap_ranges(pixels + top * stride, pixels + (top + 1) * stride, pixels + bottom * stride);
  }
}

void swapRedBlue(uint8_t* buffer, size_t pixelBytes, uint32_t pad, uint32_t width, uint32_t height) {
  uint8_t* row = buffer + engine::kHeaderSize;
  const size_t stride = pixelBytes * width + pad;
  for (uint32_t y = 0; y < height; ++y, row += stride) {
    for (uint8_t* p = row; p != row + pixelBytes * width; p += pixelBytes) std::swap(p[0], p[2]);
  }
}

}  // namespace

void ReverseRows24(uint8_t* buffer, size_t totalSize, uint32_t pad, uint32_t width, uint32_t height) {
  reverseRows(buffer, totalSize, size_t{3} * width + pad, height);
}

void SwapRedBlue24(uint8_t* buffer, uint32_t pad, uint32_t width, uint32_t height) {
  swapRedBlue(buffer, 3, pad, width, height);
}

void ReverseRows32(uint8_t* buffer, size_t totalSize, uint32_t width, uint32_t height) {
  reverseRows(buffer, totalSize, size_t{4} * width, height);
}

void SwapRedBlue32(uint8_t* buffer, uint32_t width, uint32_t height) { swapRedBlue(buffer, 4, 0, width, height); }

}  // namespace quarn::testing
