#include "support/picture_runs.h"

#include <gtest/gtest.h>

#include "engine/bitmap_buffer.h"
#include "engine/memory_conversion.h"

namespace quarn::testing {

std::vector<std::string> eightParametersWithDepth(const std::string& path, bool jpegOutput, const char* depth) {
  return {depth, "ne", "ne", jpegOutput ? "1" : "0", "0000", "0", "A", path};
}

std::vector<uint8_t> convertedWithDepthTen(std::vector<uint8_t> bitmap) {
  std::vector<uint8_t> result(bitmap.size());
  engine::ConversionSettings settings;
  settings.depth = 10;
  EXPECT_EQ(engine::kConverted, engine::convertBitmapBuffer(bitmap, result.data(), result.size(), settings));
  result.resize(engine::loadLe32(result.data() + engine::field::kFileSize));
  return result;
}

}  // namespace quarn::testing
