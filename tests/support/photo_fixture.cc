#include "support/photo_fixture.h"

#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <filesystem>
#include <stdexcept>

#include "platform/dialogs.h"
#include "support/png_fixture.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace quarn::testing {
namespace {

void run(const std::string& tool, const std::vector<std::string>& args) {
  ProgramRun r;
  r.args = args;
  r.timeoutSeconds = 120;
  const ProgramResult result = runProgram(platform::findOnPath(tool), r);
  if (result.exitCode != 0) throw std::runtime_error(tool + " failed: " + result.err + result.out);
}

void check(const heif_error& error, const char* what) {
  if (error.code != heif_error_Ok) throw std::runtime_error(std::string(what) + ": " + error.message);
}

// Rows of red-green-blue-alpha pixels.
Grid gridOfRgba(uint32_t width, uint32_t height, const uint8_t* rgba, size_t stride) {
  Grid g{width, height, {}};
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* p = rgba + stride * y;
    for (uint32_t x = 0; x < width; ++x, p += 4) g.pixels.push_back({p[2], p[1], p[0], p[3]});
  }
  return g;
}

}  // namespace

bool havePhotoTools() {
  for (const char* tool : {"heif-enc", "cwebp", "webpmux", "img2webp"}) {
    if (platform::findOnPath(tool).empty()) return false;
  }
  return true;
}

Grid photoGrid(uint32_t width, uint32_t height, bool alpha) {
  Grid g{width, height, {}};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      // A dark block in the top-left eighth: turned or mirrored, it moves.
      const bool mark = x < width / 8 + 1 && y < height / 8 + 1;
      const auto r = uint8_t(mark ? 20 : 60 + 180 * x / std::max(width, 1u));
      const auto gr = uint8_t(mark ? 20 : 40 + 200 * y / std::max(height, 1u));
      const auto b = uint8_t(mark ? 200 : 120 + (x + y) % 32);
      g.pixels.push_back({b, gr, r, uint8_t(alpha ? 55 + 200 * x / std::max(width, 1u) : 255)});
    }
  }
  return g;
}

void writePng(const std::string& path, const Grid& grid, bool alpha, bool sixteenBits) {
  PngPicture p;
  p.width = grid.width;
  p.height = grid.height;
  p.colourType = alpha ? 6 : 2;
  p.bitDepth = sixteenBits ? 16 : 8;
  for (const Pixel& px : grid.pixels) {
    for (const uint8_t v : {px.r, px.g, px.b}) p.samples.push_back(sixteenBits ? uint16_t(v * 257) : v);
    if (alpha) p.samples.push_back(sixteenBits ? uint16_t(px.a * 257) : px.a);
  }
  writeFile(path, encodePng(p));
}

void writeHeifByTool(const std::string& path, const HeifByTool& heif) {
  TempDir dir;
  const std::string png = dir.file("in.png");
  writePng(png, photoGrid(heif.width, heif.height, heif.alpha), heif.alpha, heif.bitDepth > 8);
  std::vector<std::string> args = {"-q", "90"};
  if (heif.bitDepth > 8) args.insert(args.end(), {"-b", std::to_string(heif.bitDepth)});
  if (heif.avif) args.push_back("-A");
  // Debian 12's aom fails an assertion writing the colour configuration of
  // 10-bit 4:2:0 and 4:4:4 pictures; 4:2:2 ones it writes.
  if (heif.avif && heif.bitDepth == 10) args.insert(args.end(), {"-p", "chroma=422"});
  if (heif.lossless) args.insert(args.end(), {"-L", "-p", "chroma=444", "--matrix_coefficients=0"});
  args.insert(args.end(), {"-o", path, png});
  run("heif-enc", args);
}

