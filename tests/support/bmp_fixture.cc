#include "support/bmp_fixture.h"

#include "engine/bitmap_buffer.h"

namespace quarn::testing {

std::vector<uint8_t> makeBitmap(int32_t width, int32_t height, unsigned bitsPerPixel,
                                const std::function<Pixel(int32_t, int32_t)>& pixel) {
  const unsigned p = bitsPerPixel / 8;
  const size_t stride = engine::rowStride(uint32_t(width), p);
  std::vector<uint8_t> b(engine::kHeaderSize + stride * size_t(height));
  engine::writeBitmapHeader(b.data(), uint32_t(width), uint32_t(height), bitsPerPixel);
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t x = 0; x < width; ++x) {
      const Pixel px = pixel(x, row);
      uint8_t* at = b.data() + engine::kHeaderSize + size_t(row) * stride + size_t(x) * p;
      at[0] = px.b;
      at[1] = px.g;
      at[2] = px.r;
      if (p == 4) at[3] = px.a;
    }
  }
  return b;
}

std::vector<uint8_t> makePatternBitmap(int32_t width, int32_t height, unsigned bitsPerPixel, uint32_t seed) {
  uint32_t state = seed * 2654435761u + 1;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state >> 24);
  };
  return makeBitmap(width, height, bitsPerPixel, [&](int32_t, int32_t) {
    return Pixel{next(), next(), next(), next()};
  });
}

std::vector<uint8_t> makeSixteenBitBitmap(int32_t width, int32_t height, bool masks) {
  using namespace engine;
  const size_t offset = masks ? kHeaderWithMasksSize : kHeaderSize;
  const size_t stride = rowStride(uint32_t(width), 2);
  std::vector<uint8_t> b(offset + stride * size_t(height));
  writeBitmapHeader(b.data(), uint32_t(width), uint32_t(height), 16);
  storeLe32(b.data() + field::kPixelOffset, uint32_t(offset));                 // bfOffBits
  storeLe32(b.data() + field::kFileSize, uint32_t(b.size()));                  // bfSize
  if (masks) {
    storeLe32(b.data() + field::kCompression, kCompressionBitFields);         // biCompression
    storeLe32(b.data() + field::kRedMask, 0xf800);
    storeLe32(b.data() + field::kGreenMask, 0x07e0);
    storeLe32(b.data() + field::kBlueMask, 0x001f);
  }
  for (size_t i = offset; i < b.size(); ++i) b[i] = uint8_t(i * 37 + 11);
  return b;
}

}  // namespace quarn::testing
