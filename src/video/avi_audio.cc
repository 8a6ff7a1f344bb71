#include "video/avi_audio.h"

#include <algorithm>
#include <optional>

namespace quarn::video {
namespace {

std::optional<RiffChunk> findChunk(RiffReader& reader, uint64_t begin, uint64_t end, FourCC id,
                                   std::optional<FourCC> type = std::nullopt) {
  ChunkCursor chunks(reader, begin, end);
  while (const std::optional<RiffChunk> chunk = chunks.next()) {
    if (chunk->id == id && (!type || reader.listType(*chunk) == type)) return chunk;
  }
  return std::nullopt;
}

// The chunks of a list after its type.
ChunkCursor insideList(RiffReader& reader, const RiffChunk& list) {
  return ChunkCursor(reader, list.dataPosition() + 4, list.dataEnd());
}

}  // namespace

namespace {

// The stream lists of the header list, in order, with their number.
struct StreamList {
  RiffChunk list;
  uint32_t number = 0;
};

// The first stream list whose header's type is `type`; `found` says how far
// the search came (kNotAvi, kNoAudioStream, or kFound).
std::optional<StreamList> findFirstStream(RiffReader& reader, FourCC type, AviAudioStatus& found) {
  found = AviAudioStatus::kNotAvi;
  const std::optional<RiffChunk> riff = reader.chunkAt(0);
  if (!riff || riff->id != fourCC("RIFF") || reader.listType(*riff) != fourCC("AVI ")) return std::nullopt;
  const std::optional<RiffChunk> header =
      findChunk(reader, riff->dataPosition() + 4, riff->dataEnd(), fourCC("LIST"), fourCC("hdrl"));
  if (!header) return std::nullopt;

  found = AviAudioStatus::kNoAudioStream;
  ChunkCursor lists = insideList(reader, *header);
  for (uint32_t number = 0;;) {
    const std::optional<RiffChunk> list = lists.next();
    if (!list) return std::nullopt;
    if (list->id != fourCC("LIST") || reader.listType(*list) != fourCC("strl")) continue;
    const std::optional<RiffChunk> streamHeader =
        findChunk(reader, list->dataPosition() + 4, list->dataEnd(), fourCC("strh"));
    if (streamHeader && streamHeader->length >= 4 && reader.le32(streamHeader->dataPosition()) == type) {
      found = AviAudioStatus::kFound;
      return StreamList{*list, number};
    }
    ++number;
  }
}

}  // namespace

AviAudioStream findFirstAudioStream(RiffReader& reader) {
  AviAudioStream stream;
  const std::optional<StreamList> found = findFirstStream(reader, fourCC("auds"), stream.status);
  if (!found) return stream;
  const RiffChunk& list = found->list;
  stream.number = found->number;
  const std::optional<RiffChunk> format = findChunk(reader, list.dataPosition() + 4, list.dataEnd(), fourCC("strf"));
  if (!format || reader.dataAvailable(*format, list.dataEnd()) < format->length) {
    stream.status = AviAudioStatus::kNoFormat;
    return stream;
  }
  stream.formatLength = format->length;
  if (format->length <= kMaxFormatRead) {
    stream.format.resize(format->length);
    reader.read(format->dataPosition(), stream.format.data(), stream.format.size());
  }
  return stream;
}

std::optional<AviStreamRate> firstVideoStreamRate(RiffReader& reader) {
  AviAudioStatus status;
  const std::optional<StreamList> found = findFirstStream(reader, fourCC("vids"), status);
  if (!found) return std::nullopt;
  const std::optional<RiffChunk> header =
      findChunk(reader, found->list.dataPosition() + 4, found->list.dataEnd(), fourCC("strh"));
  constexpr uint32_t kScaleAt = 20, kRateAt = 24;  // dwScale, dwRate in AVISTREAMHEADER
  if (!header || header->length < kRateAt + 4) return std::nullopt;
  const std::optional<uint32_t> scale = reader.le32(header->dataPosition() + kScaleAt);
  const std::optional<uint32_t> rate = reader.le32(header->dataPosition() + kRateAt);
  if (!scale || !rate) return std::nullopt;
  return AviStreamRate{*rate, *scale};
}

void forEachAudioChunk(RiffReader& reader, uint32_t number,
                       const std::function<bool(uint64_t position, uint64_t length)>& take) {
  if (number >= 100) return;
  const char id[5] = {static_cast<char>('0' + number / 10), static_cast<char>('0' + number % 10), 'w', 'b', '\0'};
  const FourCC wanted = fourCC(id);
  // A chunk of the movie or of one of its rec lists: false to stop.
  const auto visit = [&](const RiffChunk& chunk, uint64_t listEnd) {
    return chunk.id != wanted || take(chunk.dataPosition(), reader.dataAvailable(chunk, listEnd));
  };

  ChunkCursor files(reader, 0, reader.size());
  for (bool first = true;; first = false) {
    const std::optional<RiffChunk> riff = files.next();
    if (!riff) return;
    if (riff->id != fourCC("RIFF") || reader.listType(*riff) != (first ? fourCC("AVI ") : fourCC("AVIX"))) continue;
    ChunkCursor top = insideList(reader, *riff);
    while (const std::optional<RiffChunk> movie = top.next()) {
      if (movie->id != fourCC("LIST") || reader.listType(*movie) != fourCC("movi")) continue;
      const uint64_t movieEnd = std::min(movie->dataEnd(), riff->dataEnd());
      ChunkCursor chunks(reader, movie->dataPosition() + 4, movieEnd);
      while (const std::optional<RiffChunk> chunk = chunks.next()) {
        if (chunk->id == fourCC("LIST") && reader.listType(*chunk) == fourCC("rec ")) {
          const uint64_t recEnd = std::min(chunk->dataEnd(), movieEnd);
          ChunkCursor records(reader, chunk->dataPosition() + 4, recEnd);
          while (const std::optional<RiffChunk> record = records.next()) {
            if (!visit(*record, recEnd)) return;
          }
        } else if (!visit(*chunk, movieEnd)) {
          return;
        }
      }
    }
  }
}

}  // namespace quarn::video
