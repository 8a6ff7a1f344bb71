// upright_model.h: pictures as top-down rows of pixels, and the turns the
// eight values of the Orientation tag ask a viewer for, built from the two
// moves the tag's definition speaks of: a quarter turn and a mirror. The
// model the codecs' upright pictures are held to.
#pragma once

#include <cstdint>
#include <vector>

#include "support/bmp_fixture.h"

namespace quarn::testing {

struct Grid {
  uint32_t width = 0, height = 0;
  std::vector<Pixel> pixels;  // top row first
  Pixel at(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
  bool operator==(const Grid&) const = default;
};

// The pixels of a 24- or 32-bit BitmapBuffer (alpha 0 for 24 bits), and back.
Grid gridOf(const std::vector<uint8_t>& bitmap);
std::vector<uint8_t> bitmapOf(const Grid& grid, unsigned bitsPerPixel);

// A grid whose every pixel differs from every other, so that any pixel in
// a wrong place shows.
Grid numberedGrid(uint32_t width, uint32_t height);

// The grid as a 24-bit bitmap holds it: alpha 0.
Grid opaque(Grid grid);

Grid turnedClockwise(const Grid& grid);
Grid mirroredLeftToRight(const Grid& grid);

// What a viewer shows for a picture stored as `stored` with the tag value
// `orientation` (1 to 8).
Grid shownUpright(const Grid& stored, int orientation);

}  // namespace quarn::testing
