// Arbitrary bytes as an AVI through the reading of its first audio stream;
// a PCM track goes into a WAV in memory, which must read back whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "video/audio_extraction.h"
#include "video/wav_file.h"

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
  if (stream.formatLength != 16 && stream.formatLength != 18) return 0;
  MemorySink wav;
  if (writePcmWav(reader, stream, wav) != PcmCopy::kCopied) std::abort();
  MemorySource written(wav.bytes.data(), wav.bytes.size());
  RiffReader writtenReader(written);
  const std::optional<WavLayout> layout = readWavLayout(writtenReader);
  if (!layout || layout->dataLength != total || layout->dataPosition + total != wav.bytes.size()) std::abort();
  return 0;
}
