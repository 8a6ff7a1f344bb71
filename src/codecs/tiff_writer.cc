// Writing a BitmapBuffer as an LZW RGBA TIFF. Strips are independent LZW
// streams, so they are encoded in parallel, each worker through an
// in-memory TIFF of its own with the same tags, and their bytes are then
// written in order as raw strips: the file is what writing it scanline by
// scanline gives.
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "codecs/bitmap_rows.h"
#include "codecs/tiff_codec.h"
#include "engine/bitmap_buffer.h"
#include "platform/output_file.h"

namespace quarn::codecs {
namespace {

// Strips taken by a worker at a time.
constexpr uint32_t kStripsPerTake = 32;

// ---- the output file and the workers' memory files, as libtiff sees them

struct FileStream {
  std::FILE* file;
};

tmsize_t fileRead(thandle_t, void*, tmsize_t) { return 0; }  // never read back
tmsize_t fileWrite(thandle_t h, void* data, tmsize_t size) {
  FileStream& s = *static_cast<FileStream*>(h);
  return static_cast<tmsize_t>(std::fwrite(data, 1, static_cast<size_t>(size), s.file));
}
toff_t fileSeek(thandle_t h, toff_t offset, int whence) {
  FileStream& s = *static_cast<FileStream*>(h);
  if (fseeko(s.file, static_cast<off_t>(offset), whence) != 0) return static_cast<toff_t>(-1);
  return static_cast<toff_t>(ftello(s.file));
}
toff_t fileSize(thandle_t h) {
  FileStream& s = *static_cast<FileStream*>(h);
  const off_t here = ftello(s.file);
  if (here < 0 || fseeko(s.file, 0, SEEK_END) != 0) return 0;
  const off_t end = ftello(s.file);
  fseeko(s.file, here, SEEK_SET);
  return end < 0 ? 0 : static_cast<toff_t>(end);
}

struct MemoryStream {
  std::vector<uint8_t> bytes;
  uint64_t position = 0;
};

tmsize_t memoryRead(thandle_t h, void* data, tmsize_t size) {
  MemoryStream& m = *static_cast<MemoryStream*>(h);
  if (size <= 0 || m.position >= m.bytes.size()) return 0;
  const size_t n = std::min<size_t>(static_cast<size_t>(size), m.bytes.size() - m.position);
  std::memcpy(data, m.bytes.data() + m.position, n);
  m.position += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t memoryWrite(thandle_t h, void* data, tmsize_t size) {
  MemoryStream& m = *static_cast<MemoryStream*>(h);
  if (size <= 0) return 0;
  const uint64_t end = m.position + static_cast<uint64_t>(size);
  try {
    if (end > m.bytes.size()) m.bytes.resize(end);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::memcpy(m.bytes.data() + m.position, data, static_cast<size_t>(size));
  m.position = end;
  return size;
}
toff_t memorySeek(thandle_t h, toff_t offset, int whence) {
  MemoryStream& m = *static_cast<MemoryStream*>(h);
  const uint64_t base = whence == SEEK_CUR ? m.position : whence == SEEK_END ? m.bytes.size() : 0;
  m.position = base + offset;
  return m.position;
}
toff_t memorySize(thandle_t h) { return static_cast<MemoryStream*>(h)->bytes.size(); }

int noClose(thandle_t) { return 0; }  // the owner closes
int noMap(thandle_t, void**, toff_t*) { return 0; }
void noUnmap(thandle_t, void*, toff_t) {}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// ---- the picture

struct Picture {
  const uint8_t* pixels;  // bottom-up blue-green-red-alpha rows
  uint32_t width;
  uint32_t height;
  uint32_t rowsPerStrip = 0;
  size_t rowBytes() const { return size_t{4} * width; }
  uint32_t strips() const { return (height + rowsPerStrip - 1) / rowsPerStrip; }
  uint32_t rowsOf(uint32_t strip) const { return std::min(rowsPerStrip, height - strip * rowsPerStrip); }
};

// The tags of the result; returns false when the library refuses one.
bool setTags(TIFF* tif, Picture& picture) {
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, picture.width) == 1;
  ok = ok && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, picture.height) == 1;
  ok = ok && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) == 1;
  ok = ok && TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW) == 1;
  ok = ok && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) == 1;
  ok = ok && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4) == 1;
  // The fourth sample is alpha with the colours already multiplied by it:
  // that is how the library's RGBA reader hands pictures out, and reading
  // the result back through it then gives the same bytes again.
  const uint16_t extraSamples[] = {EXTRASAMPLE_ASSOCALPHA};
  ok = ok && TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extraSamples) == 1;
  ok = ok && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1;
  ok = ok && TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE) == 1;
  ok = ok && TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == 1;
  if (!ok) return false;
  picture.rowsPerStrip = TIFFDefaultStripSize(tif, 0);
  return TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, picture.rowsPerStrip) == 1;
}

