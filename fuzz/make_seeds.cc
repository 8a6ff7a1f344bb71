// Writes a fuzz target's seed corpus, made with the test fixtures, into a
// directory, together with the inputs of tests/data/regress/ the target
// reads (findings of earlier runs):
//   make_seeds <target> <directory>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/bmp_fixture.h"
#include "support/exif_fixture.h"
#include "support/fuzz_input.h"
#include "support/picture_fixture.h"
#include "support/png_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace quarn::testing;
using Bytes = std::vector<uint8_t>;

void put(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  std::FILE* f = std::fopen((dir / name).c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::map<std::string, Bytes> bitmaps() {
  return {
      {"rgb24_37x9", makePatternBitmap(37, 9, 24)}, {"rgb24_6x6", makePatternBitmap(6, 6, 24, 2)},
      {"rgb32_13x11", makePatternBitmap(13, 11, 32)}, {"rgb555_7x5", makeSixteenBitBitmap(7, 5, false)},
      {"rgb565_masks_9x8", makeSixteenBitBitmap(9, 8, true)},
  };
}

// The settings bytes before each picture: automatic depth, a negative
// depth with 3D+, colour optimisation with a depth of 9.
void conversionSeeds(const fs::path& dir) {
  const Bytes settings[] = {{1, 0}, {2 | 4, 5}, {8 | 16, 9}};
  int i = 0;
  for (const auto& [name, bitmap] : bitmaps()) {
    Bytes input = settings[i++ % 3];
    input.insert(input.end(), bitmap.begin(), bitmap.end());
    put(dir, name, input);
  }
}

void pngSeeds(const fs::path& dir) {
  struct Kind {
    const char* name;
    uint8_t colourType, bitDepth;
  } kinds[] = {{"grey1", 0, 1}, {"grey8", 0, 8}, {"rgb8", 2, 8},   {"rgb16", 2, 16},
               {"pal4", 3, 4},  {"pal8", 3, 8},  {"ga8", 4, 8},    {"rgba8", 6, 8}};
  Bytes palette;
  for (int i = 0; i < 3 * 16; ++i) palette.push_back(uint8_t(i * 5));
  for (const Kind& k : kinds) {
    for (const bool adam7 : {false, true}) {
      PngOptions options;
      options.idatSize = 64;
      if (k.colourType == 3) options.palette = palette;
      if (k.colourType == 0) options.transparency = {0, 7};
      options.gamma = adam7;
      const PngPicture picture = randomPicture(11, 7, k.colourType, k.bitDepth, adam7, 3, 16);
      put(dir, std::string(k.name) + (adam7 ? "_adam7" : ""), encodePng(picture, options));
    }
  }
}

void inflateSeeds(const fs::path& dir) {
  Bytes data;
  for (int i = 0; i < 3000; ++i) data.push_back(uint8_t(i % 251 < 100 ? i % 7 : i * 13));
  const struct {
    const char* name;
    int level, strategy;
  } streams[] = {{"stored", 0, Z_DEFAULT_STRATEGY}, {"fast", 1, Z_DEFAULT_STRATEGY},
                 {"default", 6, Z_DEFAULT_STRATEGY}, {"fixed", 9, Z_FIXED},
                 {"huffman_only", 6, Z_HUFFMAN_ONLY}, {"rle", 6, Z_RLE}};
  for (const auto& s : streams) {
    Bytes input = {0};  // the sink never stops
    const Bytes z = zlibCompress(data, s.level, s.strategy);
    input.insert(input.end(), z.begin(), z.end());
    put(dir, s.name, input);
  }
}

void jpegSeeds(const fs::path& dir) {
  writeJpeg((dir / "colour_23x17.jpg").string(), {23, 17});
  writeJpeg((dir / "grey_9x30.jpg").string(), {9, 30, JpegKind::kGrey});
  writeJpeg((dir / "progressive_33x9.jpg").string(), {33, 9, JpegKind::kColour, true});
  writeJpeg((dir / "cmyk_8x8.jpg").string(), {8, 8, JpegKind::kCmyk});
  writeJpeg((dir / "quality100_16x16.jpg").string(), {16, 16, JpegKind::kColour, false, 100});
}

void tiffSeeds(const fs::path& dir) {
  const struct {
    const char* name;
    TiffPicture picture;
  } pictures[] = {
      {"rgb_lzw.tif", {17, 11, TiffKind::kRgb}},
      {"rgba_raw_bottom_up.tif", {9, 5, TiffKind::kRgba, 4, 2, 0, false}},
      {"grey.tif", {12, 7, TiffKind::kGrey}},
      {"palette.tif", {10, 6, TiffKind::kPalette}},
      {"cmyk.tif", {8, 4, TiffKind::kCmyk}},
      {"rgb_tiled.tif", {40, 20, TiffKind::kRgb, 1, 0, 16}},
  };
  for (const auto& p : pictures) writeTiff((dir / p.name).string(), p.picture);
}

void exifSeeds(const fs::path& dir) {
  put(dir, "rotated_thumbnail_le", makeExif({6, false, 4032, 3024, 160}));
  put(dir, "mirrored_be", makeExif({2, true, 640, 480, 0}));
  put(dir, "no_orientation", makeExif({}));
  Bytes prefixed = {'E', 'x', 'i', 'f', 0, 0};
  const Bytes block = makeExif({8, true, 100, 200, 40});
  prefixed.insert(prefixed.end(), block.begin(), block.end());
  put(dir, "prefixed_be", prefixed);
}

// Regression inputs are named by what they are: a file of a picture kind,
// or the input of a target whose bytes are not a plain file.
const std::map<std::string, std::vector<std::string>> kRegressExtensions = {
    {"bmp_file_fuzz", {".bmpfile"}}, {"memory_fuzz", {".memory"}}, {"png_fuzz", {".png"}},
    {"inflate_fuzz", {".zlib"}},     {"jpeg_fuzz", {".jpg"}},      {"tiff_fuzz", {".tif"}},
    {"mp3_chunks_fuzz", {".avi"}},   {"wav_fuzz", {".wav"}},       {"avi_audio_fuzz", {".avi"}},
    {"avi_fuzz", {".avi"}},          {"exif_fuzz", {".exif"}},     {"heif_fuzz", {".heic", ".avif"}},
    {"webp_fuzz", {".webp"}},        {"media_fuzz", {".media"}},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds <target> <directory>\n");
    return 2;
  }
  const std::string target = argv[1];
  const fs::path dir = argv[2];
  std::error_code error;
  fs::create_directories(dir, error);
  if (target == "bmp_file_fuzz" || target == "memory_fuzz") {
    conversionSeeds(dir);
  } else if (target == "png_fuzz") {
    pngSeeds(dir);
  } else if (target == "inflate_fuzz") {
    inflateSeeds(dir);
  } else if (target == "jpeg_fuzz") {
    jpegSeeds(dir);
  } else if (target == "tiff_fuzz") {
    tiffSeeds(dir);
  } else if (target == "exif_fuzz") {
    exifSeeds(dir);
  }
  const auto extensions = kRegressExtensions.find(target);
  if (extensions == kRegressExtensions.end()) return 0;
  for (const fs::directory_entry& e : fs::directory_iterator(QUARN_REGRESS_DIR, error)) {
    for (const std::string& extension : extensions->second) {
      if (e.path().extension() == extension) fs::copy_file(e.path(), dir / e.path().filename(),
                                                            fs::copy_options::overwrite_existing, error);
    }
  }
  return 0;
}
