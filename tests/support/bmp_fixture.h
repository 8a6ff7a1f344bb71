// bmp_fixture.h: BMP files and BitmapBuffers built in code for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace quarn::testing {

struct Pixel {
  uint8_t b, g, r, a;
  bool operator==(const Pixel&) const = default;
};

// A bottom-up BitmapBuffer of 24 or 32 bits per pixel, rows padded with
// zeros; pixel(x, row) gives the pixel of memory row `row`.
std::vector<uint8_t> makeBitmap(int32_t width, int32_t height, unsigned bitsPerPixel,
                                const std::function<Pixel(int32_t x, int32_t row)>& pixel);

// A picture whose every byte differs from its neighbours, for comparing.
std::vector<uint8_t> makePatternBitmap(int32_t width, int32_t height, unsigned bitsPerPixel, uint32_t seed = 1);

// A 16-bit BMP file of patterned pixels: 5-5-5 (compression 0, pixel
// offset 54), or 5-6-5 with its three masks (compression 3, offset 66).
std::vector<uint8_t> makeSixteenBitBitmap(int32_t width, int32_t height, bool masks);

}  // namespace quarn::testing
