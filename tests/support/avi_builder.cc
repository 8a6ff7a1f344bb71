#include "support/avi_builder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/child_process.h"
#include "platform/temporary_file.h"
#include "support/temp_dir.h"

namespace quarn::testing {
namespace {

Bytes fourCC(const char* id) { return Bytes(id, id + 4); }

void putLe32At(Bytes& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

Bytes chars(const std::string& text) { return Bytes(text.begin(), text.end()); }
Bytes le16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
Bytes le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes pattern(size_t size, uint32_t seed) {
  Bytes out(size);
  uint32_t x = seed * 2654435761u + 1;
  for (uint8_t& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

RiffBuilder& RiffBuilder::list(const char* id, const char* type) {
  open_.push_back(out_.size());
  return raw(fourCC(id) + le32(0) + fourCC(type));
}

RiffBuilder& RiffBuilder::end() {
  const size_t start = open_.back();
  open_.pop_back();
  putLe32At(out_, start + 4, static_cast<uint32_t>(out_.size() - start - 8));
  return *this;
}

RiffBuilder& RiffBuilder::chunk(const char* id, const Bytes& data) {
  chunkDeclaring(id, static_cast<uint32_t>(data.size()), data);
  if (data.size() % 2 != 0) out_.push_back(0);
  return *this;
}

RiffBuilder& RiffBuilder::chunkDeclaring(const char* id, uint32_t declared, const Bytes& data) {
  raw(fourCC(id) + le32(declared));
  return raw(data);
}

RiffBuilder& RiffBuilder::raw(const Bytes& data) {
  out_.insert(out_.end(), data.begin(), data.end());
  return *this;
}

Bytes RiffBuilder::bytes() {
  while (!open_.empty()) end();
  return out_;
}

Bytes mainHeader(uint32_t streams) {
  Bytes h(56, 0);
  putLe32At(h, 0, 40000);    // dwMicroSecPerFrame
  putLe32At(h, 24, streams); // dwStreams
  putLe32At(h, 32, 8);       // dwWidth
  putLe32At(h, 36, 8);       // dwHeight
  return h;
}

Bytes streamHeader(const char* type) {
  Bytes h = fourCC(type) + Bytes(52, 0);
  putLe32At(h, 20, 1);   // dwScale
  putLe32At(h, 24, 25);  // dwRate
  return h;
}

Bytes waveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits,
                 std::optional<uint16_t> cbSize, const Bytes& extra) {
  Bytes f = le16(tag) + le16(channels) + le32(rate) + le32(rate * blockAlign) + le16(blockAlign) + le16(bits);
  if (cbSize) f = f + le16(*cbSize) + extra;
  return f;
}

Bytes mp3Format() {
  // MPEG-1 layer III, stereo, 44100 Hz, 128 kbit/s, as ffmpeg writes it.
  return waveFormat(0x55, 2, 44100, 1152, 0, 12) + le16(1) + le32(2) + le16(1152) + le16(1) + le16(1393);
}

RiffBuilder aviHeader(const std::vector<StreamLayout>& streams, std::optional<uint32_t> declaredStreams) {
  RiffBuilder b;
  b.list("RIFF", "AVI ").list("LIST", "hdrl");
  b.chunk("avih", mainHeader(declaredStreams.value_or(static_cast<uint32_t>(streams.size()))));
  for (const StreamLayout& s : streams) b.list("LIST", "strl").chunk("strh", streamHeader(s.type)).chunk("strf", s.format).end();
  b.end();
  return b;
}

void makeSoundAvi(const std::string& path, const std::vector<std::string>& audioArgs, const std::string& rate) {
  std::vector<std::string> args = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                   "testsrc=size=16x8:duration=1:rate=" + rate};
  if (!audioArgs.empty()) {
    args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1"});
  }
  args.insert(args.end(), {"-c:v", "rawvideo", "-pix_fmt", "bgr24"});
  args.insert(args.end(), audioArgs.begin(), audioArgs.end());
  args.push_back(path);
  const platform::ChildResult r = platform::runChild(args, platform::ChildOutput::kCapture);
  ASSERT_TRUE(r.started && r.exitStatus == 0) << r.output;
}

Bytes ffmpegSoundBytes(const std::string& aviPath, const std::string& format) {
  TempDir dir;
  const std::string out = dir.file("sound." + format);
  std::vector<std::string> args = {"ffmpeg", "-v", "error", "-i", aviPath, "-map", "0:a:0", "-c", "copy", "-f", format};
  // No header of the MP3 container's own: the stream's bytes alone.
  if (format == "mp3") args.insert(args.end(), {"-write_xing", "0", "-id3v2_version", "0"});
  args.push_back(out);
  const platform::ChildResult r = platform::runChild(args, platform::ChildOutput::kCapture);
  EXPECT_TRUE(r.started && r.exitStatus == 0) << r.output;
  return readFile(out);
}

}  // namespace quarn::testing
