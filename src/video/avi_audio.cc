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

// The stream lists whose header's type is `type`, in order, all of them
// or the first; `found` says how far the search came (kNotAvi,
// kNoAudioStream, or kFound).
std::vector<StreamList> findStreams(RiffReader& reader, FourCC type, AviAudioStatus& found, bool firstOnly) {
  std::vector<StreamList> streams;
  found = AviAudioStatus::kNotAvi;
  const std::optional<RiffChunk> riff = reader.chunkAt(0);
  if (!riff || riff->id != fourCC("RIFF") || reader.listType(*riff) != fourCC("AVI ")) return streams;
  const std::optional<RiffChunk> header =
      findChunk(reader, riff->dataPosition() + 4, reader.listEnd(*riff, reader.size()), fourCC("LIST"), fourCC("hdrl"));
  if (!header) return streams;

  found = AviAudioStatus::kNoAudioStream;
  ChunkCursor lists = insideList(reader, *header);
  for (uint32_t number = 0;;) {
    const std::optional<RiffChunk> list = lists.next();
    if (!list) return streams;
    if (list->id != fourCC("LIST") || reader.listType(*list) != fourCC("strl")) continue;
    const std::optional<RiffChunk> streamHeader =
        findChunk(reader, list->dataPosition() + 4, list->dataEnd(), fourCC("strh"));
    if (streamHeader && streamHeader->length >= 4 && reader.le32(streamHeader->dataPosition()) == type) {
      found = AviAudioStatus::kFound;
      streams.push_back({*list, number});
      if (firstOnly) return streams;
    }
    ++number;
  }
}

std::optional<StreamList> findFirstStream(RiffReader& reader, FourCC type, AviAudioStatus& found) {
  const std::vector<StreamList> streams = findStreams(reader, type, found, true);
  if (streams.empty()) return std::nullopt;
  return streams.front();
}

// The stream's format block.
AviAudioStream audioStreamOf(RiffReader& reader, const StreamList& found) {
  AviAudioStream stream;
  stream.status = AviAudioStatus::kFound;
  const RiffChunk& list = found.list;
  stream.number = found.number;
  constexpr uint32_t kSampleSizeAt = 44;  // dwSampleSize in AVISTREAMHEADER
  const std::optional<RiffChunk> header = findChunk(reader, list.dataPosition() + 4, list.dataEnd(), fourCC("strh"));
  if (header && header->length >= kSampleSizeAt + 4) {
    stream.sampleSize = reader.le32(header->dataPosition() + kSampleSizeAt).value_or(0);
  }
  const std::optional<RiffChunk> format = findChunk(reader, list.dataPosition() + 4, list.dataEnd(), fourCC("strf"));
  if (!format || reader.dataAvailable(*format, list.dataEnd()) < format->length) {
    stream.status = AviAudioStatus::kNoFormat;
    return stream;
  }
  stream.formatLength = format->length;
  stream.formatPosition = format->dataPosition();
  if (format->length <= kMaxFormatRead) {
    stream.format.resize(format->length);
    reader.read(format->dataPosition(), stream.format.data(), stream.format.size());
  }
  return stream;
}

}  // namespace

AviAudioStream findFirstAudioStream(RiffReader& reader) {
  AviAudioStream stream;
  const std::optional<StreamList> found = findFirstStream(reader, fourCC("auds"), stream.status);
  return found ? audioStreamOf(reader, *found) : stream;
}

std::vector<AviAudioStream> findAudioStreams(RiffReader& reader, AviAudioStatus& status) {
  std::vector<AviAudioStream> streams;
  for (const StreamList& found : findStreams(reader, fourCC("auds"), status, false)) {
    streams.push_back(audioStreamOf(reader, found));
  }
  return streams;
}

std::vector<platform::ByteOverlay> soundFormatStandIns(RiffReader& reader) {
  constexpr uint64_t kSamplesPerSecAt = 4;  // nSamplesPerSec in WAVEFORMAT
  constexpr uint32_t kStandInRate = 8000;
  std::vector<platform::ByteOverlay> standIns;
  AviAudioStatus status;
  for (const AviAudioStream& stream : findAudioStreams(reader, status)) {
    if (stream.status != AviAudioStatus::kFound || stream.formatLength < kSamplesPerSecAt + 4) continue;
    const uint64_t at = stream.formatPosition + kSamplesPerSecAt;
    const std::optional<uint32_t> rate = reader.le32(at);
    if (!rate || (*rate != 0 && *rate <= INT32_MAX)) continue;
    standIns.push_back({at, {uint8_t(kStandInRate), uint8_t(kStandInRate >> 8), 0, 0}});
  }
  return standIns;
}

