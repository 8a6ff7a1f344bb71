// The frame loop between a scripted reader and a recording writer backend:
// what reaches the writer, in which order, and how each ending comes about.
#include "video/frame_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "video/avi_writer.h"

using namespace quarn;
using namespace quarn::video;
using platform::FrameStatus;

namespace {

// Positions of a stream, each a picture of the reader's size or an outcome
// without one. The pictures' pixels tell their position.
class ScriptedReader final : public platform::VideoReader {
 public:
  ScriptedReader(uint32_t width, uint32_t height, std::vector<FrameStatus> script) : script_(std::move(script)) {
    facts_.width = width;
    facts_.height = height;
    facts_.rate = {25, 1};
    facts_.length = static_cast<int64_t>(script_.size());
  }
  const platform::VideoFacts* video() const override { return &facts_; }
  bool openDecoder() override { return true; }
  FrameStatus nextFrame(platform::Picture& picture) override {
    if (next_ >= script_.size()) return FrameStatus::kEnd;
    const FrameStatus status = script_[next_];
    if (status == FrameStatus::kFrame) {
      if (!picture.reserve(facts_.width, facts_.height)) return FrameStatus::kOutOfMemory;
      const platform::PixelView rows = picture.view();
      for (uint32_t y = 0; y < rows.height; ++y) std::memset(rows.rows + rows.stride * y, int(next_), rows.width * 3);
      picture.setTime(static_cast<int64_t>(next_));
    }
    ++next_;
    return status;
  }

 private:
  platform::VideoFacts facts_;
  std::vector<FrameStatus> script_;
  size_t next_ = 0;
};

// What reaches the writer's file, kept beyond the writer's life.
struct Recording {
  std::vector<std::string> log;
  std::vector<uint8_t> sound;
};

// Records what is written. Packets come out `delay` pictures after they go
// in, as from an encoder that holds pictures back.
class RecordingBackend final : public platform::AviWriterBackend {
 public:
  RecordingBackend(Recording& recording, size_t delay, int64_t failAtPacket)
      : log_(recording.log), sound_(recording.sound), delay_(delay), failAtPacket_(failAtPacket) {}
  platform::AviWriteStatus begin(const platform::AviVideoTrack& video, const SoundFormat* sound,
                                 platform::SoundCopy*) override {
    log_.push_back("begin " + platform::fourCCText(video.fourcc) + " " + std::to_string(video.width) + "x" +
                   std::to_string(video.height) + (sound != nullptr ? " with sound" : ""));
    return platform::AviWriteStatus::kOk;
  }
  platform::AviWriteStatus encode(const platform::PixelView& picture, int64_t position) override {
    held_.push_back(position);
    log_.push_back("picture " + std::to_string(position) + " shows " + std::to_string(picture.topDown().rows[0]));
    if (held_.size() > delay_) {
      ready_.push_back(held_.front());
      held_.pop_front();
    }
    return platform::AviWriteStatus::kOk;
  }
  platform::AviWriteStatus flushPictures() override {
    ready_.insert(ready_.end(), held_.begin(), held_.end());
    held_.clear();
    return platform::AviWriteStatus::kOk;
  }
  std::optional<int64_t> nextPacket() const override {
    return ready_.empty() ? std::nullopt : std::optional<int64_t>(ready_.front());
  }
  platform::AviWriteStatus writePacket() override {
    if (ready_.front() == failAtPacket_) return platform::AviWriteStatus::kWriteFailed;
    log_.push_back("packet " + std::to_string(ready_.front()));
    ready_.pop_front();
    return platform::AviWriteStatus::kOk;
  }
  platform::AviWriteStatus writeSound(const uint8_t* bytes, size_t size) override {
    log_.push_back("sound " + std::to_string(size));
    sound_.insert(sound_.end(), bytes, bytes + size);
    return platform::AviWriteStatus::kOk;
  }
  platform::AviWriteStatus writeCopiedSound(int64_t) override { return platform::AviWriteStatus::kOk; }
  platform::AviWriteStatus finish() override {
    log_.push_back("finish");
    return platform::AviWriteStatus::kOk;
  }


