#include "codecs/jpeg_codec.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "codecs/exif_data.h"
#include "codecs/picture_size.h"
#include "engine/bitmap_buffer.h"
#include "platform/output_file.h"
#include "platform/process.h"

namespace quarn::codecs {
namespace {

// Rows handed to the library per call: fewer calls, same pixels.
constexpr unsigned kRowsPerCall = 16;

constexpr int kExifMarker = JPEG_APP0 + 1;
constexpr int kIccMarker = JPEG_APP0 + 2;
constexpr JOCTET kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
// A profile is cut into APP2 segments of at most 65519 bytes, numbered in
// one byte: 255 of them at most.
constexpr size_t kMaxIccInJpeg = size_t{255} * 65519;

JpegFatalEnd fatalEnd = nullptr;

// The library's standard manager prints the message, then calls exit():
// ending through platform::endProcess instead runs the same clean-ups with
// the console flushed first, and leaves one way for the process to end early.
[[noreturn]] void endOnFatalError(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  if (fatalEnd != nullptr) fatalEnd();
  platform::endProcess(EXIT_FAILURE);
}

// The library's standard error manager with the fatal errors routed above.
jpeg_error_mgr* processEndingErrors(jpeg_error_mgr* errors) {
  jpeg_std_error(errors);
  errors->error_exit = endOnFatalError;
  return errors;
}

// An open JPEG with its header read and its output set to blue-green-red,
// which the library's colour conversion gives exactly as red-green-blue
// with the bytes swapped afterwards.
class JpegInput {
 public:
  JpegInput() {
    cinfo_.err = processEndingErrors(&errors_);
    jpeg_create_decompress(&cinfo_);
  }
  ~JpegInput() {
    jpeg_destroy_decompress(&cinfo_);
    if (file_ != nullptr) std::fclose(file_);
  }
  JpegInput(const JpegInput&) = delete;
  JpegInput& operator=(const JpegInput&) = delete;

  // False when the file cannot be opened.
  bool open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) return false;
    if (std::fseek(file_, 0, SEEK_END) == 0) {
      const long end = std::ftell(file_);
      fileSize_ = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    std::rewind(file_);
    jpeg_stdio_src(&cinfo_, file_);
    // EXIF and the ICC profile are kept for the result; the pixels do not
    // depend on them.
    jpeg_save_markers(&cinfo_, kExifMarker, 0xffff);
    jpeg_save_markers(&cinfo_, kIccMarker, 0xffff);
    jpeg_read_header(&cinfo_, TRUE);
    cinfo_.out_color_space = JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&cinfo_);
    return true;
  }

  // Greyscale, YCbCr and RGB files have an RGB form; CMYK, YCCK and
  // unknown colour spaces do not.
  bool hasRgbForm() const {
    return cinfo_.jpeg_color_space == JCS_GRAYSCALE || cinfo_.jpeg_color_space == JCS_YCbCr ||
           cinfo_.jpeg_color_space == JCS_RGB;
  }

  std::optional<uint32_t> bitmapSize() const {
    return plausibleBitmapSize(cinfo_.output_width, cinfo_.output_height, 24, fileSize_);
  }

  // The EXIF block of the first APP1 segment that holds one.
  std::vector<uint8_t> exif() const {
    for (jpeg_saved_marker_ptr m = cinfo_.marker_list; m != nullptr; m = m->next) {
      if (m->marker != kExifMarker) continue;
      const std::span<const uint8_t> segment(m->data, m->data_length);
      const std::span<const uint8_t> block = withoutExifPrefix(segment);
      if (block.size() != segment.size()) return {block.begin(), block.end()};
    }
    return {};
  }

  // The ICC profile, put together from its APP2 segments.
  std::vector<uint8_t> iccProfile() {
    JOCTET* profile = nullptr;
    unsigned int length = 0;
    if (!jpeg_read_icc_profile(&cinfo_, &profile, &length)) return {};
    std::vector<uint8_t> bytes(profile, profile + length);
    std::free(profile);
    return bytes;
  }

  jpeg_decompress_struct& cinfo() { return cinfo_; }

 private:
  jpeg_decompress_struct cinfo_{};
  jpeg_error_mgr errors_{};
  std::FILE* file_ = nullptr;
  uint64_t fileSize_ = 0;
};

// A destination manager writing into an OutputFile. A failed write is
// remembered rather than raised as a fatal library error, so the writer
// can report it and the partial file is removed.
struct OutputDestination {
  jpeg_destination_mgr manager;  // first: the library's pointer is ours
  platform::OutputFile* file;
  bool failed;
  JOCTET buffer[1 << 16];

  static OutputDestination& of(j_compress_ptr cinfo) {
    return *reinterpret_cast<OutputDestination*>(cinfo->dest);
  }
  static void init(j_compress_ptr cinfo) {
    OutputDestination& d = of(cinfo);
    d.manager.next_output_byte = d.buffer;
    d.manager.free_in_buffer = sizeof d.buffer;
  }
  static boolean empty(j_compress_ptr cinfo) {
    OutputDestination& d = of(cinfo);
    // The library asks for a new buffer only when the whole one is full.
    if (!d.file->write(d.buffer, sizeof d.buffer)) d.failed = true;
    init(cinfo);
    return TRUE;
  }
  static void term(j_compress_ptr cinfo) {
    OutputDestination& d = of(cinfo);
    if (!d.file->write(d.buffer, sizeof d.buffer - d.manager.free_in_buffer)) d.failed = true;
  }
};

}  // namespace

