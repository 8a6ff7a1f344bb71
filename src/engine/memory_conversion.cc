#include "engine/memory_conversion.h"

#include <cstring>

#include "engine/anaglyph.h"
#include "engine/bitmap_check.h"

namespace quarn::engine {
namespace {

// Rows are output in fours: two or three rows would give a result without
// any, which is no picture.
constexpr int32_t kMinimumRows = 4;

}  // namespace

ConversionResult convertBitmapBuffer(BitmapBuffer& source, uint8_t* destination, size_t destinationSize,
                                     const ConversionSettings& settings) {
  ConversionState s;
  if (const ConversionResult checked = checkBitmapHeader(source, s, kMinimumRows); checked != kConverted) {
    return checked;
  }
  planConversion(s, settings);
  if (outputSize(s) > destinationSize) return kOutOfMemory;

  convertRows(source.data(), s, settings);
  writeResultHeader(source.data(), s);
  std::memcpy(destination, source.data(), s.pixelOffset);
  copyOutputRows(source.data(), destination + s.pixelOffset, s, settings.negativeDepth);
  return kConverted;
}

ConversionResult convertFrame(platform::PixelView& frame, const ConversionSettings& settings) {
  if (frame.width < 2 || frame.height < kMinimumRows || frame.width > INT32_MAX || frame.height > INT32_MAX) {
    return kTooSmall;
  }
  ConversionState s;
  s.width = static_cast<int32_t>(frame.width);
  s.sourceHeight = static_cast<int32_t>(frame.height);
  s.bytesPerPixel = 3;
  planConversion(s, settings);
  // The transform counts rows from the picture's bottom.
  const platform::PixelView up = frame.bottomFirst();
  convertRows(Rows{up.rows, up.stride}, s, settings);
  const ptrdiff_t first = settings.negativeDepth ? ptrdiff_t{s.effectiveDepth} * 3 : 0;
  frame = {up.rows + first, up.stride, static_cast<uint32_t>(s.outputWidth), static_cast<uint32_t>(s.height), true};
  return kConverted;
}

}  // namespace quarn::engine
