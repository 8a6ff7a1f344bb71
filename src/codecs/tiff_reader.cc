// Reading a TIFF into a BitmapBuffer through the library's RGBA image reader.
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "codecs/bitmap_rows.h"
#include "codecs/picture_size.h"
#include "codecs/tiff_codec.h"
#include "engine/bitmap_buffer.h"

namespace quarn::codecs {
namespace {

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// A band of rows is read into an aligned raster of about this many pixels
// (the BitmapBuffer's pixels sit 54 bytes in, not on 32-bit boundaries),
// then copied into place.
constexpr size_t kBandPixels = size_t{1} << 18;

// Opens `path` for reading with every single claim of memory by the
// library capped, so that no count in a forged directory can reach for
// more than the file could plausibly decode to.
TiffHandle openForReading(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return nullptr;
  const uint64_t fileSize = static_cast<uint64_t>(std::max<off_t>(st.st_size, 0));
  const uint64_t cap = std::min(maxPlausibleDecodedSize(fileSize), uint64_t{PTRDIFF_MAX});
  const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                             TIFFOpenOptionsFree);
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(cap));
  return TiffHandle(TIFFOpenExt(path.c_str(), "r", options.get()));
}

struct ImageSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

ImageSize imageSize(TIFF* tif) {
  ImageSize s;  // a tag the library does not deliver stays 0
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &s.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &s.height);
  return s;
}

// The most the library's RGBA reader claims at once: the decoded bytes of
// one strip or tile, for each of up to four planes when they are stored
// apart. Many samples per pixel make this far larger than the picture.
uint64_t decodeBufferSize(TIFF* tif) {
  const uint64_t unit = TIFFIsTiled(tif) ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
  uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  if (planar != PLANARCONFIG_SEPARATE) return unit;
  return unit > UINT64_MAX / 4 ? UINT64_MAX : unit * 4;
}

std::optional<uint32_t> bitmapSizeOf(TIFF* tif) {
  const ImageSize s = imageSize(tif);
  const uint64_t fileSize = TIFFGetSizeProc(tif)(TIFFClientdata(tif));
  const std::optional<uint32_t> size = plausibleBitmapSize(s.width, s.height, 32, fileSize);
  if (!size || !plausibleDecodedSize(decodeBufferSize(tif), fileSize)) return std::nullopt;
  return size;
}

// The reader delivers rows bottom-up (as asked) by flipping, within each
// call, the files stored top-down; those stored bottom-up it copies as they
// are. So a band of file rows [first, first + count) lands at the bottom-up
// row `first` or `height - first - count` of the whole picture.
bool storedTopDown(const TIFFRGBAImage& img) {
  switch (img.orientation) {
    case ORIENTATION_TOPLEFT:
    case ORIENTATION_TOPRIGHT:
    case ORIENTATION_LEFTTOP:
    case ORIENTATION_RIGHTTOP:
      return true;
    default:
      return false;
  }
}

// Rows per band: whole strips or rows of tiles, so that every call of the
// reader decodes each strip or tile it touches from its start, as a read
// of the whole image does.
uint32_t bandRows(TIFF* tif, uint32_t width, uint32_t height) {
  uint32_t unit = 0;
  if (TIFFIsTiled(tif)) {
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
  }
  unit = std::clamp<uint32_t>(unit, 1, std::max<uint32_t>(height, 1));
  const uint64_t unitPixels = uint64_t{unit} * std::max<uint32_t>(width, 1);
  const uint64_t units = std::max<uint64_t>(1, kBandPixels / unitPixels);
  return static_cast<uint32_t>(std::min<uint64_t>(height, units * unit));
}

// Places `count` raster rows of `width` pixels at bottom-up row `row` of
// `pixels`, red and blue exchanged. The raster may overlap the rows.
void placeRows(const uint32_t* raster, uint8_t* pixels, uint32_t width, uint32_t row, uint32_t count) {
  const size_t bytes = size_t{4} * width * count;
  uint8_t* to = pixels + size_t{4} * width * row;
  std::memmove(to, raster, bytes);
  swapRedBlue32Pixels(to, size_t{width} * count);
}

// A raster of the whole picture: inside the picture's own pixel area,
// moved back by the two bytes that align it for the reader's 32-bit
// values (the header is written afterwards), so that a picture read in one
// piece is never held twice; a fresh one when the area is not aligned so.
class WholeRaster {
 public:
  WholeRaster(uint8_t* pixels, uint32_t width, uint32_t height) {
    uint8_t* aligned = pixels - 2;
    if (reinterpret_cast<uintptr_t>(aligned) % alignof(uint32_t) == 0) {
      raster_ = reinterpret_cast<uint32_t*>(aligned);
    } else {
      owned_.reset(new (std::nothrow) uint32_t[size_t{width} * height]);
      raster_ = owned_.get();
    }
  }
  uint32_t* get() const { return raster_; }

 private:
  std::unique_ptr<uint32_t[]> owned_;
  uint32_t* raster_ = nullptr;
};

// The plain way: the whole image in one call. Taken when a band fails, so
// that a damaged file reads exactly as far as a whole-image read would.
bool readWholeImage(TIFF* tif, uint32_t width, uint32_t height, uint8_t* pixels) {
  const WholeRaster raster(pixels, width, height);
  if (raster.get() == nullptr) return false;
  if (!TIFFReadRGBAImageOriented(tif, width, height, raster.get(), ORIENTATION_BOTLEFT, 0)) return false;
  placeRows(raster.get(), pixels, width, 0, height);
  return true;
}

enum class BandRead { kDone, kUnrenderable, kBandFailed };