void setJpegFatalEnd(JpegFatalEnd end) { fatalEnd = end; }

std::optional<uint32_t> GetJpegBitmapSize(const std::string& path) {
  JpegInput input;
  if (!input.open(path)) return std::nullopt;
  return input.bitmapSize();
}

PictureReadResult decodeJpeg(const std::string& path, const BitmapProvider& provide, PictureMetadata& metadata) {
  JpegInput input;
  if (!input.open(path) || !input.bitmapSize()) return kPictureCannotOpen;
  if (!input.hasRgbForm()) return kPictureUnreadable;
  jpeg_decompress_struct& cinfo = input.cinfo();
  metadata.exif = input.exif();
  metadata.iccProfile = input.iccProfile();
  const BitmapShape shape{cinfo.output_width, cinfo.output_height, 24, exifOrientation(metadata.exif)};
  if (!storedBitmapSize(shape)) return kPictureCannotOpen;
  uint8_t* buffer = provide(shape);
  if (buffer == nullptr) return kPictureOutOfMemory;

  jpeg_start_decompress(&cinfo);
  const uint32_t width = cinfo.output_width;
  const uint32_t height = cinfo.output_height;
  const size_t rowBytes = size_t{3} * width;
  const size_t stride = engine::rowStride(width, 3);
  uint8_t* pixels = buffer + engine::kHeaderSize;
  // Scanline k (top first) is row height - 1 - k of the bottom-up buffer.
  JSAMPROW rows[kRowsPerCall];
  while (cinfo.output_scanline < height) {
    const uint32_t first = cinfo.output_scanline;
    const uint32_t count = std::min<uint32_t>(kRowsPerCall, height - first);
    for (uint32_t i = 0; i < count; ++i) rows[i] = pixels + (height - 1 - first - i) * stride;
    if (jpeg_read_scanlines(&cinfo, rows, count) == 0) return kPictureUnreadable;
  }
  if (stride != rowBytes) {
    for (uint32_t y = 0; y < height; ++y) std::memset(pixels + y * stride + rowBytes, 0, stride - rowBytes);
  }
  jpeg_finish_decompress(&cinfo);
  engine::writeBitmapHeader(buffer, width, height, 24);
  return kPictureRead;
}

PictureReadResult ReadJpegBitmap(const std::string& path, uint8_t* buffer, size_t size) {
  PictureMetadata ignored;
  return decodeJpeg(path, fixedBuffer(buffer, size), ignored) == kPictureRead ? kPictureRead : kPictureUnreadable;
}

PictureWriteResult WriteJpegBitmap(const std::string& path, uint8_t* bitmap, size_t size,
                                   const PictureMetadata& carried) {
  if (size < engine::kHeaderSize || engine::loadLe16(bitmap + engine::field::kBitsPerPixel) != 24) {
    return kPictureWrongBitmap;
  }
  const int32_t width = engine::loadLe32Signed(bitmap + engine::field::kWidth);
  const int32_t height = engine::loadLe32Signed(bitmap + engine::field::kHeight);
  const uint64_t stride = engine::rowStride(static_cast<uint64_t>(std::max(width, 0)), 3);
  if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION ||
      stride * static_cast<uint64_t>(height) > size - engine::kHeaderSize) {
    return kPictureWrongBitmap;
  }

  platform::OutputFile file;
  if (const PictureWriteResult created = createPictureOutput(file, path); created != kPictureWritten) return created;
  auto destination = std::make_unique<OutputDestination>();
  destination->manager.init_destination = OutputDestination::init;
  destination->manager.empty_output_buffer = OutputDestination::empty;
  destination->manager.term_destination = OutputDestination::term;
  destination->file = &file;
  destination->failed = false;

  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = processEndingErrors(&errors);
  jpeg_create_compress(&cinfo);
  cinfo.dest = &destination->manager;
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  // The buffer's own blue-green-red, bottom row last: the library converts
  // it exactly as the red-green-blue rows top-down.
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  if (!carried.exif.empty() && carried.exif.size() <= kMaxExifInJpeg) {
    std::vector<JOCTET> segment(kExifPrefix, kExifPrefix + sizeof kExifPrefix);
    segment.insert(segment.end(), carried.exif.begin(), carried.exif.end());
    jpeg_write_marker(&cinfo, kExifMarker, segment.data(), static_cast<unsigned>(segment.size()));
  }
  if (!carried.iccProfile.empty() && carried.iccProfile.size() <= kMaxIccInJpeg) {
    jpeg_write_icc_profile(&cinfo, carried.iccProfile.data(), static_cast<unsigned>(carried.iccProfile.size()));
  }
  uint8_t* pixels = bitmap + engine::kHeaderSize;
  JSAMPROW rows[kRowsPerCall];
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint32_t first = cinfo.next_scanline;
    const uint32_t count = std::min<uint32_t>(kRowsPerCall, cinfo.image_height - first);
    for (uint32_t i = 0; i < count; ++i) rows[i] = pixels + (cinfo.image_height - 1 - first - i) * stride;
    jpeg_write_scanlines(&cinfo, rows, count);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  if (destination->failed) return kPictureWriteFailed;  // the file removes itself
  return file.commit() ? kPictureWritten : kPictureWriteFailed;
}

}  // namespace quarn::codecs
