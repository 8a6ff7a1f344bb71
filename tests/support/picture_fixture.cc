#include "support/picture_fixture.h"

#include <cstdio>
#include <jpeglib.h>
#include <tiffio.h>

#include <csetjmp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace quarn::testing {
namespace {

uint8_t patternByte(uint32_t x, uint32_t y, uint32_t c) {
  uint32_t h = (x * 73856093u) ^ (y * 19349663u) ^ (c * 83492791u);
  h ^= h >> 13;
  return static_cast<uint8_t>((x * 5 + y * 3 + c * 60) + (h & 15));
}

// Encodes top-down rows of `components` bytes per pixel.
void encodeJpeg(const std::string& path, uint32_t width, uint32_t height, int components, J_COLOR_SPACE space,
                int quality, bool progressive, const std::vector<uint8_t>& pixels,
                const std::vector<uint8_t>& exif = {}, const std::vector<uint8_t>& icc = {}) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) throw std::runtime_error("cannot create " + path);
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (!exif.empty()) {
    std::vector<uint8_t> segment = {'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), exif.begin(), exif.end());
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, segment.data(), unsigned(segment.size()));
  }
  if (!icc.empty()) jpeg_write_icc_profile(&cinfo, icc.data(), unsigned(icc.size()));
  while (cinfo.next_scanline < height) {
    JSAMPROW p = const_cast<uint8_t*>(pixels.data()) + size_t{width} * components * cinfo.next_scanline;
    jpeg_write_scanlines(&cinfo, &p, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(out);
}

}  // namespace

void writeJpeg(const std::string& path, const JpegPicture& picture) {
  const int components = picture.kind == JpegKind::kGrey ? 1 : picture.kind == JpegKind::kCmyk ? 4 : 3;
  const J_COLOR_SPACE space =
      picture.kind == JpegKind::kGrey ? JCS_GRAYSCALE : picture.kind == JpegKind::kCmyk ? JCS_CMYK : JCS_RGB;
  std::vector<uint8_t> pixels;
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      for (int c = 0; c < components; ++c) pixels.push_back(patternByte(x, y, uint32_t(c)));
    }
  }
  encodeJpeg(path, picture.width, picture.height, components, space, picture.quality, picture.progressive, pixels,
             picture.exif, picture.icc);
}

// A JPEG file open for decoding with the library's standard errors.
class JpegFile {
 public:
  explicit JpegFile(const std::string& path) : in_(std::fopen(path.c_str(), "rb")) {
    if (in_ == nullptr) throw std::runtime_error("cannot open " + path);
    cinfo.err = jpeg_std_error(&errors_);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, in_);
  }
  ~JpegFile() {
    jpeg_destroy_decompress(&cinfo);
    std::fclose(in_);
  }
  JpegFile(const JpegFile&) = delete;
  JpegFile& operator=(const JpegFile&) = delete;
  jpeg_decompress_struct cinfo;

 private:
  std::FILE* in_;
  jpeg_error_mgr errors_;
};

CarriedData jpegCarried(const std::string& path) {
  JpegFile file(path);
  jpeg_decompress_struct& cinfo = file.cinfo;
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xffff);
  jpeg_read_header(&cinfo, TRUE);
  CarriedData carried;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 || std::memcmp(m->data, "Exif\0\0", 6) != 0) continue;
    ++carried.exifSegments;
    carried.exif.assign(m->data + 6, m->data + m->data_length);
  }
  JOCTET* icc = nullptr;
  unsigned length = 0;
  if (jpeg_read_icc_profile(&cinfo, &icc, &length)) {
    carried.icc.assign(icc, icc + length);
    std::free(icc);
  }
  return carried;
}

CarriedData tiffCarried(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) throw std::runtime_error("cannot open " + path);
  CarriedData carried;
  uint32_t length = 0;
  const uint8_t* icc = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &icc) == 1) carried.icc.assign(icc, icc + length);
  TIFFClose(tif);
  return carried;
}

std::vector<uint8_t> makeIccProfile(size_t bytes) {
  std::vector<uint8_t> profile(std::max<size_t>(bytes, 128));
  for (size_t i = 0; i < profile.size(); ++i) profile[i] = uint8_t(i * 31 + i / 251);
  for (int i = 0; i < 4; ++i) profile[size_t(i)] = uint8_t(profile.size() >> (8 * (3 - i)));  // profile size
  std::memcpy(profile.data() + 36, "acsp", 4);                                               // profile file signature
  return profile;
}

RgbImage decodeJpegRgb(const std::string& path) {
  JpegFile file(path);
  jpeg_decompress_struct& cinfo = file.cinfo;
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  RgbImage image{cinfo.output_width, cinfo.output_height, {}};
  image.rgb.resize(size_t{3} * image.width * image.height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW p = image.rgb.data() + size_t{3} * image.width * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &p, 1);
  }
  jpeg_finish_decompress(&cinfo);
  return image;
}

void encodeJpegRgb(const std::string& path, const RgbImage& image) {
  encodeJpeg(path, image.width, image.height, 3, JCS_RGB, 100, false, image.rgb);
}

