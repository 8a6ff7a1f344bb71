// Arbitrary bytes as an AVI through the reading of the frame pipeline: the
// video stream's facts, its decoder and its first few pictures as
// blue-green-red rows (the libraries decode; this program's part is what it makes of them).
#include <cstddef>
#include <cstdint>
#include <memory>

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
  const platform::VideoFacts* facts = reader->video();
  if (facts == nullptr || facts->width == 0 || facts->height == 0) return 0;
  const uint64_t bytes = engine::rowStride(facts->width, 3) * facts->height;
  if (bytes > uint64_t(kMaxFuzzBitmapSize) || !reader->openDecoder()) return 0;
  // The pictures get exactly their own memory: a write outside it is the
  // sanitizer's to find.
  platform::Picture picture;
  for (int i = 0; i < kFramesPerInput; ++i) {
    const platform::FrameStatus status = reader->nextFrame(picture);
    if (status == platform::FrameStatus::kEnd || status == platform::FrameStatus::kOutOfMemory) break;
  }
  return 0;
}
