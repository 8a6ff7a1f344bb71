// Arbitrary bytes as an AVI through the reading of its first audio stream:
// its chunks must lie inside the file, and the PCM stream read out of them
// must give each of their bytes once, whatever the size of the reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "video/audio_extraction.h"
#include "video/avi_audio.h"

using namespace quarn::video;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemorySource source(data, size);
  RiffReader reader(source);
  const AviAudioStream stream = findFirstAudioStream(reader);
  if (stream.status != AviAudioStatus::kFound) return 0;
  uint64_t total = 0;
  forEachAudioChunk(reader, stream.number, [&](uint64_t position, uint64_t length) {
    if (!source.holds(position, length)) std::abort();
    total += length;
    return true;
  });
  const std::unique_ptr<SoundSamples> samples = audioChunkSamples(source, stream.number);
  if (!samples->holdsAtLeast(total) || samples->holdsAtLeast(total + 1)) std::abort();
  std::vector<uint8_t> block(1 + size % 4093);
  uint64_t read = 0;
  while (const size_t n = samples->read(block.data(), block.size())) read += n;
  if (read != total) std::abort();
  return 0;
}
