// png_decoder.h: PNG files to raw RGBA pixels, with the program's own
// inflater. VkGenericPngDecoder reads the chunks and drives a pixel consumer
// through three operations (Prepare, PutByte, Finish); VkRawPngDecoder is
// the consumer that unfilters the scanlines and writes RGBA pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codecs/png_inflater.h"
#include "platform/console.h"

namespace quarn::codecs {

// How decoding a PNG file ended.
enum class PngDecodeResult {
  kDecoded,     // chunks read; the picture prepared and decoded as far as its data goes, or left unprepared
  kNotPng,      // no PNG signature, or a malformed palette
  kUnreadable,  // the file cannot be read
};

// The console text of a failed decode; nullptr for kDecoded.
const char* pngDecodeMessage(PngDecodeResult result);

// Whether the pixel consumer takes the picture.
enum class PrepareResult { kReady, kRefused };

struct PngHeader {
  uint32_t width = 0;   // pixels
  uint32_t height = 0;  // rows
  uint32_t bitDepth = 0;
  uint32_t colourType = 0;
  uint32_t compressionMethod = 0;  // stored, never checked
  uint32_t filterMethod = 0;       // stored, never checked
  uint32_t interlaceMethod = 0;    // 0 none, 1 Adam7; others decode nothing
};

class VkGenericPngDecoder : public PngByteSink {
 public:
  // A slot holding this matches no sample.
  static constexpr int32_t kNoKey = 2147483647;

  // The console gets the inflater's message of an unknown compression method.
  explicit VkGenericPngDecoder(platform::Console& console);
  ~VkGenericPngDecoder() override = default;
  VkGenericPngDecoder(const VkGenericPngDecoder&) = delete;
  VkGenericPngDecoder& operator=(const VkGenericPngDecoder&) = delete;

  // Reads the file at `path` whole and decodes it as DecodeMemory does;
  // kUnreadable when it cannot be read.
  PngDecodeResult Decode(const std::string& path);

  // kDecoded when the bytes start with the PNG signature and hold no
  // malformed palette (PLTE length not a multiple of 3), else kNotPng. Whether the image
  // could be prepared and how far its compressed data got does not change
  // the result: an unsupported image leaves the consumer unprepared, a
  // damaged one partly decoded. CRCs are not checked; chunks are read up to
  // IEND or up to the first chunk that is not whole.
  PngDecodeResult DecodeMemory(const uint8_t* bytes, size_t size);

  // The pixel consumer. Prepare is called once the chunks are read: kReady
  // to go on with decompression, kRefused to decode nothing. Finish follows
  // the inflater.
  virtual PrepareResult Prepare() = 0;
  SinkAnswer PutByte(uint8_t byte) override = 0;
  virtual void Finish() = 0;

  const PngHeader& header() const { return header_; }
  uint32_t paletteCount() const { return paletteCount_; }
  const std::vector<uint8_t>& paletteEntries() const { return paletteEntries_; }  // red, green, blue per entry
  int32_t transparentKey(int slot) const { return transparentKey_[slot]; }
  uint32_t gamma() const { return gamma_; }  // gamma x 100000; never applied
  // The eXIf chunk's EXIF block as it stands; empty without one.
  const std::vector<uint8_t>& exifBlock() const { return exif_; }

 protected:
  // Bytes of IDAT data the last decode gathered, for Prepare's size check.
  size_t compressedSize() const { return compressedSize_; }

 private:
  void setTransparentKey(const uint8_t* data, uint32_t length);

  PngHeader header_;
  uint32_t paletteCount_ = 0;
  std::vector<uint8_t> paletteEntries_;
  int32_t transparentKey_[3] = {kNoKey, kNoKey, kNoKey};
  uint32_t gamma_ = 100000;
  std::vector<uint8_t> exif_;
  size_t compressedSize_ = 0;
  platform::Console& console_;
};

class VkRawPngDecoder final : public VkGenericPngDecoder {
 public:
  explicit VkRawPngDecoder(platform::Console& console);
  ~VkRawPngDecoder() override;

