// Arbitrary bytes as an AVI through the reading of the frame pipeline: the
// video stream's facts, its decoder and its first few pictures as bottom-up
// rows (the libraries decode; this program's part is what it makes of them).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/bitmap_buffer.h"
#include "memory_file.h"
#include "platform/avi_reader.h"

using namespace quarn;

namespace {
constexpr int kFramesPerInput = 3;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(data, size);
  if (!file.ok()) return 0;
  std::unique_ptr<platform::AviVideoReader> reader;
  if (platform::AviVideoReader::open(file.path(), reader) != platform::AviOpenStatus::kOpened) return 0;
  const platform::AviVideoFacts* facts = reader->video();
  if (facts == nullptr || facts->width == 0 || facts->height == 0) return 0;
  const uint64_t bytes = engine::rowStride(facts->width, 3) * facts->height;
  if (bytes > uint64_t(kMaxFuzzBitmapSize) || !reader->openDecoder()) return 0;
  // Guard bytes after the picture: the reader must stay inside its rows.
  std::vector<uint8_t> pixels(bytes + 64, 0xA5);
  for (int i = 0; i < kFramesPerInput; ++i) {
    if (reader->nextFrame(pixels.data()) == platform::AviFrameStatus::kEnd) break;
  }
  for (size_t i = bytes; i < pixels.size(); ++i) {
    if (pixels[i] != 0xA5) __builtin_trap();
  }
  return 0;
}
