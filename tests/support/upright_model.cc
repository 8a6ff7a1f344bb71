#include "support/upright_model.h"

#include <stdexcept>

#include "engine/bitmap_buffer.h"

namespace quarn::testing {

Grid gridOf(const std::vector<uint8_t>& bitmap) {
  Grid g;
  g.width = engine::loadLe32(bitmap.data() + engine::field::kWidth);
  g.height = engine::loadLe32(bitmap.data() + engine::field::kHeight);
  const unsigned bytes = engine::loadLe16(bitmap.data() + engine::field::kBitsPerPixel) / 8;
  const size_t stride = engine::rowStride(g.width, bytes);
  if (bitmap.size() < engine::kHeaderSize + stride * g.height) throw std::invalid_argument("bitmap cut short");
  for (uint32_t y = 0; y < g.height; ++y) {
    const uint8_t* row = bitmap.data() + engine::kHeaderSize + stride * (g.height - 1 - y);
    for (uint32_t x = 0; x < g.width; ++x) {
      const uint8_t* p = row + size_t{bytes} * x;
      g.pixels.push_back({p[0], p[1], p[2], bytes == 4 ? p[3] : uint8_t{0}});
    }
  }
  return g;
}

std::vector<uint8_t> bitmapOf(const Grid& grid, unsigned bitsPerPixel) {
  return makeBitmap(int32_t(grid.width), int32_t(grid.height), bitsPerPixel,
                    [&](int32_t x, int32_t row) { return grid.at(uint32_t(x), grid.height - 1 - uint32_t(row)); });
}

Grid numberedGrid(uint32_t width, uint32_t height) {
  Grid g{width, height, {}};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      g.pixels.push_back({uint8_t(x), uint8_t(y), uint8_t(x * 7 + y * 13), uint8_t(200 + (x + y) % 50)});
    }
  }
  return g;
}

Grid opaque(Grid grid) {
  for (Pixel& p : grid.pixels) p.a = 0;
  return grid;
}

Grid turnedClockwise(const Grid& grid) {
  // The left column, read bottom to top, becomes the top row.
  Grid t{grid.height, grid.width, {}};
  for (uint32_t y = 0; y < t.height; ++y) {
    for (uint32_t x = 0; x < t.width; ++x) t.pixels.push_back(grid.at(y, grid.height - 1 - x));
  }
  return t;
}

Grid mirroredLeftToRight(const Grid& grid) {
  Grid m{grid.width, grid.height, {}};
  for (uint32_t y = 0; y < m.height; ++y) {
    for (uint32_t x = 0; x < m.width; ++x) m.pixels.push_back(grid.at(grid.width - 1 - x, y));
  }
  return m;
}

Grid shownUpright(const Grid& stored, int orientation) {
  const auto turns = [](Grid g, int quarters) {
    for (int i = 0; i < quarters; ++i) g = turnedClockwise(g);
    return g;
  };
  switch (orientation) {
    case 2: return mirroredLeftToRight(stored);
    case 3: return turns(stored, 2);
    case 4: return mirroredLeftToRight(turns(stored, 2));  // mirrored top to bottom
    case 5: return mirroredLeftToRight(turns(stored, 1));  // the main diagonal
    case 6: return turns(stored, 1);
    case 7: return mirroredLeftToRight(turns(stored, 3));  // the other diagonal
    case 8: return turns(stored, 3);
    default: return stored;
  }
}

}  // namespace quarn::testing