  // Refuses (kRefused, nothing changed) unsupported colour types and depths, a
  // pixel store of width x height x 4 bytes that would not fit in 32 bits
  // together with the 55 bytes a bitmap header adds, and images larger
  // than their compressed data could fill: deflate gives at most 1032 bytes
  // per byte, which bounds the scanlines and, beyond a size any picture
  // may have, the pixel store. The new store is cleared: pixels the data
  // never reaches are 0, 0, 0, 0.
  PrepareResult Prepare() override;
  // Takes the next byte of the decompressed scanlines; kStop once the image
  // is complete or when it cannot be placed (width 0, unknown interlacing).
  SinkAnswer PutByte(uint8_t byte) override;
  // The same for a run of bytes, with whole scanlines at a time.
  size_t PutBytes(const uint8_t* bytes, size_t count) override;
  void Finish() override {}

  // Reverses the order of the rows.
  void FlipRows();

  int32_t outWidth() const { return outWidth_; }
  int32_t outHeight() const { return outHeight_; }
  // outWidth x outHeight x 4 bytes, rows top to bottom, red, green, blue,
  // alpha per pixel; nullptr before a prepared image.
  uint8_t* pixels() { return pixels_; }
  const uint8_t* pixels() const { return pixels_; }

  // Where Prepare places the store from now on: `provide` gets its size in
  // bytes and returns that many zeroed bytes, or nullptr to refuse the image.
  // The decoder never frees a store it was given; it stays valid for as
  // long as its provider keeps it.
  using StoreProvider = std::function<uint8_t*(size_t bytes)>;
  void setStoreProvider(StoreProvider provide) { provideStore_ = std::move(provide); }

 private:
  void takeScanlineBytes(const uint8_t* bytes, size_t n);
  void unfilter(size_t firstByte, size_t endByte);
  void writePixels(size_t firstByte, size_t endByte);
  void endScanline();
  void startPass();

  enum class Format { kGrey1, kGrey8, kRgb8, kRgb16, kPalette4, kPalette8, kGreyAlpha8, kRgba8 };
  static uint64_t scanlineBytes(Format format, uint32_t unit, uint64_t width);

  int32_t outWidth_ = 0, outHeight_ = 0;
  uint8_t* pixels_ = nullptr;
  StoreProvider provideStore_;
  bool storeProvided_ = false;  // pixels_ came from provideStore_
  uint32_t lineFilter_ = 0;
  int32_t column_ = -1;  // -1: the next byte is a filter type byte
  int32_t row_ = 0;      // within the pass for Adam7
  size_t linePos_ = 0;  // bytes of the scanline unfiltered and turned into pixels
  int32_t gathered_ = 0;
  int32_t sample16_[3] = {0, 0, 0};
  size_t outOffset_ = 0;  // of the next pixel
  uint32_t pass_ = 1;
  uint8_t* lineStore_ = nullptr;  // current, previous and an all-zero line
  uint8_t* currentLine_ = nullptr;
  uint8_t* previousLine_ = nullptr;
  const uint8_t* zeroLine_ = nullptr;  // stands in for the line above row 0

  // Fixed by Prepare, so that a later header cannot change what the
  // scanline buffers were sized for.
  Format format_ = Format::kGrey8;
  uint32_t interlace_ = 0;
  uint32_t pixelBytes_ = 1;  // bytes per unfiltering unit (1 for 1-bit grey and 4-bit palette)
  size_t received_ = 0;      // bytes of the current scanline taken
  uint32_t passWidth_ = 0, passHeight_ = 0;
  size_t passLineBytes_ = 0;
  uint8_t palette_[256][4] = {};  // RGBA of each index, alpha by the key slots
  bool paletteValid_[256] = {};
  uint8_t greyAlpha_[256] = {};
};

// Turns red, green, blue, alpha into blue, green, red, alpha.
void SwapRedBlue(VkRawPngDecoder& decoder);

}  // namespace quarn::codecs
