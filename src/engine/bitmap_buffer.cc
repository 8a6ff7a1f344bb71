#include "engine/bitmap_buffer.h"

#include <new>
#include <stdexcept>

namespace quarn::engine {

std::optional<uint32_t> bitmapBufferSize(uint32_t width, uint32_t height, unsigned bitsPerPixel) {
  const uint64_t stride = rowStride(width, bitsPerPixel / 8);
  // stride < 2^35 and height < 2^32: the product could pass 2^64 only when
  // both are huge, and then it is far past 2^32 anyway.
  if (height != 0 && stride > (uint64_t{UINT32_MAX} - kHeaderSize) / height) return std::nullopt;
  return static_cast<uint32_t>(kHeaderSize + stride * height);
}

void writeBitmapHeader(uint8_t* header, uint32_t width, uint32_t height, unsigned bitsPerPixel) {
  const uint32_t imageSize = static_cast<uint32_t>(rowStride(width, bitsPerPixel / 8) * height);
  std::memset(header, 0, kHeaderSize);
  header[field::kSignature] = 'B';                                       // bfType
  header[field::kSignature + 1] = 'M';
  storeLe32(header + field::kFileSize, imageSize + kHeaderSize);         // bfSize
  storeLe32(header + field::kPixelOffset, kHeaderSize);                  // bfOffBits
  storeLe32(header + field::kInfoSize, kInfoHeaderSize);                 // biSize
  storeLe32(header + field::kWidth, width);                              // biWidth
  storeLe32(header + field::kHeight, height);                            // biHeight
  storeLe16(header + field::kPlanes, 1);                                 // biPlanes
  storeLe16(header + field::kBitsPerPixel, static_cast<uint16_t>(bitsPerPixel));  // biBitCount
  storeLe32(header + field::kCompression, kCompressionNone);             // biCompression
  storeLe32(header + field::kImageSize, imageSize);                      // biSizeImage
}

bool tryResize(BitmapBuffer& buffer, size_t size) {
  try {
    buffer.resize(size);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

}  // namespace quarn::engine
