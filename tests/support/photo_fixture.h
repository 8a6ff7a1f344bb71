// photo_fixture.h: HEIF and WebP files made at test time. The standard
// tools make them from PNG pictures written here: heif-enc (HEIC, AVIF, 8
// and 10 bits, alpha), cwebp (lossless and lossy), webpmux (EXIF and ICC
// chunks), img2webp (animations). What heif-enc cannot say, rotation and
// mirroring, and the metadata of HEIF files are written through libheif's
// encoder. Then libheif's own decode, to hold the program to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/upright_model.h"

namespace quarn::testing {

// True when heif-enc, cwebp, webpmux and img2webp are all installed.
bool havePhotoTools();

// A picture of smooth gradients with a mark near its top-left corner, so
// that a lossy codec keeps it close and a wrong turn shows; alpha varies
// across it when `alpha` is set (otherwise 255).
Grid photoGrid(uint32_t width, uint32_t height, bool alpha);

// A PNG of `grid` (8 bits, RGB or RGBA), or of 16 bits per sample.
void writePng(const std::string& path, const Grid& grid, bool alpha, bool sixteenBits = false);

struct HeifByTool {
  uint32_t width = 40, height = 24;
  bool avif = false;
  int bitDepth = 8;  // 8, or 10 or 12 from a 16-bit PNG
  bool alpha = false;
  bool lossless = false;  // lossless, 4:4:4, RGB coefficients
};
// heif-enc's file of photoGrid(width, height, alpha); throws when it fails.
void writeHeifByTool(const std::string& path, const HeifByTool& heif);

struct HeifByLibrary {
  Grid grid;
  bool avif = false;
  int orientation = 1;  // the irot and imir properties: the stored picture is shown turned so
  std::vector<uint8_t> exif = {};  // an Exif item; empty: none
  std::vector<uint8_t> icc = {};   // an ICC profile; empty: none
};
// libheif's encoder at high quality, 4:4:4, of `grid` as stored.
void writeHeifByLibrary(const std::string& path, const HeifByLibrary& heif);

// libheif's decode of the primary image, 8 bits, with its alpha (255 where
// there is none): as shown, or as stored when `ignoreTransformations`.
Grid decodeHeifGrid(const std::string& path, bool ignoreTransformations = false);

struct WebpPicture {
  Grid grid;
  bool lossless = true;
  bool alpha = false;
  std::vector<uint8_t> exif = {};  // an EXIF chunk; empty: none
  std::vector<uint8_t> icc = {};   // an ICCP chunk; empty: none
};
void writeWebp(const std::string& path, const WebpPicture& webp);

// A lossless animation of two frames of width × height: the first is
// photoGrid's picture, the second its mirror image.
void writeAnimatedWebp(const std::string& path, uint32_t width, uint32_t height);

// libwebp's decode (of an animation, its first frame's canvas): alpha 255
// where the file has none.
Grid decodeWebpGrid(const std::string& path);

}  // namespace quarn::testing
