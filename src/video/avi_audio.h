// avi_audio.h: the streams of an AVI file read directly as RIFF: the first
// video stream's rate as its header gives it, the first sound stream's
// format block (whose length tells its kind, which the video library does
// not say) and the bytes of its chunks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/avi_reader.h"
#include "video/riff_reader.h"

namespace quarn::video {

enum class AviAudioStatus {
  kFound,
  kNotAvi,         // no "RIFF" "AVI " with a header list
  kNoAudioStream,  // no stream list whose header's type is "auds"
  kNoFormat,       // that list has no "strf" chunk wholly inside it and the file
};

struct AviAudioStream {
  AviAudioStatus status = AviAudioStatus::kNotAvi;
  uint32_t number = 0;          // position of its list among the stream lists, from 0
  uint32_t formatLength = 0;    // of the "strf" chunk: 16 PCM, 18 WAVEFORMATEX, 30 MP3
  std::vector<uint8_t> format;  // the "strf" data, when no longer than kMaxFormatRead
  uint32_t sampleSize = 0;      // the header's dwSampleSize: 0 for packets of a time of their own
  uint64_t formatPosition = 0;  // of the "strf" data in the file
};
inline constexpr uint32_t kMaxFormatRead = 1024;

AviAudioStream findFirstAudioStream(RiffReader& reader);

// Every sound stream, in order; `status` says how far the search came when
// there is none (kNotAvi or kNoAudioStream), else kFound.
std::vector<AviAudioStream> findAudioStreams(RiffReader& reader, AviAudioStatus& status);

// Stand-ins for the sample rates of sound streams that FFmpeg would refuse
// the whole file for (0, or more than a signed 32-bit number holds): the
// pictures can still be read, and such a sound is not carried.
std::vector<platform::ByteOverlay> soundFormatStandIns(RiffReader& reader);

// The first video stream's dwRate and dwScale as its header gives them;
// nullopt without such a stream or header.
std::optional<platform::FrameRate> firstVideoStreamRate(RiffReader& reader);

// The positions of the first video stream up to its last chunk with data,
// counted from its chunks in the movi lists (empty ones included, as the
// dropped frames they stand for); nullopt without a video stream.
std::optional<int64_t> videoPositionsInChunks(RiffReader& reader);

// The data of each chunk of one stream, in file order: in the "movi" list,
// in its rec lists, and in the "AVIX" RIFFs (OpenDML) after the first. A
// stream's chunks have its number in two digits, then "wb" (sound) or "dc"
// or "db" (pictures). A chunk's data is cut where its list or the file
// ends. Streams from 100 on have no such chunks. The walk goes as far as it
// is asked: nothing is read ahead.
class StreamChunks {
 public:
  static StreamChunks sound(RiffReader& reader, uint32_t number) { return {reader, number, "wb", "wb"}; }
  static StreamChunks pictures(RiffReader& reader, uint32_t number) { return {reader, number, "dc", "db"}; }

  struct Data {
    uint64_t position = 0;
    uint64_t length = 0;  // what the file and the list hold of it
    bool whole = true;    // all the chunk declares
  };
  // The next chunk's data; nullopt after the last.
  std::optional<Data> next();

 private:
  StreamChunks(RiffReader& reader, uint32_t number, const char (&kind)[3], const char (&otherKind)[3]);
  bool wanted(FourCC id) const { return id == wanted_ || id == otherWanted_; }
  Data dataOf(const RiffChunk& chunk, uint64_t listEnd) const;

  RiffReader& reader_;
  FourCC wanted_ = 0, otherWanted_ = 0;
  bool none_ = false;
  ChunkCursor files_;
  bool first_ = true;
  std::optional<RiffChunk> riff_;
  std::optional<ChunkCursor> top_, movie_, records_;
  uint64_t riffEnd_ = 0, movieEnd_ = 0, recordsEnd_ = 0;
};

// Gives `take` the data of each such chunk; `take` returns false to stop.
void forEachAudioChunk(RiffReader& reader, uint32_t number,
                       const std::function<bool(uint64_t position, uint64_t length)>& take);

}  // namespace quarn::video
