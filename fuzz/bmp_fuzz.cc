// Arbitrary bytes as a BitmapBuffer through the in-memory conversion, with
// the options taken from the last byte.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/memory_conversion.h"

namespace {

quarn::engine::ConversionSettings settingsFromByte(uint8_t b) {
  quarn::engine::ConversionSettings s;
  s.autoDepth = (b & 1) != 0;
  s.negativeDepth = (b & 2) != 0;
  s.plus3D = (b & 4) != 0;
  s.colourOptimisation = (b & 8) != 0;
  s.variant = static_cast<quarn::engine::OptimisationVariant>((b >> 4) % 3);
  s.depth = (b >> 6) * 7;
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const quarn::engine::ConversionSettings settings = settingsFromByte(data[size - 1]);
  std::vector<uint8_t> source(data, data + size - 1), destination(size);
  quarn::engine::convertBitmapBuffer(source, destination.data(), destination.size(), settings);  // any result is fine
  return 0;
}
