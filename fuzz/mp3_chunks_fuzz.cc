// Arbitrary bytes as an AVI through the MP3 chunk walker, from memory into
// memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "video/avi_audio.h"
#include "video/mp3_chunks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarn::video::MemorySource input(data, size);
  quarn::video::MemorySink output;
  if (quarn::video::walkMp3Chunks(input, output) != quarn::video::kWalkEnded) std::abort();
  // Each byte of a chunk goes out once at most, and the format block (at
  // most kMaxFormatRead bytes) once more.
  if (output.bytes.size() > size + quarn::video::kMaxFormatRead) std::abort();
  return 0;
}
