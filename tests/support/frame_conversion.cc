#include "support/frame_conversion.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/cpu_features.h"
#include "engine/bitmap_buffer.h"
#include "engine/memory_conversion.h"

namespace quarn::testing {

engine::ConversionSettings settingsFor(int depth, bool plus3D, bool colours) {
  app::CpuFeatures features;
  app::detectCpuFeatures(features);
  const app::ProcessorFlags flags = app::deriveProcessorFlags(features);
  engine::ConversionSettings s;
  s.variant = engine::chooseVariant(flags.useSse2, flags.useMmx3DNow);
  s.depth = depth;
  s.plus3D = plus3D;
  s.colourOptimisation = colours;
  return s;
}

std::vector<uint8_t> convertFrame(const uint8_t* topDown, uint32_t width, uint32_t height,
                                  const engine::ConversionSettings& settings, uint32_t& outWidth,
                                  uint32_t& outHeight) {
  const uint64_t stride = engine::rowStride(width, 3);
  engine::BitmapBuffer source(engine::kHeaderSize + stride * height);
  engine::writeBitmapHeader(source.data(), width, height, 24);
  for (uint32_t y = 0; y < height; ++y) {
    std::memcpy(source.data() + engine::kHeaderSize + stride * (height - 1 - y), topDown + size_t{width} * 3 * y,
                size_t{width} * 3);
  }
  std::vector<uint8_t> result(source.size());
  EXPECT_EQ(engine::kConverted, engine::convertBitmapBuffer(source, result.data(), result.size(), settings));
  outWidth = engine::loadLe32(result.data() + engine::field::kWidth);
  outHeight = engine::loadLe32(result.data() + engine::field::kHeight);
  const uint64_t outStride = engine::rowStride(outWidth, 3);
  std::vector<uint8_t> frame(size_t{outWidth} * 3 * outHeight);
  for (uint32_t y = 0; y < outHeight; ++y) {
    std::memcpy(frame.data() + size_t{outWidth} * 3 * y,
                result.data() + engine::kHeaderSize + outStride * (outHeight - 1 - y), size_t{outWidth} * 3);
  }
  return frame;
}

std::pair<uint32_t, uint32_t> convertedSize(uint32_t width, uint32_t height, const engine::ConversionSettings& s) {
  const std::vector<uint8_t> blank(size_t{width} * 3 * height);
  uint32_t w = 0, h = 0;
  convertFrame(blank.data(), width, height, s, w, h);
  return {w, h};
}

std::vector<uint8_t> convertFrames(const std::vector<uint8_t>& frames, uint32_t width, uint32_t height,
                                   const engine::ConversionSettings& settings) {
  const size_t frame = size_t{width} * height * 3;
  std::vector<uint8_t> converted;
  if (frame == 0 || frames.size() % frame != 0) return converted;
  for (size_t at = 0; at < frames.size(); at += frame) {
    uint32_t w = 0, h = 0;
    const std::vector<uint8_t> one = convertFrame(frames.data() + at, width, height, settings, w, h);
    converted.insert(converted.end(), one.begin(), one.end());
  }
  return converted;
}

}  // namespace quarn::testing