void writeHeifByLibrary(const std::string& path, const HeifByLibrary& heif) {
  const Grid& g = heif.grid;
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  check(heif_context_get_encoder_for_format(context, heif.avif ? heif_compression_AV1 : heif_compression_HEVC,
                                            &encoder),
        "encoder");
  heif_encoder_set_lossy_quality(encoder, 95);
  heif_encoder_set_parameter_string(encoder, "chroma", "444");
  heif_image* image = nullptr;
  check(heif_image_create(int(g.width), int(g.height), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image),
        "image");
  check(heif_image_add_plane(image, heif_channel_interleaved, int(g.width), int(g.height), 8), "plane");
  int stride = 0;
  uint8_t* rows = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (uint32_t y = 0; y < g.height; ++y) {
    for (uint32_t x = 0; x < g.width; ++x) {
      const Pixel p = g.at(x, y);
      uint8_t* to = rows + ptrdiff_t(stride) * y + 3 * x;
      to[0] = p.r, to[1] = p.g, to[2] = p.b;
    }
  }
  if (!heif.icc.empty()) {
    check(heif_image_set_raw_color_profile(image, "prof", heif.icc.data(), heif.icc.size()), "profile");
  }
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = heif_orientation(heif.orientation);
  heif_image_handle* handle = nullptr;
  check(heif_context_encode_image(context, image, encoder, options, &handle), "encode");
  if (!heif.exif.empty()) {
    check(heif_context_add_exif_metadata(context, handle, heif.exif.data(), int(heif.exif.size())), "exif");
  }
  check(heif_context_write_to_file(context, path.c_str()), "write");
  heif_image_handle_release(handle);
  heif_encoding_options_free(options);
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);
}

Grid decodeHeifGrid(const std::string& path, bool ignoreTransformations) {
  heif_context* context = heif_context_alloc();
  check(heif_context_read_from_file(context, path.c_str(), nullptr), "read");
  heif_image_handle* handle = nullptr;
  check(heif_context_get_primary_image_handle(context, &handle), "primary");
  heif_decoding_options* options = heif_decoding_options_alloc();
  options->ignore_transformations = ignoreTransformations;
  options->convert_hdr_to_8bit = 1;
  heif_image* image = nullptr;
  check(heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options), "decode");
  int stride = 0;
  const uint8_t* rows = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
  const auto width = uint32_t(heif_image_get_width(image, heif_channel_interleaved));
  const auto height = uint32_t(heif_image_get_height(image, heif_channel_interleaved));
  const Grid g = gridOfRgba(width, height, rows, size_t(stride));
  heif_image_release(image);
  heif_decoding_options_free(options);
  heif_image_handle_release(handle);
  heif_context_free(context);
  return g;
}

void writeWebp(const std::string& path, const WebpPicture& webp) {
  TempDir dir;
  writePng(dir.file("in.png"), webp.grid, webp.alpha);
  std::vector<std::string> args = {"-quiet"};
  if (webp.lossless) args.push_back("-lossless");
  else args.insert(args.end(), {"-q", "90"});
  const std::string plain = webp.exif.empty() && webp.icc.empty() ? path : dir.file("plain.webp");
  args.insert(args.end(), {dir.file("in.png"), "-o", plain});
  run("cwebp", args);
  std::string current = plain;
  if (!webp.icc.empty()) {
    writeFile(dir.file("profile.icc"), webp.icc);
    const std::string next = webp.exif.empty() ? path : dir.file("icc.webp");
    run("webpmux", {"-set", "icc", dir.file("profile.icc"), current, "-o", next});
    current = next;
  }
  if (!webp.exif.empty()) {
    writeFile(dir.file("block.exif"), webp.exif);
    run("webpmux", {"-set", "exif", dir.file("block.exif"), current, "-o", path});
  }
}

void writeAnimatedWebp(const std::string& path, uint32_t width, uint32_t height) {
  TempDir dir;
  const Grid first = photoGrid(width, height, false);
  writePng(dir.file("1.png"), first, false);
  writePng(dir.file("2.png"), mirroredLeftToRight(first), false);
  run("img2webp", {"-lossless", dir.file("1.png"), dir.file("2.png"), "-o", path});
}

Grid decodeWebpGrid(const std::string& path) {
  const std::vector<uint8_t> bytes = readFile(path);
  const WebPData data{bytes.data(), bytes.size()};
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = MODE_RGBA;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  if (decoder == nullptr) throw std::runtime_error("libwebp cannot read " + path);
  WebPAnimInfo info;
  WebPAnimDecoderGetInfo(decoder, &info);
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  WebPAnimDecoderGetNext(decoder, &canvas, &timestamp);
  const Grid g = gridOfRgba(info.canvas_width, info.canvas_height, canvas, size_t{4} * info.canvas_width);
  WebPAnimDecoderDelete(decoder);
  return g;
}

}  // namespace quarn::testing
