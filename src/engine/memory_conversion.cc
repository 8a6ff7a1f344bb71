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
  // Rows are output in fours: two or three rows would give a result without
  // any, which is no picture.
  constexpr int32_t kMinimumRows = 4;
  if (const ConversionResult checked = checkBitmapHeader(source, s, kMinimumRows); checked != kConverted) {
    return checked;
  }

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
  writeResultHeader(source.data(), s);
  std::memcpy(destination, source.data(), s.pixelOffset);
  copyOutputRows(source.data(), destination + s.pixelOffset, s, settings.negativeDepth);
  return kConverted;
}

}  // namespace quarn::engine