// The rows of `strip`, top-down and red-green-blue-alpha, into `to`.
void stripRows(const Picture& picture, uint32_t strip, uint8_t* to) {
  const uint32_t top = strip * picture.rowsPerStrip;
  const uint32_t rows = picture.rowsOf(strip);
  for (uint32_t i = 0; i < rows; ++i) {
    const uint32_t bottomUp = picture.height - 1 - (top + i);
    std::memcpy(to + i * picture.rowBytes(), picture.pixels + bottomUp * picture.rowBytes(), picture.rowBytes());
  }
  swapRedBlue32Pixels(to, size_t{picture.width} * rows);
}

bool writeStripsHere(TIFF* tif, const Picture& picture) {
  std::vector<uint8_t> strip(picture.rowBytes() * picture.rowsPerStrip);
  for (uint32_t s = 0; s < picture.strips(); ++s) {
    stripRows(picture, s, strip.data());
    const tmsize_t bytes = static_cast<tmsize_t>(picture.rowBytes() * picture.rowsOf(s));
    if (TIFFWriteEncodedStrip(tif, s, strip.data(), bytes) != bytes) return false;
  }
  return true;
}

// One worker's encoded strips: where each lies in its memory file.
struct EncodedStrips {
  MemoryStream memory;
  std::vector<uint64_t> offsets, counts;  // by strip number, for the strips it took
  bool ok = true;
};

void encodeStrips(const Picture& prototype, std::atomic<uint32_t>& next, unsigned workers, EncodedStrips& out) {
  Picture picture = prototype;
  // Room for this worker's share at LZW's worst (12-bit codes for 8-bit
  // bytes) from the start: growing by copies would hold the encoded bytes
  // up to three times over, and room never written costs no memory.
  try {
    out.memory.bytes.reserve(picture.rowBytes() * picture.height / workers * 3 / 2 + (uint64_t{1} << 16));
  } catch (const std::exception&) {
    // grows as it goes
  }
  TiffHandle tif(TIFFClientOpen("memory", "w", &out.memory, memoryRead, memoryWrite, memorySeek, noClose,
                                memorySize, noMap, noUnmap));
  if (tif == nullptr || !setTags(tif.get(), picture) || picture.rowsPerStrip != prototype.rowsPerStrip) {
    out.ok = false;
    return;
  }
  std::vector<uint8_t> strip(picture.rowBytes() * picture.rowsPerStrip);
  std::vector<uint32_t> taken;
  for (;;) {
    const uint32_t first = next.fetch_add(kStripsPerTake);
    if (first >= picture.strips()) break;
    for (uint32_t s = first; s < std::min(first + kStripsPerTake, picture.strips()); ++s) {
      stripRows(picture, s, strip.data());
      const tmsize_t bytes = static_cast<tmsize_t>(picture.rowBytes() * picture.rowsOf(s));
      if (TIFFWriteEncodedStrip(tif.get(), s, strip.data(), bytes) != bytes) {
        out.ok = false;
        return;
      }
      taken.push_back(s);
    }
  }
  out.offsets.assign(picture.strips(), 0);
  out.counts.assign(picture.strips(), 0);
  const uint64_t* offsets = nullptr;
  const uint64_t* counts = nullptr;
  if (!taken.empty() && (TIFFGetField(tif.get(), TIFFTAG_STRIPOFFSETS, &offsets) != 1 ||
                         TIFFGetField(tif.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) != 1)) {
    out.ok = false;
    return;
  }
  for (const uint32_t s : taken) {
    out.offsets[s] = offsets[s];
    out.counts[s] = counts[s];
    if (offsets[s] + counts[s] > out.memory.bytes.size()) out.ok = false;
  }
}

