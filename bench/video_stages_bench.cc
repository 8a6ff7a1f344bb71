// Where the time of a video conversion goes: the stages of one 1920 x 1080
// frame, each alone, on the clip that bench/video_run.sh makes (its path in
// QUARN_BENCH_CLIP; made here with the ffmpeg tool when missing).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/memory_conversion.h"
#include "platform/avi_reader.h"
#include "platform/avi_writer_backend.h"

using namespace quarn;

namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;

std::string clip() {
  if (const char* path = std::getenv("QUARN_BENCH_CLIP")) return path;
  static const std::string made = [] {
    const std::string path = "/tmp/quarn_stages_clip.avi";
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -t 4 -c:v mpeg4 -q:v 3 " + path;
    if (std::system(command.c_str()) != 0) std::abort();
    return path;
  }();
  return made;
}

// Reading and decoding, to blue-green-red rows: the frame loop's input side.
void BM_DecodeToRows(benchmark::State& state) {
  platform::Picture picture;
  int64_t frames = 0;
  for (auto _ : state) {
    std::unique_ptr<platform::AviVideoReader> reader;
    if (platform::AviVideoReader::open(clip(), reader) != platform::AviOpenStatus::kOpened ||
        !reader->openDecoder()) {
      state.SkipWithError("cannot read the clip");
      return;
    }
    while (reader->nextFrame(picture) == platform::FrameStatus::kFrame) ++frames;
  }
  state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeToRows)->Unit(benchmark::kMillisecond)->UseRealTime();

// The anaglyph of one frame, depth 16, in place.
void BM_ConvertFrame(benchmark::State& state) {
  platform::Picture picture;
  if (!picture.reserve(kWidth, kHeight)) {
    state.SkipWithError("no memory");
    return;
  }
  std::memset(picture.view().rows, 90, size_t(picture.view().stride) * kHeight);
  engine::ConversionSettings settings;
  settings.depth = 16;
  settings.variant = engine::OptimisationVariant::kSse2;
  for (auto _ : state) {
    platform::PixelView frame = picture.view();
    benchmark::DoNotOptimize(engine::convertFrame(frame, settings));
  }
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Colour conversion, encoding and writing (to /dev/null) of decoded frames.
void encodeFrames(benchmark::State& state, uint32_t fourcc) {
  std::vector<platform::Picture> frames;
  {
    std::unique_ptr<platform::AviVideoReader> reader;
    if (platform::AviVideoReader::open(clip(), reader) != platform::AviOpenStatus::kOpened ||
        !reader->openDecoder()) {
      state.SkipWithError("cannot read the clip");
      return;
    }
    while (frames.size() < 25) {
      frames.emplace_back();
      if (reader->nextFrame(frames.back()) != platform::FrameStatus::kFrame) {
        frames.pop_back();
        break;
      }
    }
  }
  int64_t written = 0;
  for (auto _ : state) {
    std::FILE* sink = std::fopen("/dev/null", "wb");
    auto writer = platform::AviWriterBackend::create(sink);
    platform::AviVideoTrack track;
    track.fourcc = fourcc;
    track.width = kWidth;
    track.height = kHeight;
    track.rate = {25, 1};
    track.quality = 7000;
    track.expectedFrames = int64_t(frames.size());
    if (writer->begin(track, nullptr, nullptr) != platform::AviWriteStatus::kOk) {
      state.SkipWithError("cannot set up the writer");
      std::fclose(sink);
      return;
    }
    const auto writeWaiting = [&writer] {
      while (writer->nextPacket()) writer->writePacket();
    };
    int64_t position = 0;
    for (const auto& f : frames) {
      writer->encode(f.view(), position++);
      writeWaiting();
    }
    writer->flushPictures();
    writeWaiting();
    writer->finish();
    writer.reset();
    std::fclose(sink);
    written += int64_t(frames.size());
  }
  state.counters["frames/s"] = benchmark::Counter(double(written), benchmark::Counter::kIsRate);
}
void BM_EncodeFmp4(benchmark::State& state) { encodeFrames(state, platform::fourCC("FMP4")); }
void BM_WriteUncompressed(benchmark::State& state) { encodeFrames(state, platform::kFourCCDib); }
BENCHMARK(BM_EncodeFmp4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteUncompressed)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
