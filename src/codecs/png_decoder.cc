#include "codecs/png_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/files.h"

namespace quarn::codecs {
namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

constexpr uint32_t chunkType(const char (&name)[5]) {
  return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16) | (uint32_t(uint8_t(name[2])) << 8) |
         uint32_t(uint8_t(name[3]));
}
constexpr uint32_t kIHDR = chunkType("IHDR");
constexpr uint32_t kPLTE = chunkType("PLTE");
constexpr uint32_t kIDAT = chunkType("IDAT");
constexpr uint32_t kIEND = chunkType("IEND");
constexpr uint32_t kGAMA = chunkType("gAMA");
constexpr uint32_t kTRNS = chunkType("tRNS");
constexpr uint32_t kEXIF = chunkType("eXIf");

constexpr uint32_t kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6;
constexpr uint32_t kInterlaceNone = 0, kInterlaceAdam7 = 1;

// Deflate never expands more than 1032 times (a 258-byte match in two bits).
constexpr uint64_t kMaxInflateRatio = 1032;

uint32_t loadBe32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
uint32_t loadBe16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | uint32_t(p[1]); }

bool hasSignature(const uint8_t* bytes, size_t size) {
  return size >= sizeof kSignature && std::memcmp(bytes, kSignature, sizeof kSignature) == 0;
}

struct Chunk {
  uint32_t length = 0;
  const uint8_t* data = nullptr;
  uint32_t type = 0;
  uint32_t crc = 0;
};

// False unless the length, type, data and CRC are all there.
bool readChunk(const uint8_t* bytes, size_t size, size_t& at, Chunk& chunk) {
  if (size - at < 8) return false;
  chunk.length = loadBe32(bytes + at);
  chunk.type = loadBe32(bytes + at + 4);
  if (size - at - 8 < uint64_t{chunk.length} + 4) return false;
  chunk.data = bytes + at + 8;
  chunk.crc = loadBe32(chunk.data + chunk.length);
  at += 12 + size_t{chunk.length};
  return true;
}

struct Adam7Pass {
  uint32_t x0, dx, y0, dy;
};
constexpr Adam7Pass kPasses[7] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                                  {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
uint32_t passWidth(uint32_t pass, uint32_t width) {
  const Adam7Pass& p = kPasses[pass - 1];
  return (width + p.dx - 1 - p.x0) / p.dx;
}
uint32_t passHeight(uint32_t pass, uint32_t height) {
  const Adam7Pass& p = kPasses[pass - 1];
  return (height + p.dy - 1 - p.y0) / p.dy;
}

uint8_t paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

}  // namespace

const char* pngDecodeMessage(PngDecodeResult result) {
  switch (result) {
    case PngDecodeResult::kDecoded:
      return nullptr;
    case PngDecodeResult::kNotPng:
    case PngDecodeResult::kUnreadable:
      return " greshka!\n Png faila ne ne moje da se dekodira!\n";
  }
  return nullptr;
}

// ---- Reading the file --------------------------------------------------------

VkGenericPngDecoder::VkGenericPngDecoder(platform::Console& console) : console_(console) {}

PngDecodeResult VkGenericPngDecoder::Decode(const std::string& path) {
  std::vector<uint8_t> file;
  if (platform::readWholeFile(path, file) != platform::ReadStatus::kRead) return PngDecodeResult::kUnreadable;
  return DecodeMemory(file.data(), file.size());
}

void VkGenericPngDecoder::setTransparentKey(const uint8_t* data, uint32_t length) {
  switch (header_.colourType) {
    case kGrey:
      if (length >= 2) transparentKey_[0] = static_cast<int32_t>(loadBe16(data));
      break;
    case kRgb:
      if (length >= 6) {
        for (int i = 0; i < 3; ++i) transparentKey_[i] = static_cast<int32_t>(loadBe16(data + 2 * i));
      }
      break;
    case kPalette:
      for (uint32_t i = 0; i < std::min<uint32_t>(length, 3); ++i) transparentKey_[i] = data[i];
      break;
    default:
      break;
  }
}

