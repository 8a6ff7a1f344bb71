// Arbitrary bytes as a WAV file through the chunk reading of the muxing,
// then its samples read to the end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "video/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarn::video::MemorySource source(data, size);
  quarn::video::RiffReader reader(source);
  const std::optional<quarn::video::WavLayout> layout = quarn::video::readWavLayout(reader);
  if (!layout) return 0;
  if (layout->dataPosition > size || layout->dataLength > size - layout->dataPosition) std::abort();
  const std::unique_ptr<quarn::video::SoundSamples> samples = quarn::video::makeSoundSamples(
      std::make_unique<quarn::video::MemorySource>(data, size), layout->dataPosition, layout->dataLength);
  std::vector<uint8_t> block(1 + size % 4093);
  uint64_t read = 0;
  while (const size_t n = samples->read(block.data(), block.size())) read += n;
  if (read != layout->dataLength) std::abort();
  return 0;
}
