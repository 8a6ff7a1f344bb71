// The transform's passes on a 4000 x 3000 24-bit picture, beside a plain
// memcpy of the same buffer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/anaglyph.h"
#include "engine/memory_conversion.h"
#include "support/optimise_colours.h"

using namespace quarn::engine;
using quarn::testing::optimiseColours;

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;

// Photo-like: smooth colour fields with a little grain, so neighbouring
// pixels have similar colours as in a real picture. `noise`: every byte
// random instead, the worst case for the colour table.
std::vector<uint8_t> picture(bool noise = false) {
  const size_t stride = rowStride(kWidth, 3);
  std::vector<uint8_t> b(kHeaderSize + stride * kHeight);
  writeBitmapHeader(b.data(), kWidth, kHeight, 24);
  std::mt19937 rng(1);
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = b.data() + kHeaderSize + stride * size_t(y);
    for (int32_t x = 0; x < kWidth; ++x) {
      uint8_t* px = row + 3 * size_t(x);
      if (noise) {
        px[0] = uint8_t(rng()), px[1] = uint8_t(rng()), px[2] = uint8_t(rng());
        continue;
      }
      const unsigned grain = rng() & 7;
      px[0] = uint8_t(120 + 100 * std::sin(x * 0.0031 + y * 0.0017) + grain);
      px[1] = uint8_t(120 + 100 * std::cos(x * 0.0023 - y * 0.0029) + grain);
      px[2] = uint8_t(120 + 100 * std::sin(x * 0.0013 + y * 0.0041 + 1) + grain);
    }
  }
  return b;
}

ConversionState geometry(int32_t depth) {
  ConversionState s;
  s.pixelOffset = kHeaderSize;
  s.width = kWidth;
  s.sourceHeight = kHeight;
  s.height = kHeight;
  s.effectiveDepth = depth;
  s.outputWidth = kWidth - depth;
  s.bytesPerPixel = 3;
  return s;
}

void setBytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> a = picture(), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  setBytes(state, a.size());
}

void BM_ShiftRedView(benchmark::State& state) {
  std::vector<uint8_t> a = picture();
  const ConversionState s = geometry(16);
  const bool negative = state.range(0) != 0;
  for (auto _ : state) {
    shiftRedView(a.data(), s, negative);
    benchmark::ClobberMemory();
  }
  setBytes(state, a.size());
}

void BM_ShiftRedViewOneByteAtATime(benchmark::State& state) {
  std::vector<uint8_t> a = picture();
  const ConversionState s = geometry(16);
  for (auto _ : state) {
    reference::shiftRedView(a.data(), s, false);
    benchmark::ClobberMemory();
  }
  setBytes(state, a.size());
}

void BM_OptimiseColours(benchmark::State& state) {
  std::vector<uint8_t> a = picture(state.range(1) != 0);
  const auto variant = static_cast<OptimisationVariant>(state.range(0));
  optimisedRedTable(variant);  // built once per run, not per picture
  for (auto _ : state) {
    optimiseColours(a.data(), kWidth, kHeight, kHeaderSize, 24, variant);
    benchmark::ClobberMemory();
  }
  setBytes(state, a.size());
}

// The pass the conversions run with colour optimisation: recomputed red
// straight into the shifted view.
void BM_ShiftOptimisedRedView(benchmark::State& state) {
  std::vector<uint8_t> a = picture(state.range(0) != 0);
  const ConversionState s = geometry(16);
  optimisedRedTable(OptimisationVariant::kSse2);
  for (auto _ : state) {
    shiftOptimisedRedView(a.data(), s, false, OptimisationVariant::kSse2);
    benchmark::ClobberMemory();
  }
  setBytes(state, a.size());
}

void BM_BuildRedTable(benchmark::State& state) {
  for (auto _ : state) {
    for (int g = 0; g < 256; ++g) {
      for (int b = 0; b < 256; ++b) benchmark::DoNotOptimize(optimisedRed(OptimisationVariant::kSse2, 0, g, b));
    }
  }
}

void BM_ConvertBitmapBuffer(benchmark::State& state) {
  const std::vector<uint8_t> original = picture();
  std::vector<uint8_t> destination(original.size());
  ConversionSettings settings;
  settings.depth = 16;
  settings.colourOptimisation = state.range(0) != 0;
  settings.variant = OptimisationVariant::kSse2;
  std::vector<uint8_t> source;
  for (auto _ : state) {
    state.PauseTiming();
    source = original;
    state.ResumeTiming();
    benchmark::DoNotOptimize(convertBitmapBuffer(source, destination.data(), destination.size(), settings));
  }
  setBytes(state, original.size());
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShiftRedView)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShiftRedViewOneByteAtATime)->Unit(benchmark::kMillisecond);
// {variant, noise}
BENCHMARK(BM_OptimiseColours)
    ->Args({static_cast<int>(OptimisationVariant::kPlain), 0})
    ->Args({static_cast<int>(OptimisationVariant::kSse2), 0})
    ->Args({static_cast<int>(OptimisationVariant::kMmx3DNow), 0})
    ->Args({static_cast<int>(OptimisationVariant::kSse2), 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShiftOptimisedRedView)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildRedTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertBitmapBuffer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
