#include "engine/bitmap_check.h"

#include <utility>

namespace quarn::engine {

ConversionResult checkBitmapHeader(BitmapBuffer& buffer, ConversionState& state, int32_t minimumHeight) {
  const size_t size = buffer.size();
  const uint8_t* b = buffer.data();
  if (size < 2 || b[0] != 'B' || b[1] != 'M') return kNotBmp;
  if (size < kHeaderSize) return kNotBmp;
  const uint32_t pixelOffset = b[field::kPixelOffset];
  if (pixelOffset - 14 != 40 && pixelOffset - 14 != 52) return kUnsupportedHeader;
  const uint8_t bitsPerPixel = b[field::kBitsPerPixel];
  if (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return kUnsupportedBitDepth;
  const uint8_t compression = b[field::kCompression];
  if (compression != kCompressionNone && compression != kCompressionBitFields) return kCompressed;

  ConversionState s;
  s.pixelOffset = pixelOffset;
  if (pixelOffset == kHeaderWithMasksSize) {
    if (size < kHeaderWithMasksSize) return kNotBmp;
    s.redMask = loadLe32(b + field::kRedMask);
    s.greenMask = loadLe32(b + field::kGreenMask);
    s.blueMask = loadLe32(b + field::kBlueMask);
  }
  s.width = loadLe32Signed(b + field::kWidth);
  s.sourceHeight = loadLe32Signed(b + field::kHeight);
  if (s.width < 2 || s.sourceHeight < minimumHeight) return kTooSmall;
  const uint64_t stride = rowStride(uint32_t(s.width), bitsPerPixel / 8);
  if ((size - pixelOffset) / stride < static_cast<uint64_t>(s.sourceHeight)) return kNotBmp;

  if (bitsPerPixel == 16) {
    BitmapBuffer expanded;
    if (!expandTo24Bit(b, s, compression, expanded)) return kOutOfMemory;
    buffer = std::move(expanded);
  }
  s.bytesPerPixel = bitsPerPixel == 32 ? 4 : 3;
  state = s;
  return kConverted;
}

void writeResultHeader(uint8_t* header, const ConversionState& s) {
  const uint64_t imageSize = outputStride(s) * static_cast<uint64_t>(s.height);
  storeLe32(header + field::kFileSize, static_cast<uint32_t>(s.pixelOffset + imageSize));  // bfSize
  storeLe32(header + field::kPixelOffset, s.pixelOffset);                                   // bfOffBits
  storeLe32(header + field::kInfoSize, kInfoHeaderSize);                                    // biSize
  storeLe32(header + field::kWidth, uint32_t(s.outputWidth));                               // biWidth
  storeLe32(header + field::kHeight, uint32_t(s.height));                                   // biHeight
  storeLe16(header + field::kPlanes, 1);                                                    // biPlanes
  storeLe16(header + field::kBitsPerPixel, static_cast<uint16_t>(8 * s.bytesPerPixel));     // biBitCount
  storeLe32(header + field::kCompression, header[field::kCompression]);                     // biCompression
  storeLe32(header + field::kImageSize, static_cast<uint32_t>(imageSize));                  // biSizeImage
}

}  // namespace quarn::engine
