#include "video/mp3_chunks.h"

#include <bitset>
#include <cstdio>
#include <vector>

#include "video/riff_reader.h"

namespace quarn::video {
namespace {

constexpr uint64_t kMainHeaderLength = 56;
constexpr uint64_t kFirstStreamList = 12 + 12 + 8 + kMainHeaderLength;  // RIFF, hdrl, avih
constexpr uint64_t kStreamCountPosition = 32 + 24;                     // dwStreams
constexpr uint32_t kMaxFormatBlock = 500;
// A chunk id holds a stream number in two characters: no stream from 100
// on can own a chunk, so those passes could copy nothing.
constexpr uint32_t kNamableStreams = 100;
constexpr size_t kCopyBlock = size_t{1} << 20;

bool isSkippedBeforeMovie(FourCC id, FourCC type) {
  if (id == fourCC("JUNK")) return true;
  for (const FourCC skipped : {fourCC("INFO"), fourCC("odml"), fourCC("strh"), fourCC("strf"),
                               fourCC("strl"), fourCC("strn")}) {
    if (type == skipped) return true;
  }
  return false;
}

// The stream number the first two characters of an id read as, the way
// the C library's "%2d" reads them (blanks skipped, a sign allowed).
int streamNumberOf(FourCC id) {
  const char text[3] = {fourCCChar(id, 0), fourCCChar(id, 1), '\0'};
  int number = -1;
  return std::sscanf(text, "%2d", &number) == 1 ? number : -1;
}

bool isAudioChunk(FourCC id) { return fourCCChar(id, 2) == 'w' && fourCCChar(id, 3) == 'b'; }

enum class Pass { kListEnded, kFileEnded, kWriteFailed };

class MovieWalk {
 public:
  MovieWalk(RiffReader& reader, ByteSink& output, uint64_t begin, uint64_t end)
      : reader_(reader), output_(output), begin_(begin), end_(end) {}

  // One walk over the list, copying the chunks of `stream`. Every walk
  // visits the same chunks, so the first also notes which other streams
  // have any, and only those get a walk of their own.
  Pass copyStream(int stream, std::bitset<kNamableStreams>* others) {
    uint64_t position = begin_;
    while (position < end_) {
      const std::optional<RiffChunk> chunk = reader_.chunkAt(position);
      if (!chunk) return Pass::kFileEnded;
      const int number = isAudioChunk(chunk->id) ? streamNumberOf(chunk->id) : -1;
      if (number == stream) {
        const Pass copied = copy(chunk->dataPosition(), chunk->length);
        if (copied != Pass::kListEnded) return copied;
      } else if (others != nullptr && number >= 0 && number < static_cast<int>(kNamableStreams)) {
        others->set(static_cast<size_t>(number));
      }
      position = chunk->next();
    }
    return Pass::kListEnded;
  }

 private:
  // Copies what the file holds of the range: kFileEnded when it ends
  // inside, kListEnded when all of it was there.
  Pass copy(uint64_t position, uint64_t length) {
    const uint64_t held = reader_.size() > position ? std::min(length, reader_.size() - position) : 0;
    buffer_.resize(static_cast<size_t>(std::min<uint64_t>(held, kCopyBlock)));
    for (uint64_t done = 0; done < held;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(held - done, buffer_.size()));
      if (!reader_.read(position + done, buffer_.data(), n)) return Pass::kFileEnded;
      if (!output_.write(buffer_.data(), n)) return Pass::kWriteFailed;
      done += n;
    }
    return held == length ? Pass::kListEnded : Pass::kFileEnded;
  }

  RiffReader& reader_;
  ByteSink& output_;
  uint64_t begin_, end_;
  std::vector<uint8_t> buffer_;
};

}  // namespace

Mp3ChunksResult walkMp3Chunks(ByteSource& input, ByteSink& output) {
  RiffReader reader(input);
  const std::optional<uint32_t> mainHeaderLength = reader.le32(28);
  const std::optional<uint32_t> streams = reader.le32(kStreamCountPosition);
  if (!reader.source().holds(0, kFirstStreamList) || mainHeaderLength != kMainHeaderLength) return kWalkEnded;

  // The stream lists in file order, up to the first audio stream header.
  uint64_t position = kFirstStreamList;
  std::optional<uint32_t> listLength, headerLength;
  while (true) {
    const std::optional<uint32_t> id = reader.le32(position), type = reader.le32(position + 8),
                                  inner = reader.le32(position + 12), streamType = reader.le32(position + 20);
    listLength = reader.le32(position + 4);
    headerLength = reader.le32(position + 16);
    if (!streamType) return kWalkEnded;
    if (*id == fourCC("LIST") && *type == fourCC("strl") && *inner != fourCC("strh")) return kWalkEnded;
    if (*streamType == fourCC("auds")) break;
    if (*listLength % 2 != 0) return kWalkEnded;
    position += 8 + uint64_t{*listLength};
  }
  if (*headerLength < 4 || *headerLength % 2 != 0 || *listLength % 2 != 0) return kWalkEnded;

  // Its format block, just after the stream header.
  const uint64_t formatChunk = position + 20 + uint64_t{*headerLength};
  const std::optional<uint32_t> formatLength = reader.le32(formatChunk + 4);
  if (!formatLength || *formatLength > kMaxFormatBlock) return kWalkEnded;
  std::vector<uint8_t> format(*formatLength);
  if (!reader.read(formatChunk + 8, format.data(), format.size())) return kWalkEnded;

  // Past the audio stream's list, on to "movi".
  position += 8 + uint64_t{*listLength};
  while (true) {
    const std::optional<uint32_t> id = reader.le32(position), length = reader.le32(position + 4),
                                  type = reader.le32(position + 8);
    if (!type) return kWalkEnded;
    if (*type == fourCC("movi") && *id != fourCC("JUNK")) break;
    if (!isSkippedBeforeMovie(*id, *type) || *length % 2 != 0) return kWalkEnded;
    position += 8 + uint64_t{*length};
  }
  const uint64_t movieEnd = position + 8 + uint64_t{*reader.le32(position + 4)};
  if (!output.write(format.data(), format.size())) return kCannotCopy;

  // Stream by stream in order of number, each in file order.
  MovieWalk walk(reader, output, position + 12, movieEnd);
  const uint32_t passes = std::min(*streams, kNamableStreams);
  std::bitset<kNamableStreams> others;
  for (uint32_t stream = 0; stream < passes; ++stream) {
    if (stream != 0 && !others.test(stream)) continue;
    const Pass pass = walk.copyStream(static_cast<int>(stream), stream == 0 ? &others : nullptr);
    if (pass == Pass::kWriteFailed) return kCannotCopy;
    if (pass == Pass::kFileEnded) break;
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
