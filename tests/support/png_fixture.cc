#include "support/png_fixture.h"

#include <png.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>

namespace quarn::testing {
namespace {

struct Pass {
  uint32_t x0, dx, y0, dy;
};
constexpr Pass kAdam7[7] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4}, {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};

void storeBe32(uint8_t* p, uint32_t x) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(x >> (24 - 8 * i));
}

// Packs one row of pixels (indices into the picture) the way PNG stores it.
std::vector<uint8_t> packRow(const PngPicture& p, const std::vector<size_t>& pixels) {
  std::vector<uint8_t> row;
  const unsigned ch = p.channels();
  if (p.bitDepth < 8) {
    row.assign((pixels.size() * p.bitDepth + 7) / 8, 0);
    for (size_t i = 0; i < pixels.size(); ++i) {
      const size_t bit = i * p.bitDepth;
      row[bit / 8] |= uint8_t(p.samples[pixels[i]] << (8 - p.bitDepth - bit % 8));
    }
    return row;
  }
  for (size_t px : pixels) {
    for (unsigned c = 0; c < ch; ++c) {
      const uint16_t v = p.samples[px * ch + c];
      if (p.bitDepth == 16) row.push_back(uint8_t(v >> 8));
      row.push_back(uint8_t(v));
    }
  }
  return row;
}

uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

void filterRow(std::vector<uint8_t>& out, const std::vector<uint8_t>& row, const std::vector<uint8_t>& prev,
               int type, size_t bpp) {
  out.push_back(uint8_t(type));
  for (size_t i = 0; i < row.size(); ++i) {
    const int a = i >= bpp ? row[i - bpp] : 0, b = prev.empty() ? 0 : prev[i],
              c = (i >= bpp && !prev.empty()) ? prev[i - bpp] : 0;
    int predicted = 0;
    switch (type) {
      case 1: predicted = a; break;
      case 2: predicted = b; break;
      case 3: predicted = (a + b) / 2; break;
      case 4: predicted = paeth(a, b, c); break;
      default: break;
    }
    out.push_back(uint8_t(row[i] - predicted));
  }
}

}  // namespace

unsigned PngPicture::channels() const {
  switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

PngPicture randomPicture(uint32_t width, uint32_t height, uint8_t colourType, uint8_t bitDepth, bool adam7,
                         uint32_t seed, unsigned paletteSize) {
  PngPicture p;
  p.width = width;
  p.height = height;
  p.colourType = colourType;
  p.bitDepth = bitDepth;
  p.adam7 = adam7;
  std::mt19937 rng(seed);
  const uint32_t limit = colourType == 3 ? std::min<uint32_t>(paletteSize, 1u << bitDepth) : (1u << bitDepth);
  p.samples.resize(size_t{width} * height * p.channels());
  // Runs and repeats as well as noise, so that matches occur.
  for (size_t i = 0; i < p.samples.size(); ++i) {
    const uint32_t r = rng();
    p.samples[i] = (r % 4 == 0 && i >= 7) ? p.samples[i - 7] : uint16_t(rng() % limit);
  }
  return p;
}

std::vector<uint8_t> filteredScanlines(const PngPicture& p, int filter, uint32_t seed) {
  std::mt19937 rng(seed);
  const size_t bpp = std::max<size_t>(1, p.channels() * p.bitDepth / 8);
  std::vector<uint8_t> out;
  unsigned lineIndex = 0;
  auto pass = [&](const Pass& g) {
    std::vector<uint8_t> prev;
    for (uint32_t y = g.y0; y < p.height; y += g.dy) {
      std::vector<size_t> pixels;
      for (uint32_t x = g.x0; x < p.width; x += g.dx) pixels.push_back(size_t{y} * p.width + x);
      if (pixels.empty()) return;
      const std::vector<uint8_t> row = packRow(p, pixels);
      const int type = filter == kFilterByRow ? int(lineIndex % 5) : filter == kFilterRandomly ? int(rng() % 5) : filter;
      filterRow(out, row, prev, type, bpp);
      prev = row;
      ++lineIndex;
    }
  };
  if (p.adam7) {
    for (const Pass& g : kAdam7) pass(g);
  } else {
    pass(Pass{0, 1, 0, 1});
  }
  return out;
}

std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& data, int level, int strategy) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) throw std::runtime_error("deflateInit2");
  std::vector<uint8_t> out(deflateBound(&z, data.size()) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<uint8_t> pngSignature() { return {137, 80, 78, 71, 13, 10, 26, 10}; }

std::vector<uint8_t> pngChunk(const std::string& type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> c(12 + data.size());
  storeBe32(c.data(), uint32_t(data.size()));
  std::memcpy(c.data() + 4, type.data(), 4);
  if (!data.empty()) std::memcpy(c.data() + 8, data.data(), data.size());
  const uLong crc = crc32(0, c.data() + 4, static_cast<uInt>(4 + data.size()));
  storeBe32(c.data() + 8 + data.size(), uint32_t(crc));
  return c;
}

std::vector<uint8_t> ihdrData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType, uint8_t interlace) {
  std::vector<uint8_t> d(13, 0);
  storeBe32(d.data(), width);
  storeBe32(d.data() + 4, height);
  d[8] = bitDepth;
  d[9] = colourType;
  d[12] = interlace;
  return d;
}

std::vector<uint8_t> encodePng(const PngPicture& p, const PngOptions& o) {
  std::vector<uint8_t> file = pngSignature();
  auto add = [&](const std::vector<uint8_t>& c) { file.insert(file.end(), c.begin(), c.end()); };
  add(pngChunk("IHDR", ihdrData(p.width, p.height, p.bitDepth, p.colourType, p.adam7 ? 1 : 0)));
  if (o.gamma) add(pngChunk("gAMA", {0, 0, 0xB1, 0x8F}));
  if (!o.palette.empty()) add(pngChunk("PLTE", o.palette));
  if (!o.transparency.empty()) add(pngChunk("tRNS", o.transparency));
  const std::vector<uint8_t> z = zlibCompress(filteredScanlines(p, o.filter), o.level, o.strategy);
  for (size_t at = 0; at < z.size(); at += o.idatSize) {
    add(pngChunk("IDAT", std::vector<uint8_t>(z.begin() + at, z.begin() + std::min(z.size(), at + o.idatSize))));
  }
  add(pngChunk("IEND", {}));
  return file;
}

namespace {
struct MemoryReader {
  const std::vector<uint8_t>* file;
  size_t at;
};
void readFromMemory(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (r->at + n > r->file->size()) png_error(png, "end of file");
  std::memcpy(out, r->file->data() + r->at, n);
  r->at += n;
}
}  // namespace

LibpngImage decodeWithLibpng(const std::vector<uint8_t>& file) {
  // Everything changed after setjmp lives behind a pointer that is not.
  struct State {
    LibpngImage image;
    std::vector<png_bytep> rows;
    MemoryReader reader;
  };
  const std::unique_ptr<State> s(new State{{}, {}, {&file, 0}});
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return LibpngImage{};
  }
  png_set_read_fn(png, &s->reader, readFromMemory);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  LibpngImage& image = s->image;
  image.width = png_get_image_width(png, info);
  image.height = png_get_image_height(png, info);
  image.rgba.resize(size_t{image.width} * image.height * 4);
  for (uint32_t y = 0; y < image.height; ++y) s->rows.push_back(image.rgba.data() + size_t{y} * image.width * 4);
  png_read_image(png, s->rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  image.ok = true;
  return image;
}

}  // namespace quarn::testing
