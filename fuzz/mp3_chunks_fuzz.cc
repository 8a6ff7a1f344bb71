// Arbitrary bytes as an AVI through the MP3 chunk walker, from memory into
// memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "video/mp3_chunks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarn::video::MemorySource input(data, size);
  quarn::video::MemorySink output;
  if (quarn::video::walkMp3Chunks(input, output) != quarn::video::kWalkEnded) std::abort();
  // Each chunk belongs to one stream, so each byte goes out once at most,
  // and the format block (at most 500 bytes) once more.
  if (output.bytes.size() > size + 500) std::abort();
  return 0;
}
