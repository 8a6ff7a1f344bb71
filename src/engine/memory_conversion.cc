#include "engine/memory_conversion.h"

#include <cstring>

#include "engine/anaglyph.h"
#include "engine/auto_depth.h"
#include "engine/bitmap_check.h"

namespace quarn::engine {
namespace {

int32_t roundedDepth(int32_t d, int32_t width) {
  if (width < 4) return 0;
  if (width == 4 || d == 0) return d;
  if (d < 4) return 4;
  return d & ~3;
}

}  // namespace

ConversionResult convertBitmapBuffer(BitmapBuffer& source, uint8_t* destination, size_t destinationSize,
                                     const ConversionSettings& settings) {
  ConversionState s;
  if (const ConversionResult checked = checkBitmapHeader(source, s); checked != kConverted) return checked;

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
  if (outputSize(s) > destinationSize) return kOutOfMemory;

  convertRows(source.data(), s, settings);

  uint8_t* header = source.data();
  const uint64_t imageSize = outputStride(s) * static_cast<uint64_t>(s.height);
  storeLe32(header + field::kWidth, uint32_t(s.outputWidth));
  storeLe32(header + field::kHeight, uint32_t(s.height));
  storeLe32(header + field::kImageSize, static_cast<uint32_t>(imageSize));
  storeLe32(header + field::kFileSize, static_cast<uint32_t>(s.pixelOffset + imageSize));

  std::memcpy(destination, header, s.pixelOffset);
  copyOutputRows(source.data(), destination + s.pixelOffset, s, settings.negativeDepth);
  return kConverted;
}

}  // namespace quarn::engine
