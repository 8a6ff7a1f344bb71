// optimise_colours.h: the colour optimisation on its own, over every row of
// a picture, with the fast kernels; the conversions run it fused with the
// shift, and tests and benchmarks compare the two.
#pragma once

#include <cstdint>

#include "engine/conversion_settings.h"

namespace quarn::testing {

// Replaces red by optimisedRed in `rows` rows of `width` pixels from
// `pixelOffset`. 24-bit rows are padded; any other value of bitsPerPixel is
// taken as 4 bytes per pixel.
void optimiseColours(uint8_t* buffer, int32_t width, int32_t rows, uint32_t pixelOffset, unsigned bitsPerPixel,
                     engine::OptimisationVariant variant);

}  // namespace quarn::testing