std::optional<platform::FrameRate> firstVideoStreamRate(RiffReader& reader) {
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
  return platform::FrameRate{*rate, *scale};
}

std::optional<int64_t> videoPositionsInChunks(RiffReader& reader) {
  AviAudioStatus status;
  const std::optional<StreamList> found = findFirstStream(reader, fourCC("vids"), status);
  if (!found) return std::nullopt;
  StreamChunks chunks = StreamChunks::pictures(reader, found->number);
  int64_t positions = 0;
  for (int64_t position = 0; const std::optional<StreamChunks::Data> chunk = chunks.next(); ++position) {
    if (chunk->length > 0) positions = position + 1;
  }
  return positions;
}

namespace {

FourCC chunkId(uint32_t number, const char (&kind)[3]) {
  const char id[5] = {static_cast<char>('0' + number / 10 % 10), static_cast<char>('0' + number % 10), kind[0],
                      kind[1], '\0'};
  return fourCC(id);
}

}  // namespace

StreamChunks::StreamChunks(RiffReader& reader, uint32_t number, const char (&kind)[3], const char (&otherKind)[3])
    : reader_(reader),
      wanted_(chunkId(number, kind)),
      otherWanted_(chunkId(number, otherKind)),
      none_(number >= 100),
      files_(reader, 0, reader.size()) {}

std::optional<StreamChunks::Data> StreamChunks::next() {
  if (none_) return std::nullopt;
  while (true) {
    if (records_) {  // inside a rec list of the movie
      if (const std::optional<RiffChunk> record = records_->next()) {
        if (wanted(record->id)) return dataOf(*record, recordsEnd_);
        continue;
      }
      records_.reset();
    }
    if (movie_) {  // inside a "movi" list
      if (const std::optional<RiffChunk> chunk = movie_->next()) {
        if (chunk->id == fourCC("LIST") && reader_.listType(*chunk) == fourCC("rec ")) {
          recordsEnd_ = std::min(chunk->dataEnd(), movieEnd_);
          records_.emplace(reader_, chunk->dataPosition() + 4, recordsEnd_);
        } else if (wanted(chunk->id)) {
          return dataOf(*chunk, movieEnd_);
        }
        continue;
      }
      movie_.reset();
    }
    if (top_) {  // inside a RIFF, looking for its "movi" lists
      if (const std::optional<RiffChunk> list = top_->next()) {
        if (list->id == fourCC("LIST") && reader_.listType(*list) == fourCC("movi")) {
          movieEnd_ = reader_.listEnd(*list, riffEnd_);
          movie_.emplace(reader_, list->dataPosition() + 4, movieEnd_);
        }
        continue;
      }
      top_.reset();
      files_.skipTo(riffEnd_);
    }
    // The next RIFF: "AVI " first, then "AVIX" parts.
    riff_ = files_.next();
    if (!riff_) {
      none_ = true;
      return std::nullopt;
    }
    const bool first = first_;
    first_ = false;
    if (riff_->id != fourCC("RIFF") || reader_.listType(*riff_) != (first ? fourCC("AVI ") : fourCC("AVIX"))) continue;
    riffEnd_ = reader_.listEnd(*riff_, reader_.size());
    top_.emplace(reader_, riff_->dataPosition() + 4, riffEnd_);
  }
}

StreamChunks::Data StreamChunks::dataOf(const RiffChunk& chunk, uint64_t listEnd) const {
  const uint64_t held = reader_.dataAvailable(chunk, listEnd);
  return {chunk.dataPosition(), held, held == chunk.length};
}

void forEachAudioChunk(RiffReader& reader, uint32_t number,
                       const std::function<bool(uint64_t position, uint64_t length)>& take) {
  StreamChunks chunks = StreamChunks::sound(reader, number);
  while (const std::optional<StreamChunks::Data> data = chunks.next()) {
    if (!take(data->position, data->length)) return;
  }
}

}  // namespace quarn::video
