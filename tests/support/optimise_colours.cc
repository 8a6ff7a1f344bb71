#include "support/optimise_colours.h"

#include <cstddef>

#include "engine/anaglyph.h"
#include "engine/anaglyph_kernels.h"

namespace quarn::testing {

using namespace engine;

namespace {

// Bytes per pixel and row padding as the colour optimisation sees them.
struct OptimiseGeometry {
  size_t p;
  size_t stride;
};

OptimiseGeometry optimiseGeometry(int32_t width, unsigned bitsPerPixel) {
  if (bitsPerPixel == 24) return {3, static_cast<size_t>(rowStride(uint32_t(width), 3))};
  return {4, static_cast<size_t>(width) * 4};
}

}  // namespace

void optimiseColours(uint8_t* buffer, int32_t width, int32_t rows, uint32_t pixelOffset, unsigned bitsPerPixel,
                     OptimisationVariant variant) {
  if (width <= 0 || rows <= 0) return;
  const uint8_t* table = optimisedRedTable(variant);
  const kernels::MoveOptimisedRedFn recompute = kernels::activeKernels().moveOptimisedRed;
  const auto [p, stride] = optimiseGeometry(width, bitsPerPixel);
  for (int32_t r = 0; r < rows; ++r) {
    uint8_t* row = buffer + pixelOffset + static_cast<size_t>(r) * stride;
    recompute(row, row, static_cast<size_t>(width), unsigned(p), table);
  }
}

}  // namespace quarn::testing