PngDecodeResult VkGenericPngDecoder::DecodeMemory(const uint8_t* bytes, size_t size) {
  if (!hasSignature(bytes, size)) return PngDecodeResult::kNotPng;
  std::vector<uint8_t> compressed;
  size_t at = sizeof kSignature;
  Chunk chunk;
  while (readChunk(bytes, size, at, chunk) && chunk.type != kIEND) {
    if (chunk.length == 0) continue;
    const uint8_t* d = chunk.data;
    switch (chunk.type) {
      case kIHDR:
        if (chunk.length >= 13) {
          header_.width = loadBe32(d);
          header_.height = loadBe32(d + 4);
          header_.bitDepth = d[8];
          header_.colourType = d[9];
          header_.compressionMethod = d[10];
          header_.filterMethod = d[11];
          header_.interlaceMethod = d[12];
        }
        break;
      case kPLTE:
        if (chunk.length % 3 != 0) return PngDecodeResult::kNotPng;
        paletteEntries_.assign(d, d + chunk.length);
        paletteCount_ = chunk.length / 3;
        break;
      case kIDAT:
        compressed.insert(compressed.end(), d, d + chunk.length);
        break;
      case kGAMA:
        if (chunk.length >= 4) gamma_ = loadBe32(d);
        break;
      case kTRNS:
        setTransparentKey(d, chunk.length);
        break;
      case kEXIF:
        exif_.assign(d, d + chunk.length);
        break;
      default:
        break;
    }
  }
  compressedSize_ = compressed.size();
  if (Prepare() == PrepareResult::kReady) {
    PngInflater inflater(*this, console_);
    inflater.Inflate(compressed.size(), compressed.data());  // a stop after the last scanline is the normal end
    Finish();
  }
  return PngDecodeResult::kDecoded;
}

// ---- Preparing -------------------------------------------------------------------

VkRawPngDecoder::VkRawPngDecoder(platform::Console& console) : VkGenericPngDecoder(console) {}

VkRawPngDecoder::~VkRawPngDecoder() {
  if (!storeProvided_) std::free(pixels_);
  std::free(lineStore_);
}