// Takes bands of `rows` rows from `next` until none is left, reading them
// through its own handle `tif`.
BandRead readBands(TIFF* tif, uint32_t width, uint32_t height, uint32_t rows, std::atomic<uint32_t>& next,
                   std::atomic<bool>& failed, uint8_t* pixels) {
  char message[1024] = "";
  TIFFRGBAImage img;
  if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&img, tif, 0, message)) {
    TIFFError(TIFFFileName(tif), "%s", message);
    failed = true;
    return BandRead::kUnrenderable;
  }
  img.req_orientation = ORIENTATION_BOTLEFT;
  const bool topDown = storedTopDown(img);
  std::unique_ptr<uint32_t[]> band;
  std::optional<WholeRaster> whole;
  uint32_t* raster = nullptr;
  if (rows == height) {  // a single band: the picture in one piece
    whole.emplace(pixels, width, height);
    raster = whole->get();
  } else {
    band.reset(new (std::nothrow) uint32_t[size_t{width} * rows]);
    raster = band.get();
  }
  bool ok = raster != nullptr;
  while (ok && !failed) {
    const uint32_t first = next.fetch_add(rows);
    if (first >= height) break;
    const uint32_t count = std::min(rows, height - first);
    img.row_offset = static_cast<int>(first);
    ok = TIFFRGBAImageGet(&img, raster, width, count) != 0;
    if (ok) placeRows(raster, pixels, width, topDown ? height - first - count : first, count);
  }
  TIFFRGBAImageEnd(&img);
  if (!ok) failed = true;
  return ok ? BandRead::kDone : BandRead::kBandFailed;
}

// Bands are independent: each thread reads its own through a handle of its
// own on the same file.
BandRead readInBands(const std::string& path, TIFF* tif, uint32_t width, uint32_t height, uint8_t* pixels) {
  char message[1024] = "";
  if (!TIFFRGBAImageOK(tif, message)) {  // said once, not by every thread
    TIFFError(TIFFFileName(tif), "%s", message);
    return BandRead::kUnrenderable;
  }
  const uint32_t rows = bandRows(tif, width, height);
  const uint32_t bands = (height + rows - 1) / rows;
  const unsigned threads = std::min<unsigned>(std::max(1u, std::thread::hardware_concurrency()), bands);
  std::atomic<uint32_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<BandRead> results(threads, BandRead::kDone);
  {
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
      helpers.emplace_back([&, t] {
        const TiffHandle own = openForReading(path);
        results[t] = own == nullptr ? BandRead::kBandFailed
                                    : readBands(own.get(), width, height, rows, next, failed, pixels);
        if (own == nullptr) failed = true;
      });
    }
    results[0] = readBands(tif, width, height, rows, next, failed, pixels);
  }
  if (results[0] == BandRead::kUnrenderable) return BandRead::kUnrenderable;
  for (const BandRead r : results) {
    if (r != BandRead::kDone) return BandRead::kBandFailed;
  }
  return BandRead::kDone;
}

// The library hands out orientations 2 to 4 turned upright, and takes 5 to 8
// as 1 to 4 (it only mirrors): what is left of those is a mirror along one
// diagonal or the other.
Orientation turnLeftByTheLibrary(TIFF* tif) {
  uint16_t tag = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &tag);
  switch (tag) {
    case ORIENTATION_LEFTTOP:
    case ORIENTATION_RIGHTBOT:
      return Orientation::kLeftTop;
    case ORIENTATION_RIGHTTOP:
    case ORIENTATION_LEFTBOT:
      return Orientation::kRightBottom;
    default:
      return Orientation::kTopLeft;
  }
}

std::vector<uint8_t> iccProfileOf(TIFF* tif) {
  uint32_t length = 0;
  const uint8_t* profile = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &profile) != 1 || profile == nullptr) return {};
  return {profile, profile + length};
}

}  // namespace

std::optional<uint32_t> GetTiffBitmapSize(const std::string& path) {
  const TiffHandle tif = openForReading(path);
  if (tif == nullptr) return std::nullopt;
  return bitmapSizeOf(tif.get());
}

PictureReadResult decodeTiff(const std::string& path, const BitmapProvider& provide, PictureMetadata& metadata) {
  const TiffHandle tif = openForReading(path);
  if (tif == nullptr || !bitmapSizeOf(tif.get())) return kPictureCannotOpen;
  const ImageSize s = imageSize(tif.get());
  const BitmapShape shape{s.width, s.height, 32, turnLeftByTheLibrary(tif.get())};
  if (!storedBitmapSize(shape)) return kPictureCannotOpen;
  metadata.iccProfile = iccProfileOf(tif.get());
  uint8_t* buffer = provide(shape);
  if (buffer == nullptr) return kPictureOutOfMemory;
  uint8_t* pixels = buffer + engine::kHeaderSize;
  if (s.width != 0 && s.height != 0) {
    switch (readInBands(path, tif.get(), s.width, s.height, pixels)) {
      case BandRead::kDone:
        break;
      case BandRead::kUnrenderable:
        return kPictureUnreadable;
      case BandRead::kBandFailed:
        if (!readWholeImage(tif.get(), s.width, s.height, pixels)) return kPictureUnreadable;
        break;
    }
  }
  engine::writeBitmapHeader(buffer, s.width, s.height, 32);
  return kPictureRead;
}

PictureReadResult ReadTiffBitmap(const std::string& path, uint8_t* buffer, size_t size) {
  PictureMetadata ignored;
  return decodeTiff(path, fixedBuffer(buffer, size), ignored) == kPictureRead ? kPictureRead : kPictureUnreadable;
}

}  // namespace quarn::codecs
