#include "video/mp3_chunks.h"

#include <algorithm>
#include <vector>

#include "video/avi_audio.h"

namespace quarn::video {
namespace {

constexpr size_t kCopyBlock = size_t{1} << 20;

}  // namespace

Mp3ChunksResult walkMp3Chunks(ByteSource& input, ByteSink& output) {
  RiffReader reader(input);
  const AviAudioStream stream = findFirstAudioStream(reader);
  if (stream.status != AviAudioStatus::kFound || stream.format.empty()) return kWalkEnded;
  if (!output.write(stream.format.data(), stream.format.size())) return kCannotCopy;
  std::vector<uint8_t> block;
  StreamChunks chunks = StreamChunks::sound(reader, stream.number);
  while (const std::optional<StreamChunks::Data> chunk = chunks.next()) {
    if (!chunk->whole) continue;
    block.resize(static_cast<size_t>(std::min<uint64_t>(chunk->length, kCopyBlock)));
    for (uint64_t done = 0; done < chunk->length;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk->length - done, block.size()));
      if (!reader.read(chunk->position + done, block.data(), n)) return kWalkEnded;
      if (!output.write(block.data(), n)) return kCannotCopy;
      done += n;
    }
  }
  return kWalkEnded;
}

Mp3ChunksResult copyMp3Chunks(ByteSource& input, platform::TemporaryFile& output) {
  if (output.descriptor() < 0) return kCannotCopy;
  FileSink sink(output.descriptor());
  const Mp3ChunksResult result = walkMp3Chunks(input, sink);
  return sink.finish() ? result : kCannotCopy;
}

}  // namespace quarn::video
