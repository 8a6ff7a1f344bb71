#include "codecs/picture_size.h"

#include <algorithm>

#include "engine/bitmap_buffer.h"

namespace quarn::codecs {

namespace {

uint64_t maxPlausibleSize(uint64_t fileSize, uint64_t bytesPerFileByte) {
  if (fileSize >= UINT64_MAX / bytesPerFileByte) return UINT64_MAX;
  // Up to the last byte of the file's final share.
  return std::max(kAlwaysPlausibleBitmapSize, (fileSize + 1) * bytesPerFileByte - 1);
}

std::optional<uint32_t> bitmapSizeWithin(uint64_t width, uint64_t height, unsigned bitsPerPixel, uint64_t most) {
  if (width > UINT32_MAX || height > UINT32_MAX) return std::nullopt;
  const std::optional<uint32_t> size =
      engine::bitmapBufferSize(static_cast<uint32_t>(width), static_cast<uint32_t>(height), bitsPerPixel);
  if (!size || *size > most) return std::nullopt;
  return size;
}

}  // namespace

std::optional<uint32_t> plausibleBitmapSize(uint64_t width, uint64_t height, unsigned bitsPerPixel,
                                            uint64_t fileSize) {
  return bitmapSizeWithin(width, height, bitsPerPixel, maxPlausibleDecodedSize(fileSize));
}

std::optional<uint32_t> plausibleCodedBitmapSize(uint64_t width, uint64_t height, unsigned bitsPerPixel,
                                                 uint64_t fileSize) {
  return bitmapSizeWithin(width, height, bitsPerPixel, maxPlausibleSize(fileSize, kMaxCodedBitmapBytesPerFileByte));
}

uint64_t maxPlausibleDecodedSize(uint64_t fileSize) { return maxPlausibleSize(fileSize, kMaxBitmapBytesPerFileByte); }

bool plausibleDecodedSize(uint64_t bytes, uint64_t fileSize) { return bytes <= maxPlausibleDecodedSize(fileSize); }

}  // namespace quarn::codecs
