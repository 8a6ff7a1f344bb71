#include "video/riff_reader.h"

#include <algorithm>

namespace quarn::video {

std::optional<uint16_t> RiffReader::le16(uint64_t position) {
  uint8_t b[2];
  if (!read(position, b, sizeof b)) return std::nullopt;
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

std::optional<uint32_t> RiffReader::le32(uint64_t position) {
  uint8_t b[4];
  if (!read(position, b, sizeof b)) return std::nullopt;
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

std::optional<RiffChunk> RiffReader::chunkAt(uint64_t position) {
  const std::optional<uint32_t> id = le32(position);
  const std::optional<uint32_t> length = le32(position + 4);
  if (!id || !length) return std::nullopt;
  return RiffChunk{position, *id, *length};
}

std::optional<FourCC> RiffReader::listType(const RiffChunk& chunk) {
  if (chunk.length != 0 && chunk.length < 4) return std::nullopt;
  return le32(chunk.dataPosition());
}

uint64_t RiffReader::listEnd(const RiffChunk& list, uint64_t parentEnd) const {
  return list.length == 0 ? parentEnd : std::min(list.dataEnd(), parentEnd);
}

uint64_t RiffReader::dataAvailable(const RiffChunk& chunk, uint64_t limit) const {
  const uint64_t end = std::min({chunk.dataEnd(), limit, size()});
  return end > chunk.dataPosition() ? end - chunk.dataPosition() : 0;
}

ChunkCursor::ChunkCursor(RiffReader& reader, uint64_t begin, uint64_t end)
    : reader_(reader), position_(begin), end_(std::min(end, reader.size())) {}

std::optional<RiffChunk> ChunkCursor::next() {
  if (position_ > end_ || end_ - position_ < 8) return std::nullopt;
  const std::optional<RiffChunk> chunk = reader_.chunkAt(position_);
  if (!chunk) {
    position_ = end_;
    return std::nullopt;
  }
  position_ = chunk->next();
  return chunk;
}

}  // namespace quarn::video