PrepareResult VkRawPngDecoder::Prepare() {
  const PngHeader& h = header();
  Format format;
  uint32_t unit;
  // Both fields are bytes of the file: the key must not let one spill into
  // the other (colour type 1 with depth 208 is not palette 8).
  if (h.colourType > 255 || h.bitDepth > 255) return PrepareResult::kRefused;
  switch ((h.colourType << 8) | h.bitDepth) {
    case (kGrey << 8) | 1: format = Format::kGrey1, unit = 1; break;
    case (kGrey << 8) | 8: format = Format::kGrey8, unit = 1; break;
    case (kRgb << 8) | 8: format = Format::kRgb8, unit = 3; break;
    case (kRgb << 8) | 16: format = Format::kRgb16, unit = 6; break;
    case (kPalette << 8) | 4: format = Format::kPalette4, unit = 1; break;
    case (kPalette << 8) | 8: format = Format::kPalette8, unit = 1; break;
    case (kGreyAlpha << 8) | 8: format = Format::kGreyAlpha8, unit = 2; break;
    case (kRgba << 8) | 8: format = Format::kRgba8, unit = 4; break;
    default: return PrepareResult::kRefused;
  }

  // Sizes in 64 bits: every one of them comes from the file.
  constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();
  constexpr uint64_t kBitmapOverhead = 55;  // header and the spare byte of the picture branch
  const uint64_t width = h.width, height = h.height;
  if (width > uint64_t(std::numeric_limits<int32_t>::max()) || height > uint64_t(std::numeric_limits<int32_t>::max())) {
    return PrepareResult::kRefused;
  }
  const uint64_t storeSize = width * height * 4;
  const uint64_t lineBytes = scanlineBytes(format, unit, width);
  if (storeSize + kBitmapOverhead > kMax32 || 3 * lineBytes > kMax32) return PrepareResult::kRefused;
  uint64_t needed = 0;  // decompressed bytes of a complete image
  if (h.interlaceMethod == kInterlaceAdam7) {
    for (uint32_t p = 1; p <= 7; ++p) {
      const uint64_t pw = passWidth(p, h.width), ph = passHeight(p, h.height);
      if (pw != 0 && ph != 0) needed += ph * (1 + scanlineBytes(format, unit, pw));
    }
  } else {
    needed = height * (1 + lineBytes);
  }
  // What the compressed data could fill at best bounds the scanlines, with
  // a few kilobytes to spare so that a small picture whose data is missing
  // still comes out (blank); the scanline buffers count as well (a picture
  // of no rows may still claim rows of gigabytes). Samples of 1 or 4 bits
  // give more store than scanline bytes, so the store is bounded too, beyond
  // a size that any picture may have whatever it compresses to (a blank
  // scanned page).
  const uint64_t fillable = kMaxInflateRatio * compressedSize() + 4096;
  constexpr uint64_t kAlwaysPlausibleStore = uint64_t{64} << 20;
  if (needed > fillable || lineBytes > fillable || storeSize > std::max(fillable, kAlwaysPlausibleStore)) return PrepareResult::kRefused;

  auto* lines = static_cast<uint8_t*>(std::calloc(3 * lineBytes + 1, 1));
  if (lines == nullptr) return PrepareResult::kRefused;
  uint8_t* store = nullptr;
  if (storeSize != 0) {
    store = provideStore_ ? provideStore_(static_cast<size_t>(storeSize))
                          : static_cast<uint8_t*>(std::calloc(storeSize, 1));
    if (store == nullptr) {
      std::free(lines);
      return PrepareResult::kRefused;
    }
  }

  outWidth_ = static_cast<int32_t>(width);
  outHeight_ = static_cast<int32_t>(height);
  if (!storeProvided_) std::free(pixels_);
  pixels_ = store;
  storeProvided_ = store != nullptr && provideStore_;
  std::free(lineStore_);
  lineStore_ = lines;
  currentLine_ = lines;
  previousLine_ = lines + lineBytes;
  zeroLine_ = lines + 2 * lineBytes;

  format_ = format;
  interlace_ = h.interlaceMethod;
  pixelBytes_ = unit;
  pass_ = 1;
  column_ = -1;
  row_ = 0;
  lineFilter_ = 0;
  linePos_ = 0;
  gathered_ = 0;
  outOffset_ = 0;
  received_ = 0;
  startPass();

  const int32_t k0 = transparentKey(0), k1 = transparentKey(1), k2 = transparentKey(2);
  for (int i = 0; i < 256; ++i) {
    const uint8_t alpha = (i == k0 || i == k1 || i == k2) ? 0 : 255;
    greyAlpha_[i] = alpha;
    paletteValid_[i] = uint32_t(i) < paletteCount();
    if (paletteValid_[i]) {
      const uint8_t* e = paletteEntries().data() + 3 * i;
      palette_[i][0] = e[0];
      palette_[i][1] = e[1];
      palette_[i][2] = e[2];
      palette_[i][3] = alpha;
    }
  }
  return PrepareResult::kReady;
}

void VkRawPngDecoder::startPass() {
  if (interlace_ == kInterlaceAdam7) {
    passWidth_ = passWidth(pass_, uint32_t(outWidth_));
    passHeight_ = passHeight(pass_, uint32_t(outHeight_));
  } else {
    passWidth_ = uint32_t(outWidth_);
    passHeight_ = uint32_t(outHeight_);
  }
  passLineBytes_ = static_cast<size_t>(scanlineBytes(format_, pixelBytes_, passWidth_));
}

// Bytes of one scanline of `width` pixels, filter byte not included; the
// one rule for the buffers' sizes and for where a scanline ends.
uint64_t VkRawPngDecoder::scanlineBytes(Format format, uint32_t unit, uint64_t width) {
  switch (format) {
    case Format::kGrey1: return (width + 7) / 8;
    case Format::kPalette4: return (width + 1) / 2;
    default: return width * unit;
  }
}

// ---- Receiving the stream --------------------------------------------------------

SinkAnswer VkRawPngDecoder::PutByte(uint8_t byte) {
  return PutBytes(&byte, 1) == 1 ? SinkAnswer::kMore : SinkAnswer::kStop;
}

