// riff_reader.h: chunks of a RIFF file (AVI, WAV) read through a
// ByteSource. Every chunk is a four-character id, a 32-bit little-endian
// length, that many data bytes and, when the length is odd, one pad byte;
// RIFF and LIST chunks begin their data with a four-character type.
// Nothing here reads outside the source; positions are 64-bit, so no length
// from a file can make them wrap.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/fourcc.h"
#include "video/byte_source.h"

namespace quarn::video {

using platform::FourCC;
using platform::fourCC;
using platform::fourCCChar;

struct RiffChunk {
  uint64_t position = 0;  // of the id
  FourCC id = 0;
  uint32_t length = 0;    // as the file declares it
  uint64_t dataPosition() const { return position + 8; }
  uint64_t dataEnd() const { return dataPosition() + length; }
  uint64_t next() const { return dataEnd() + (length & 1); }  // after the pad byte
};

class RiffReader {
 public:
  explicit RiffReader(ByteSource& source) : source_(source) {}

  uint64_t size() const { return source_.size(); }
  ByteSource& source() { return source_; }

  bool read(uint64_t position, void* into, size_t length) { return source_.read(position, into, length); }
  std::optional<uint16_t> le16(uint64_t position);
  std::optional<uint32_t> le32(uint64_t position);  // also a FourCC

  // The chunk whose id is at `position`; nullopt unless its 8-byte header
  // lies inside the source (its data may not).
  std::optional<RiffChunk> chunkAt(uint64_t position);
  // The type of a RIFF or LIST chunk: nullopt when its data has no room
  // for one or the file ends first. A list that declares no length has one.
  std::optional<FourCC> listType(const RiffChunk& chunk);
  // Where a RIFF or LIST chunk's data ends inside the list holding it, which
  // ends at `parentEnd`: a list that declares no length (0, as recorders
  // that stopped short leave it) runs to the end of its parent.
  uint64_t listEnd(const RiffChunk& list, uint64_t parentEnd) const;
  // How many of the chunk's data bytes lie before `limit` (the end of the
  // list holding it) and inside the source.
  uint64_t dataAvailable(const RiffChunk& chunk, uint64_t limit) const;

 private:
  ByteSource& source_;
};

// The chunks of a list one after another, pad bytes skipped, from `begin`
// up to `end` (taken no further than the source's end). A chunk is given
// while its header lies wholly before that end.
class ChunkCursor {
 public:
  ChunkCursor(RiffReader& reader, uint64_t begin, uint64_t end);
  std::optional<RiffChunk> next();
  // Goes on at `position` when that lies further on (past a list that runs
  // longer than it declares).
  void skipTo(uint64_t position) { position_ = std::max(position_, position); }

 private:
  RiffReader& reader_;
  uint64_t position_;
  uint64_t end_;
};

}  // namespace quarn::video
