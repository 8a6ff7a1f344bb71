// Arbitrary bytes as an AVI through the reading of the frame pipeline: the
// video stream's facts, its decoder and its first few pictures as
// blue-green-red rows (the libraries decode; this program's part is what it makes of them).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory_file.h"
#include "video_pictures.h"
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
  readFewPictures(*reader, kFramesPerInput);
  return 0;
}