size_t VkRawPngDecoder::PutBytes(const uint8_t* bytes, size_t count) {
  size_t i = 0;
  while (i < count) {
    if (row_ >= outHeight_ || outWidth_ == 0) return i;
    if (interlace_ == kInterlaceAdam7 && pass_ > 7) return i;
    if (column_ == -1) {
      lineFilter_ = bytes[i++];
      linePos_ = 0;
      gathered_ = 0;
      received_ = 0;
      column_ = 0;
      continue;
    }
    if (interlace_ != kInterlaceNone && interlace_ != kInterlaceAdam7) return i;
    const size_t n = std::min(count - i, passLineBytes_ - received_);
    takeScanlineBytes(bytes + i, n);
    i += n;
  }
  return count;
}

// Pixels are unfiltered and written as soon as their last byte is there, as
// if the bytes came one at a time.
void VkRawPngDecoder::takeScanlineBytes(const uint8_t* bytes, size_t n) {
  std::memcpy(currentLine_ + received_, bytes, n);
  received_ += n;
  const size_t complete = received_ - received_ % pixelBytes_;
  if (complete > linePos_) {
    unfilter(linePos_, complete);
    writePixels(linePos_, complete);
    linePos_ = complete;
  }
  gathered_ = static_cast<int32_t>(received_ - complete);
  if (received_ == passLineBytes_) endScanline();
}

void VkRawPngDecoder::unfilter(size_t first, size_t end) {
  uint8_t* line = currentLine_;
  const uint8_t* up = row_ == 0 ? zeroLine_ : previousLine_;
  const size_t bpp = pixelBytes_;
  size_t i = first;
  switch (lineFilter_) {
    case 1:  // Sub
      for (i = std::max(i, bpp); i < end; ++i) line[i] = uint8_t(line[i] + line[i - bpp]);
      break;
    case 2:  // Up
      for (; i < end; ++i) line[i] = uint8_t(line[i] + up[i]);
      break;
    case 3:  // Average
      for (; i < end && i < bpp; ++i) line[i] = uint8_t(line[i] + (up[i] >> 1));
      for (; i < end; ++i) line[i] = uint8_t(line[i] + ((line[i - bpp] + up[i]) >> 1));
      break;
    case 4:  // Paeth; with a, c of 0 in the first pixel it adds the byte above
      for (; i < end && i < bpp; ++i) line[i] = uint8_t(line[i] + up[i]);
      for (; i < end; ++i) line[i] = uint8_t(line[i] + paeth(line[i - bpp], up[i], up[i - bpp]));
      break;
    default:  // None, and every type above 4
      break;
  }
}

