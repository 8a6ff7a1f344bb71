#include "video/wav_file.h"

#include <algorithm>
#include <limits>

namespace quarn::video {
namespace {

constexpr uint32_t kUnknownLength = 0xFFFFFFFF;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

class RangeSamples final : public SoundSamples {
 public:
  RangeSamples(std::unique_ptr<ByteSource> source, uint64_t position, uint64_t length)
      : source_(std::move(source)), position_(position), length_(length) {}
  bool holdsAtLeast(uint64_t bytes) override { return length_ >= bytes; }
  size_t read(uint8_t* into, size_t bytes) override {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, length_ - done_));
    if (n == 0 || !source_->read(position_ + done_, into, n)) return 0;
    done_ += n;
    return n;
  }

 private:
  std::unique_ptr<ByteSource> source_;
  uint64_t position_, length_, done_ = 0;
};

}  // namespace

std::optional<SoundFormat> parseWaveFormat(const uint8_t* block, size_t length) {
  if (length < 16) return std::nullopt;
  SoundFormat f;
  f.formatTag = le16(block + 0);        // wFormatTag
  f.channels = le16(block + 2);         // nChannels
  f.samplesPerSec = le32(block + 4);    // nSamplesPerSec
  f.avgBytesPerSec = le32(block + 8);   // nAvgBytesPerSec
  f.blockAlign = le16(block + 12);      // nBlockAlign
  f.bitsPerSample = le16(block + 14);   // wBitsPerSample
  if (length >= 18) {
    const size_t extra = std::min<size_t>(le16(block + 16), length - 18);  // cbSize
    f.extra.assign(block + 18, block + 18 + extra);
  }
  return f;
}

std::optional<WavLayout> readWavLayout(RiffReader& reader) {
  const std::optional<RiffChunk> riff = reader.chunkAt(0);
  if (!riff || riff->id != fourCC("RIFF") || reader.listType(*riff) != fourCC("WAVE")) return std::nullopt;
  std::optional<SoundFormat> format;
  std::optional<RiffChunk> data;
  ChunkCursor chunks(reader, 12, reader.size());
  while (!format || !data) {
    const std::optional<RiffChunk> chunk = chunks.next();
    if (!chunk) return std::nullopt;
    if (chunk->id == fourCC("fmt ") && !format) {
      if (chunk->length < 16) return std::nullopt;
      // Room for the 18 bytes and all the extra bytes a cbSize can announce.
      std::vector<uint8_t> block(std::min<size_t>(chunk->length, 18 + 0xFFFF));
      if (!reader.read(chunk->dataPosition(), block.data(), block.size())) return std::nullopt;
      format = parseWaveFormat(block.data(), block.size());
    } else if (chunk->id == fourCC("data") && !data) {
      data = chunk;
    }
  }
  WavLayout layout;
  layout.format = *format;
  layout.dataPosition = data->dataPosition();
  const uint64_t rest = reader.size() - std::min(reader.size(), layout.dataPosition);
  layout.dataLength = data->length == kUnknownLength ? rest : std::min<uint64_t>(data->length, rest);
  layout.cut = data->length != kUnknownLength && data->length > rest;
  return layout;
}

std::unique_ptr<SoundSamples> makeSoundSamples(std::unique_ptr<ByteSource> source, uint64_t position,
                                               uint64_t length) {
  return std::make_unique<RangeSamples>(std::move(source), position, length);
}

}  // namespace quarn::video
