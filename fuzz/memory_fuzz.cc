// Arbitrary bytes as a BitmapBuffer through the in-memory conversion, with
// the settings taken from the first bytes. A conversion that succeeds must
// give a result standard tools read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/memory_conversion.h"
#include "support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quarn;
  if (size < testing::kSettingsBytes) return 0;
  const engine::ConversionSettings settings = testing::settingsFromBytes(data);
  engine::BitmapBuffer source(data + testing::kSettingsBytes, data + size);
  // Room for the 24-bit expansion of a 16-bit source.
  std::vector<uint8_t> destination(2 * source.size());
  if (engine::convertBitmapBuffer(source, destination.data(), destination.size(), settings) != engine::kConverted) {
    return 0;  // any refusal is fine; a crash is not
  }
  const size_t resultSize = engine::loadLe32(destination.data() + engine::field::kFileSize);
  if (resultSize > destination.size() || !testing::bmpResultFault(destination.data(), resultSize).empty()) {
    std::abort();
  }
  return 0;
}