void writeTiff(const std::string& path, const TiffPicture& picture) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) throw std::runtime_error("cannot create " + path);
  uint16_t samples = 3, photometric = PHOTOMETRIC_RGB;
  switch (picture.kind) {
    case TiffKind::kRgb:
      break;
    case TiffKind::kRgba: {
      samples = 4;
      const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
      break;
    }
    case TiffKind::kGrey:
      samples = 1;
      photometric = PHOTOMETRIC_MINISBLACK;
      break;
    case TiffKind::kPalette:
      samples = 1;
      photometric = PHOTOMETRIC_PALETTE;
      break;
    case TiffKind::kCmyk:
      samples = 4;
      photometric = PHOTOMETRIC_SEPARATED;
      TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
      break;
  }
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, picture.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, picture.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, picture.orientation);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, picture.lzw ? COMPRESSION_LZW : COMPRESSION_NONE);
  if (!picture.icc.empty()) TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(picture.icc.size()), picture.icc.data());
  if (picture.kind == TiffKind::kPalette) {
    std::vector<uint16_t> r(256), g(256), b(256);
    for (int i = 0; i < 256; ++i) {
      r[i] = static_cast<uint16_t>(i * 257);
      g[i] = static_cast<uint16_t>((255 - i) * 257);
      b[i] = static_cast<uint16_t>((i * 7 % 256) * 257);
    }
    TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  }
  const size_t pixelBytes = samples;
  auto fill = [&](uint8_t* to, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, uint32_t stride) {
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        for (uint16_t c = 0; c < samples; ++c) to[y * stride + x * pixelBytes + c] = patternByte(x0 + x, y0 + y, c);
      }
    }
  };
  if (picture.tileSize != 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, picture.tileSize);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, picture.tileSize);
    std::vector<uint8_t> tile(size_t{picture.tileSize} * picture.tileSize * pixelBytes, 0);
    for (uint32_t y = 0; y < picture.height; y += picture.tileSize) {
      for (uint32_t x = 0; x < picture.width; x += picture.tileSize) {
        fill(tile.data(), x, y, std::min(picture.tileSize, picture.width - x), std::min(picture.tileSize, picture.height - y),
             static_cast<uint32_t>(picture.tileSize * pixelBytes));
        TIFFWriteTile(tif, tile.data(), x, y, 0, 0);
      }
    }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, picture.rowsPerStrip);
    std::vector<uint8_t> row(picture.width * pixelBytes);
    for (uint32_t y = 0; y < picture.height; ++y) {
      fill(row.data(), 0, y, picture.width, 1, static_cast<uint32_t>(row.size()));
      TIFFWriteScanline(tif, row.data(), y, 0);
    }
  }
  TIFFClose(tif);
}

RgbaImage readTiffRgba(const std::string& path, int orientation) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) throw std::runtime_error("cannot open " + path);
  RgbaImage image;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &image.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &image.height);
  std::vector<uint32_t> raster(size_t{image.width} * image.height);
  const int ok = TIFFReadRGBAImageOriented(tif, image.width, image.height, raster.data(), orientation, 0);
  TIFFClose(tif);
  if (!ok) throw std::runtime_error("libtiff cannot read " + path);
  image.rgba.resize(raster.size() * 4);
  for (size_t i = 0; i < raster.size(); ++i) {
    image.rgba[4 * i] = static_cast<uint8_t>(TIFFGetR(raster[i]));
    image.rgba[4 * i + 1] = static_cast<uint8_t>(TIFFGetG(raster[i]));
    image.rgba[4 * i + 2] = static_cast<uint8_t>(TIFFGetB(raster[i]));
    image.rgba[4 * i + 3] = static_cast<uint8_t>(TIFFGetA(raster[i]));
  }
  return image;
}

namespace {

struct JpegErrors {
  jpeg_error_mgr manager;  // first: the library's pointer is ours
  std::jmp_buf fatal;
  char message[JMSG_LENGTH_MAX];
  bool said = false;
};

void keepFirstMessage(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  if (errors->said) return;
  cinfo->err->format_message(cinfo, errors->message);
  errors->said = true;
}

std::string tiffMessage;

void keepTiffMessage(const char* module, const char* format, va_list args) {
  if (!tiffMessage.empty()) return;
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  tiffMessage = std::string(module != nullptr ? module : "") + ": " + text;
}

}  // namespace

std::string jpegFault(const std::string& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
  if (in == nullptr) return "cannot open";
  jpeg_decompress_struct cinfo{};
  JpegErrors errors;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.output_message = keepFirstMessage;
  errors.manager.error_exit = [](j_common_ptr c) {
    keepFirstMessage(c);
    std::longjmp(reinterpret_cast<JpegErrors*>(c->err)->fatal, 1);
  };
  jpeg_create_decompress(&cinfo);
  // Nothing with a destructor lives between here and a jump back: the row
  // belongs to the library's pool.
  if (setjmp(errors.fatal) == 0) {
    jpeg_stdio_src(&cinfo, in.get());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    JSAMPARRAY row = cinfo.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                             cinfo.output_width * cinfo.output_components, 1);
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, row, 1);
    jpeg_finish_decompress(&cinfo);
  }
  jpeg_destroy_decompress(&cinfo);
  return errors.said ? errors.message : "";
}

std::string tiffFault(const std::string& path) {
  tiffMessage.clear();
  const TIFFErrorHandler oldError = TIFFSetErrorHandler(keepTiffMessage);
  const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(keepTiffMessage);
  if (TIFF* tif = TIFFOpen(path.c_str(), "r")) {
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    std::vector<uint32_t> raster(size_t{width} * height);
    if (raster.empty() && tiffMessage.empty()) tiffMessage = "no pixels";
    if (!raster.empty() && !TIFFReadRGBAImage(tif, width, height, raster.data(), 1) && tiffMessage.empty()) {
      tiffMessage = "cannot read the image";
    }
    TIFFClose(tif);
  } else if (tiffMessage.empty()) {
    tiffMessage = "cannot open";
  }
  TIFFSetErrorHandler(oldError);
  TIFFSetWarningHandler(oldWarning);
  return tiffMessage;
}

}  // namespace quarn::testing
