#include "codecs/picture_size.h"

#include <algorithm>

#include "engine/bitmap_buffer.h"

namespace quarn::codecs {

std::optional<uint32_t> plausibleBitmapSize(uint64_t width, uint64_t height, unsigned bitsPerPixel,
                                            uint64_t fileSize) {
  if (width > UINT32_MAX || height > UINT32_MAX) return std::nullopt;
  const std::optional<uint32_t> size =
      engine::bitmapBufferSize(static_cast<uint32_t>(width), static_cast<uint32_t>(height), bitsPerPixel);
  if (!size) return std::nullopt;
  if (!plausibleDecodedSize(*size, fileSize)) return std::nullopt;
  return size;
}

uint64_t maxPlausibleDecodedSize(uint64_t fileSize) {
  if (fileSize >= UINT64_MAX / kMaxBitmapBytesPerFileByte) return UINT64_MAX;
  // Up to the last byte of the file's final 4096.
  return std::max(kAlwaysPlausibleBitmapSize, (fileSize + 1) * kMaxBitmapBytesPerFileByte - 1);
}

bool plausibleDecodedSize(uint64_t bytes, uint64_t fileSize) { return bytes <= maxPlausibleDecodedSize(fileSize); }

}  // namespace quarn::codecs
