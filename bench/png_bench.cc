// Decoding a 4000 x 3000 PNG to RGBA pixels: this program's decoder against
// libpng on the same bytes, for a photo-like and a screenshot-like picture.
// Both pictures are written by libpng at zlib level 6 with its own filter
// choice when the benchmark starts.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "codecs/png_decoder.h"
#include "support/png_fixture.h"

namespace {

constexpr uint32_t kWidth = 4000, kHeight = 3000;

void appendToVector(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

// RGB 8-bit rows top to bottom, written as a PNG at zlib level 6.
std::vector<uint8_t> writePng(const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("libpng write");
  png_set_write_fn(png, &file, appendToVector, nullptr);
  png_set_compression_level(png, 6);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < kHeight; ++y) png_write_row(png, rgb.data() + size_t{y} * kWidth * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return file;
}

// Smooth colour fields with grain, as a camera gives them.
const std::vector<uint8_t>& photo() {
  static const std::vector<uint8_t> file = [] {
    std::vector<uint8_t> rgb(size_t{kWidth} * kHeight * 3);
    std::mt19937 rng(1);
    for (uint32_t y = 0; y < kHeight; ++y) {
      for (uint32_t x = 0; x < kWidth; ++x) {
        uint8_t* px = rgb.data() + (size_t{y} * kWidth + x) * 3;
        const unsigned grain = rng() & 7;
        px[0] = uint8_t(120 + 100 * std::sin(x * 0.0031 + y * 0.0017) + grain);
        px[1] = uint8_t(120 + 100 * std::cos(x * 0.0023 - y * 0.0029) + grain);
        px[2] = uint8_t(120 + 100 * std::sin(x * 0.0013 + y * 0.0041 + 1) + grain);
      }
    }
    return writePng(rgb);
  }();
  return file;
}

// Flat windows, title bars, lines of "text" repeating, a gradient panel.
const std::vector<uint8_t>& screenshot() {
  static const std::vector<uint8_t> file = [] {
    std::vector<uint8_t> rgb(size_t{kWidth} * kHeight * 3);
    std::mt19937 rng(2);
    std::vector<uint8_t> glyphs(64 * 8 * 12);
    for (uint8_t& g : glyphs) g = (rng() % 3) == 0;
    for (uint32_t y = 0; y < kHeight; ++y) {
      for (uint32_t x = 0; x < kWidth; ++x) {
        uint8_t* px = rgb.data() + (size_t{y} * kWidth + x) * 3;
        const uint32_t wx = x % 1000, wy = y % 750;
        uint8_t r = 236, g = 236, b = 240;  // desktop
        if (wy < 28) {
          r = 40, g = 90, b = 170;  // title bar
        } else if (wx < 220) {
          r = uint8_t(200 - wy / 8), g = uint8_t(210 - wy / 8), b = 225;  // side panel
        } else if (wx > 230 && wx < 980 && wy > 40 && wy < 730) {
          r = g = b = 255;  // page
          const uint32_t line = (wy - 40) / 16, inLine = (wy - 40) % 16, column = (wx - 230) / 8;
          if (inLine < 12 && column < 80 && (line * 7 + column) % 11 != 0) {
            const uint32_t glyph = (line * 31 + column * 17) % 64;
            if (glyphs[(glyph * 12 + inLine) * 8 + (wx - 230) % 8]) r = g = b = 20;
          }
        }
        px[0] = r, px[1] = g, px[2] = b;
      }
    }
    return writePng(rgb);
  }();
  return file;
}

void decodeOurs(benchmark::State& state, const std::vector<uint8_t>& file) {
  quarn::platform::RecordingConsole console;
  for (auto _ : state) {
    quarn::codecs::VkRawPngDecoder decoder(console);
    if (decoder.DecodeMemory(file.data(), file.size()) != quarn::codecs::PngDecodeResult::kDecoded || decoder.outWidth() != int32_t(kWidth)) {
      state.SkipWithError("decode failed");
      return;
    }
    benchmark::DoNotOptimize(decoder.pixels());
  }
  state.counters["file_bytes"] = double(file.size());
}

// libpng's decode to RGBA as the tests use it: expand, strip 16 bits,
// grey to RGB, alpha filler; one cleared block of rows like the decoder's.
void decodeLibpng(benchmark::State& state, const std::vector<uint8_t>& file) {
  for (auto _ : state) {
    const quarn::testing::LibpngImage image = quarn::testing::decodeWithLibpng(file);
    if (!image.ok || image.width != kWidth) {
      state.SkipWithError("libpng failed");
      return;
    }
    benchmark::DoNotOptimize(image.rgba.data());
  }
  state.counters["file_bytes"] = double(file.size());
}

void BM_OursPhoto(benchmark::State& s) { decodeOurs(s, photo()); }
void BM_LibpngPhoto(benchmark::State& s) { decodeLibpng(s, photo()); }
void BM_OursScreenshot(benchmark::State& s) { decodeOurs(s, screenshot()); }
void BM_LibpngScreenshot(benchmark::State& s) { decodeLibpng(s, screenshot()); }

}  // namespace

BENCHMARK(BM_OursPhoto)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LibpngPhoto)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_OursScreenshot)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LibpngScreenshot)->Unit(benchmark::kMillisecond)->MinTime(2);