 private:
  std::vector<std::string>& log_;
  std::vector<uint8_t>& sound_;
  size_t delay_;
  int64_t failAtPacket_;
  std::deque<int64_t> held_, ready_;
};

// A track that gives at most 1000 bytes a read, as a source of many small
// chunks does.
class SlowSamples final : public SoundSamples {
 public:
  explicit SlowSamples(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  size_t read(uint8_t* into, size_t bytes) override {
    const size_t n = std::min({bytes, size_t{1000}, bytes_.size() - at_});
    std::memcpy(into, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }
  bool holdsAtLeast(uint64_t bytes) override { return bytes_.size() >= bytes; }

 private:
  std::vector<uint8_t> bytes_;
  size_t at_ = 0;
};

class RecordingProgress final : public FrameLoopProgress {
 public:
  std::string log;
  void start(int64_t total) override { log += "start " + std::to_string(total) + ";"; }
  void frameAt(int64_t) override {}
  void writingStarted() override { log += "writing;"; }
  void finish() override { log += "finish;"; }
  void abandon() override { log += "abandon;"; }
};

class Chooser final : public platform::MessageBoxes {
 public:
  platform::BoxAnswer show(std::string_view, std::string_view, platform::BoxStyle) override {
    return platform::BoxAnswer::kOk;
  }
};

struct LoopSetup {
  std::vector<FrameStatus> script;
  uint32_t width = 40, height = 20;
  platform::FourCC codec = platform::fourCC("FMP4");  // 0: the chooser is asked, and cancelled
  size_t delay = 0;
  int64_t failAtPacket = -1;
  std::optional<SoundToCarry> sound = std::nullopt;
  FrameRate rate{25, 1};
};

struct LoopRun {
  VideoEnding ending;
  WriteResult closed = WriteResult::kError;
  Recording written;
  std::string console, progress;
};

// The loop as the video branch runs it, the writer closed after it.
LoopRun run(LoopSetup setup) {
  quarn::testing::TempDir dir;
  LoopRun out;
  ScriptedReader reader(setup.width, setup.height, setup.script);
  std::unique_ptr<AviWriter> writer;
  EXPECT_EQ(platform::CreateStatus::kCreated,
            createAviWriter(dir.file("out.avi"), setup.rate, 0, writer,
                            std::make_unique<RecordingBackend>(out.written, setup.delay, setup.failAtPacket)));
  if (setup.sound) setAviWriterSound(*writer, std::move(*setup.sound));
  CompressOptions options{setup.codec, 5000};
  Chooser chooser;
  platform::RecordingConsole console;
  RecordingProgress progress;
  engine::ConversionSettings settings;
  settings.depth = 8;
  FrameLoop loop{reader, setup.rate, int64_t(setup.script.size()), *writer, settings, options, chooser, console, progress};
  out.ending = openVideoStream(loop);
  if (out.ending == VideoEnding::kFinished) out.ending = convertVideoFrames(loop);
  if (out.ending == VideoEnding::kFinished) out.closed = closeAviWriter(writer);
  out.console = console.text();
  out.progress = progress.log;
  return out;
}

std::vector<uint8_t> counting(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

SoundToCarry sound(uint16_t channels, uint16_t bits, uint32_t samplesPerSec, size_t bytes) {
  const auto block = static_cast<uint16_t>(channels * bits / 8);
  return {SoundFormat{1, channels, samplesPerSec, samplesPerSec * block, block, bits, {}},
          std::make_unique<SlowSamples>(counting(bytes))};
}

constexpr FrameStatus kFrame = FrameStatus::kFrame;
constexpr FrameStatus kUndecodable = FrameStatus::kUndecodable;

}  // namespace

TEST(FrameLoop, EndingsAndWhatReachesTheWriter) {
  const std::string kCannot = " \nne moje da se dekompresira";
  struct Case {
    const char* name;
    LoopSetup setup;
    VideoEnding ending;
    std::vector<std::string> log;
    std::string console, progress;
  } cases[] = {
      {"frames converted in order, the codec set up on the first",
       {{kFrame, kFrame}},
       VideoEnding::kFinished,
       {"begin FMP4 32x20", "picture 0 shows 0", "packet 0", "picture 1 shows 1", "packet 1", "finish"},
       "\n",
       "start 2;writing;finish;"},
      {"an undecodable frame is reported and skipped; the loop goes on",
       {{kFrame, kUndecodable, kFrame, kUndecodable}},
       VideoEnding::kFinished,
       {"begin FMP4 32x20", "picture 0 shows 0", "packet 0", "picture 1 shows 2", "packet 1", "finish"},
       "\n" + kCannot + kCannot,
       "start 4;writing;finish;"},
      {"frames too small to convert are dropped without a word",
       {{kFrame, kFrame}, 40, 3},
       VideoEnding::kFinished,
       {},
       "\n",
       "start 2;finish;"},
      {"a frame the writer cannot write ends the run",
       {{kFrame, kFrame, kFrame}, 40, 20, platform::fourCC("FMP4"), 0, 1},
       VideoEnding::kWriteFailed,
       {"begin FMP4 32x20", "picture 0 shows 0", "packet 0", "picture 1 shows 1"},
       "\n",
       "start 3;writing;abandon;"},
      {"a cancelled codec choice ends the run before any frame is written",
       {{kFrame}, 40, 20, 0},
       VideoEnding::kCancelled,
       {},
       "\n",
       "start 1;abandon;"},
      {"no memory for a picture ends the run",
       {{kFrame, FrameStatus::kOutOfMemory, kFrame}},
       VideoEnding::kOutOfMemory,
       {"begin FMP4 32x20", "picture 0 shows 0", "packet 0"},
       "\n",
       "start 3;writing;abandon;"},
  };
  for (Case& c : cases) {
    const LoopRun r = run(std::move(c.setup));
    EXPECT_EQ(c.ending, r.ending) << c.name;
    EXPECT_EQ(c.log, r.written.log) << c.name;
    EXPECT_EQ(c.console, r.console) << c.name;
    EXPECT_EQ(c.progress, r.progress) << c.name;
  }
}

TEST(FrameLoop, EachPacketComesAfterTheSoundUpToItsFramesEnd) {
  // 30000/1001 frames a second, 44100 Hz 16-bit stereo: frame p ends at
  // sample frame (p + 1) * 44100 * 1001 / 30000, rounded down. The encoder
  // holds two pictures back; the sound still goes just before each packet.
  LoopSetup setup{{kFrame, kFrame, kFrame, kFrame}};
  setup.rate = {30000, 1001};
  setup.delay = 2;
  setup.sound = sound(2, 16, 44100, 4 * 5000 + 3);  // ends in a partial sample frame
  const LoopRun r = run(std::move(setup));
  EXPECT_EQ(VideoEnding::kFinished, r.ending);
  const std::vector<std::string> want = {
      "begin FMP4 32x20 with sound", "picture 0 shows 0", "picture 1 shows 1", "picture 2 shows 2",
      "sound 5884", "packet 0", "picture 3 shows 3", "sound 5884", "packet 1", "sound 5888", "packet 2",
      "sound 2344", "packet 3", "finish"};
  EXPECT_EQ(want, r.written.log);
}

TEST(FrameLoop, AllTheSoundInWholeSampleFramesWhateverItsLength) {
  // Stereo 24-bit: six bytes a sample frame, which a 1 MiB write does not
  // hold a whole number of. The rest of a long track goes at the close.
  const struct {
    size_t bytes;
    size_t carried;
  } cases[] = {{6 * 600000, 6 * 600000}, {6 * 600000 + 5, 6 * 600000}, {4, 0}, {6 * 7, 6 * 7}};
  for (const auto& c : cases) {
    LoopSetup setup{{kFrame, kFrame}};
    setup.sound = sound(2, 24, 48000, c.bytes);
    const LoopRun r = run(std::move(setup));
    ASSERT_EQ(VideoEnding::kFinished, r.ending);
    const std::vector<uint8_t> sent = counting(c.bytes);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + c.carried), r.written.sound) << c.bytes;
  }
}
