// fuzz_input.h: what the conversion fuzz targets and the replay of their
// findings share: the settings carried in an input's first bytes, and the
// facts every BMP result must show. Header-only, so the fuzz targets need
// none of the test support library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/bitmap_buffer.h"
#include "engine/conversion_settings.h"

namespace quarn::testing {

// The first two bytes of a conversion target's input: flags, then depth.
inline constexpr size_t kSettingsBytes = 2;

inline engine::ConversionSettings settingsFromBytes(const uint8_t* bytes) {
  engine::ConversionSettings s;
  const uint8_t flags = bytes[0];
  s.autoDepth = (flags & 1) != 0;
  s.negativeDepth = (flags & 2) != 0;
  s.plus3D = (flags & 4) != 0;
  s.colourOptimisation = (flags & 8) != 0;
  s.variant = static_cast<engine::OptimisationVariant>((flags >> 4) % 3);
  s.depth = s.autoDepth ? 0 : bytes[1];
  return s;
}

// What is wrong with a BMP result of `size` bytes that standard tools
// would refuse or misread; "" when nothing is.
inline std::string bmpResultFault(const uint8_t* b, size_t size) {
  using namespace engine;
  if (size < kHeaderSize || b[0] != 'B' || b[1] != 'M') return "no BMP header";
  const uint32_t offset = loadLe32(b + field::kPixelOffset);
  if (offset != kHeaderSize && offset != kHeaderWithMasksSize) return "pixel offset " + std::to_string(offset);
  if (size < offset) return "shorter than its header";
  if (loadLe32(b + field::kInfoSize) != kInfoHeaderSize) return "info header size not 40";
  if (loadLe16(b + field::kPlanes) != 1) return "planes not 1";
  const uint16_t bits = loadLe16(b + field::kBitsPerPixel);
  if (bits != 24 && bits != 32) return "bits per pixel " + std::to_string(bits);
  const uint32_t compression = loadLe32(b + field::kCompression);
  if (compression != kCompressionNone && compression != kCompressionBitFields) return "compression";
  const int32_t width = loadLe32Signed(b + field::kWidth), height = loadLe32Signed(b + field::kHeight);
  if (width < 1 || height < 1) return "no columns or no rows";
  const uint64_t image = rowStride(uint32_t(width), bits / 8) * uint64_t(height);
  if (loadLe32(b + field::kImageSize) != image) return "image size field";
  if (loadLe32(b + field::kFileSize) != offset + image) return "file size field";
  if (size != offset + image) return "file of " + std::to_string(size) + " bytes, header says " +
                                     std::to_string(offset + image);
  return "";
}

}  // namespace quarn::testing
