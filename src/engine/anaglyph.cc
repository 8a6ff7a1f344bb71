#include "engine/anaglyph.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/anaglyph_kernels.h"
#include "engine/auto_depth.h"

namespace quarn::engine {

void unpack555(uint8_t low, uint8_t high, uint8_t bgr[3]) {
  const unsigned w = low + 256u * high;
  bgr[0] = static_cast<uint8_t>((w & 31) * 8);
  bgr[1] = static_cast<uint8_t>(((w >> 5) & 31) * 8);
  bgr[2] = static_cast<uint8_t>(((w >> 10) & 31) * 8);
}

void unpack565(uint8_t low, uint8_t high, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
               uint8_t bgr[3]) {
  const uint32_t w = low + 256u * high;
  if (redMask == 0 && greenMask == 0 && blueMask == 0) {
    bgr[0] = static_cast<uint8_t>((w & 31) * 8);
    bgr[1] = static_cast<uint8_t>(((w >> 5) & 63) * 4);
    bgr[2] = static_cast<uint8_t>(((w >> 11) & 31) * 8);
    return;
  }
  bgr[0] = static_cast<uint8_t>((w & blueMask & 31) * 8);
  bgr[1] = static_cast<uint8_t>(((w >> 5) & (greenMask >> 5) & 63) * 4);
  bgr[2] = static_cast<uint8_t>(((w >> 11) & (redMask >> 11) & 31) * 8);
}

bool expandTo24Bit(const uint8_t* source, const ConversionState& state, uint8_t compression,
                   BitmapBuffer& expanded) {
  const size_t width = static_cast<size_t>(state.width);
  const size_t rows = static_cast<size_t>(state.sourceHeight);
  const size_t stride16 = rowStride(width, 2);
  const size_t stride24 = rowStride(width, 3);
  const size_t size = state.pixelOffset + rows * stride24;
  if (!tryResize(expanded, size)) return false;
  uint8_t* out = expanded.data();
  std::memcpy(out, source, state.pixelOffset);

  const bool bitFields = compression == kCompressionBitFields;
  for (size_t r = 0; r < rows; ++r) {
    const uint8_t* in = source + state.pixelOffset + r * stride16;
    uint8_t* row = out + state.pixelOffset + r * stride24;
    for (size_t x = 0; x < width; ++x) {
      if (bitFields) {
        unpack565(in[2 * x], in[2 * x + 1], state.redMask, state.greenMask, state.blueMask, row + 3 * x);
      } else {
        unpack555(in[2 * x], in[2 * x + 1], row + 3 * x);
      }
    }
    std::memset(row + 3 * width, 0, stride24 - 3 * width);
  }
  out[field::kBitsPerPixel] = 24;
  out[field::kBitsPerPixel + 1] = 0;
  storeLe32(out + field::kCompression, kCompressionNone);
  storeLe32(out + field::kFileSize, static_cast<uint32_t>(size));
  storeLe32(out + field::kImageSize, static_cast<uint32_t>(rows * stride24));
  return true;
}

int optimisedRed(OptimisationVariant variant, int /*red*/, int green, int blue) {
  int result = 0;
  switch (variant) {
    case OptimisationVariant::kPlain: {
      const float sum = static_cast<float>(0.7 * green + 0.3 * blue);
      const float scaled = static_cast<float>(sum / 255.0);
      const float power = static_cast<float>(std::pow(double{scaled}, double{0.6666666865348816f}));
      const float value = static_cast<float>(power * 255.0);
      const float whole = std::floor(value);
      result = static_cast<int>(whole) + ((value - whole) > 0.49 ? 1 : 0);
      break;
    }
    case OptimisationVariant::kSse2: {
      const double sum = 0.3 * blue + 0.7 * green;
      const double scaled = sum * 0.00392156862745098;
      const double value = std::pow(scaled, 0.6666666666666666) * 255.0;
      result = static_cast<int>(std::nearbyint(value));
      break;
    }
    case OptimisationVariant::kMmx3DNow: {
      const float g = 0.699999988079071f * static_cast<float>(green);
      const float b = 0.30000001192092896f * static_cast<float>(blue);
      const float sum = g + b;
      const float scaled = sum * 0.003921568859368563f;
      const float power = static_cast<float>(std::pow(double{scaled}, double{0.6666666865348816f}));
      const float value = power * 255.0f;
      result = static_cast<int>(value);
      break;
    }
  }
  return result > 255 ? 255 : result;
}

const uint8_t* optimisedRedTable(OptimisationVariant variant) {
  static uint8_t tables[3][65536];
  static std::once_flag built[3];
  const int index = static_cast<int>(variant);
  std::call_once(built[index], [&] {
    for (int g = 0; g < 256; ++g) {
      for (int b = 0; b < 256; ++b) tables[index][g * 256 + b] = static_cast<uint8_t>(optimisedRed(variant, 0, g, b));
    }
  });
  return tables[index];
}

namespace {

// Calls move(target, from, pixels) for every output row of the shift.
template <typename Move>
void forEachShiftedRow(Rows rows, const ConversionState& s, bool negativeDepth, Move move) {
  const ptrdiff_t stride = rows.stride;
  const size_t p = s.bytesPerPixel, d = static_cast<size_t>(s.effectiveDepth);
  if (!negativeDepth) {
    // Forward: the source pixel never lies before its target (in picture
    // rows), so every red byte is read before it is overwritten.
    for (int32_t r = 0; r < s.height; ++r) {
      uint8_t* target = rows.first + r * stride;
      const uint8_t* from = rows.first + (r + s.verticalOffset) * stride + d * p;
      move(target, from, static_cast<size_t>(s.outputWidth));
    }
  } else {
    // Backward, within each row: the source lies to the left of its target.
    for (int32_t r = s.height; r-- > 0;) {
      uint8_t* row = rows.first + r * stride;
      move(row + d * p, row, static_cast<size_t>(s.width) - d);
    }
  }
}

int32_t roundedDepth(int32_t d, int32_t width) {
  if (width < 4) return 0;
  if (width == 4 || d == 0) return d;
  if (d < 4) return 4;
  return d & ~3;
}

void shiftRows(Rows rows, const ConversionState& s, bool negativeDepth) {
  const kernels::MoveRedFn moveRed = kernels::activeKernels().moveRed;
  forEachShiftedRow(rows, s, negativeDepth, [&](uint8_t* target, const uint8_t* from, size_t pixels) {
    moveRed(target, from, pixels, s.bytesPerPixel);
  });
}

void shiftOptimisedRows(Rows rows, const ConversionState& s, bool negativeDepth, OptimisationVariant variant) {
  const uint8_t* table = optimisedRedTable(variant);
  const kernels::MoveOptimisedRedFn recompute = kernels::activeKernels().moveOptimisedRed;
  forEachShiftedRow(rows, s, negativeDepth, [&](uint8_t* target, const uint8_t* from, size_t pixels) {
    recompute(target, from, pixels, s.bytesPerPixel, table);
  });
}

}  // namespace

void planConversion(ConversionState& s, const ConversionSettings& settings) {
  int32_t d = settings.autoDepth ? autoDepthForImage(s.width) : settings.depth;
  if (d >= s.width) d = s.width - 1;
  if (!settings.autoDepth) d = roundedDepth(d, s.width);
  s.effectiveDepth = d;
  s.outputWidth = s.width - d;

  s.height = s.sourceHeight & ~3;
  s.verticalOffset = 0;
  if (settings.plus3D && s.height >= 6) {
    s.height = (s.height - 1) & ~3;
    if (!settings.negativeDepth) s.verticalOffset = s.sourceHeight - s.height;
  }
}

void shiftRedView(uint8_t* buffer, const ConversionState& s, bool negativeDepth) {
  shiftRows(bitmapRows(buffer, s), s, negativeDepth);
}

void shiftOptimisedRedView(uint8_t* buffer, const ConversionState& s, bool negativeDepth,
                           OptimisationVariant variant) {
  shiftOptimisedRows(bitmapRows(buffer, s), s, negativeDepth, variant);
}

void convertRows(uint8_t* buffer, const ConversionState& s, const ConversionSettings& settings) {
  convertRows(bitmapRows(buffer, s), s, settings);
}

void convertRows(Rows rows, const ConversionState& s, const ConversionSettings& settings) {
  if (settings.colourOptimisation) {
    shiftOptimisedRows(rows, s, settings.negativeDepth, settings.variant);
  } else {
    shiftRows(rows, s, settings.negativeDepth);
  }
}

void copyOutputRows(const uint8_t* buffer, uint8_t* out, const ConversionState& s, bool negativeDepth) {
  const size_t stride = static_cast<size_t>(sourceStride(s));
  const size_t outStride = static_cast<size_t>(outputStride(s));
  const size_t bytes = static_cast<size_t>(s.outputWidth) * s.bytesPerPixel;
  const size_t first = negativeDepth ? static_cast<size_t>(s.effectiveDepth) * s.bytesPerPixel : 0;
  const uint8_t* rows = buffer + s.pixelOffset;
  for (int32_t r = 0; r < s.height; ++r) {
    uint8_t* target = out + static_cast<size_t>(r) * outStride;
    // memmove: in place, a row moves to an address at or below its own.
    std::memmove(target, rows + static_cast<size_t>(r) * stride + first, bytes);
    std::memset(target + bytes, 0, outStride - bytes);
  }
}

namespace reference {

void optimiseColours(uint8_t* buffer, int32_t width, int32_t rows, uint32_t pixelOffset,
                     unsigned bitsPerPixel, OptimisationVariant variant) {
  if (width <= 0 || rows <= 0) return;
  size_t pad = 0;
  if (bitsPerPixel == 24) {
    size_t bytes = static_cast<size_t>(width) * 3;
    while (bytes % 4 != 0) {
      ++bytes;
      ++pad;
    }
  }
  const size_t p = bitsPerPixel == 24 ? 3 : 4;
  uint8_t* px = buffer + pixelOffset;
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t x = 0; x < width; ++x, px += p) {
      px[2] = static_cast<uint8_t>(optimisedRed(variant, px[2], px[1], px[0]));
    }
    px += pad;
  }
}

void shiftRedView(uint8_t* buffer, const ConversionState& s, bool negativeDepth) {
  const size_t stride = static_cast<size_t>(sourceStride(s));
  const size_t p = s.bytesPerPixel;
  const int32_t d = s.effectiveDepth;
  auto red = [&](int32_t x, int32_t r) -> uint8_t& {
    return buffer[s.pixelOffset + static_cast<size_t>(r) * stride + static_cast<size_t>(x) * p + 2];
  };
  if (!negativeDepth) {
    for (int32_t r = 0; r < s.height; ++r) {
      for (int32_t x = 0; x < s.outputWidth; ++x) red(x, r) = red(x + d, r + s.verticalOffset);
    }
  } else {
    for (int32_t r = s.height - 1; r >= 0; --r) {
      for (int32_t x = s.width - 1; x >= d; --x) red(x, r) = red(x - d, r);
    }
  }
}

}  // namespace reference

}  // namespace quarn::engine