void VkRawPngDecoder::writePixels(size_t first, size_t end) {
  const uint8_t* line = currentLine_;
  uint32_t c0, c1;
  switch (format_) {
    case Format::kGrey1:
      c0 = uint32_t(first * 8), c1 = uint32_t(std::min<uint64_t>(uint64_t{end} * 8, passWidth_));
      break;
    case Format::kPalette4:
      c0 = uint32_t(first * 2), c1 = uint32_t(std::min<uint64_t>(uint64_t{end} * 2, passWidth_));
      break;
    default:
      c0 = uint32_t(first / pixelBytes_), c1 = uint32_t(end / pixelBytes_);
      break;
  }
  size_t x = c0, y = size_t(row_), step = 1;
  if (interlace_ == kInterlaceAdam7) {
    const Adam7Pass& p = kPasses[pass_ - 1];
    x = p.x0 + size_t{c0} * p.dx;
    y = p.y0 + y * p.dy;
    step = p.dx;
  }
  uint8_t* out = pixels_ + (y * size_t(outWidth_) + x) * 4;
  const size_t stride = step * 4;
  const int32_t k0 = transparentKey(0), k1 = transparentKey(1), k2 = transparentKey(2);
  switch (format_) {
    case Format::kGrey1:
      for (uint32_t c = c0; c < c1; ++c, out += stride) {
        const uint8_t v = ((line[c >> 3] >> (7 - (c & 7))) & 1) ? 255 : 0;
        out[0] = out[1] = out[2] = v;
        out[3] = 0;
      }
      break;
    case Format::kPalette4:
      for (uint32_t c = c0; c < c1; ++c, out += stride) {
        const uint8_t index = (c & 1) ? (line[c >> 1] & 15) : (line[c >> 1] >> 4);
        if (paletteValid_[index]) std::memcpy(out, palette_[index], 4);
      }
      break;
    case Format::kPalette8:
      for (uint32_t c = c0; c < c1; ++c, out += stride) {
        if (paletteValid_[line[c]]) std::memcpy(out, palette_[line[c]], 4);
      }
      break;
    case Format::kGrey8:
      for (uint32_t c = c0; c < c1; ++c, out += stride) {
        const uint8_t v = line[c];
        out[0] = out[1] = out[2] = v;
        out[3] = greyAlpha_[v];
      }
      break;
    case Format::kGreyAlpha8:
      for (uint32_t c = c0; c < c1; ++c, out += stride) {
        out[0] = out[1] = out[2] = line[2 * c];
        out[3] = line[2 * c + 1];
      }
      break;
    case Format::kRgb8:
      for (uint32_t c = c0; c < c1; ++c, out += stride) {
        const uint8_t* s = line + 3 * size_t{c};
        out[0] = s[0];
        out[1] = s[1];
        out[2] = s[2];
        out[3] = (s[0] == k0 && s[1] == k1 && s[2] == k2) ? 0 : 255;
      }
      break;
    case Format::kRgba8:
      if (step == 1) {
        std::memcpy(out, line + 4 * size_t{c0}, 4 * size_t{c1 - c0});
      } else {
        for (uint32_t c = c0; c < c1; ++c, out += stride) std::memcpy(out, line + 4 * size_t{c}, 4);
      }
      break;
    case Format::kRgb16:
      for (uint32_t c = c0; c < c1; ++c, out += stride) {
        const uint8_t* s = line + 6 * size_t{c};
        sample16_[0] = int32_t(loadBe16(s));
        sample16_[1] = int32_t(loadBe16(s + 2));
        sample16_[2] = int32_t(loadBe16(s + 4));
        out[0] = s[0];
        out[1] = s[2];
        out[2] = s[4];
        out[3] = (sample16_[0] == k0 && sample16_[1] == k1 && sample16_[2] == k2) ? 0 : 255;
      }
      break;
  }
  column_ = int32_t(c1);
  outOffset_ = size_t(out - pixels_);
}

void VkRawPngDecoder::endScanline() {
  ++row_;
  column_ = -1;
  received_ = 0;
  linePos_ = 0;
  gathered_ = 0;
  std::swap(currentLine_, previousLine_);
  if (interlace_ != kInterlaceAdam7 || uint32_t(row_) < passHeight_) return;
  row_ = 0;
  // Passes without pixels carry no bytes, not even filter bytes.
  do {
    ++pass_;
  } while (pass_ <= 7 && (passWidth(pass_, uint32_t(outWidth_)) == 0 || passHeight(pass_, uint32_t(outHeight_)) == 0));
  if (pass_ <= 7) startPass();
}

// ---- Post-processing ---------------------------------------------------------------

void VkRawPngDecoder::FlipRows() {
  if (pixels_ == nullptr) return;
  const size_t rowBytes = size_t(outWidth_) * 4;
  for (int32_t i = 0; i < outHeight_ / 2; ++i) {
    uint8_t* top = pixels_ + size_t(i) * rowBytes;
    uint8_t* bottom = pixels_ + size_t(outHeight_ - 1 - i) * rowBytes;
    std::swap_ranges(top, top + rowBytes, bottom);
  }
}

void SwapRedBlue(VkRawPngDecoder& decoder) {
  uint8_t* p = decoder.pixels();
  if (p == nullptr) return;
  const size_t count = size_t(decoder.outWidth()) * size_t(decoder.outHeight());
  for (size_t i = 0; i < count; ++i, p += 4) std::swap(p[0], p[2]);
}

}  // namespace quarn::codecs