bool writeStripsInParallel(TIFF* tif, const Picture& picture, unsigned workers) {
  std::vector<EncodedStrips> encoded(workers);
  std::atomic<uint32_t> next{0};
  {
    std::vector<std::jthread> threads;
    for (unsigned w = 1; w < workers; ++w) {
      threads.emplace_back([&, w] { encodeStrips(picture, next, workers, encoded[w]); });
    }
    encodeStrips(picture, next, workers, encoded[0]);
  }
  for (const EncodedStrips& e : encoded) {
    if (!e.ok) return false;
  }
  for (uint32_t s = 0; s < picture.strips(); ++s) {
    for (EncodedStrips& e : encoded) {
      if (e.counts.empty() || e.counts[s] == 0) continue;
      const tmsize_t bytes = static_cast<tmsize_t>(e.counts[s]);
      if (TIFFWriteRawStrip(tif, s, e.memory.bytes.data() + e.offsets[s], bytes) != bytes) return false;
      break;
    }
  }
  return true;
}

}  // namespace

PictureWriteResult WriteTiffBitmap(const std::string& path, uint8_t* bitmap, size_t size, unsigned workers,
                                   std::span<const uint8_t> iccProfile) {
  if (size < engine::kHeaderSize || engine::loadLe16(bitmap + engine::field::kBitsPerPixel) != 32) {
    return kPictureWrongBitmap;
  }
  const int32_t width = engine::loadLe32Signed(bitmap + engine::field::kWidth);
  const int32_t height = engine::loadLe32Signed(bitmap + engine::field::kHeight);
  if (width <= 0 || height <= 0 ||
      uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > size - engine::kHeaderSize) {
    return kPictureWrongBitmap;
  }
  Picture picture{bitmap + engine::kHeaderSize, static_cast<uint32_t>(width), static_cast<uint32_t>(height)};

  platform::OutputFile file;
  if (const PictureWriteResult created = createPictureOutput(file, path); created != kPictureWritten) return created;
  FileStream stream{file.stream()};
  TiffHandle tif(TIFFClientOpen(path.c_str(), "w", &stream, fileRead, fileWrite, fileSeek, noClose, fileSize,
                                noMap, noUnmap));
  if (tif == nullptr) return kPictureWriteFailed;  // the file removes itself
  if (!setTags(tif.get(), picture)) return kPictureWriteFailed;
  // Only the file's own directory: the workers' strips do not depend on it.
  if (!iccProfile.empty() && (iccProfile.size() > UINT32_MAX ||
                              TIFFSetField(tif.get(), TIFFTAG_ICCPROFILE, static_cast<uint32_t>(iccProfile.size()),
                                           iccProfile.data()) != 1)) {
    return kPictureWriteFailed;
  }

  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  workers = std::min(workers, (picture.strips() + kStripsPerTake - 1) / kStripsPerTake);
  const bool written = workers > 1 ? writeStripsInParallel(tif.get(), picture, workers)
                                   : writeStripsHere(tif.get(), picture);
  // TIFFFlush writes the directory and says whether it could; TIFFClose
  // would do the same silently.
  if (!written || TIFFFlush(tif.get()) != 1) return kPictureWriteFailed;
  tif.reset();
  return file.commit() ? kPictureWritten : kPictureWriteFailed;
}

}  // namespace quarn::codecs
