// The adapter of libheif.
#include "codecs/heif_codec.h"

#include <libheif/heif.h>

#include <memory>
#include <vector>

#include "codecs/picture_size.h"
#include "engine/bitmap_buffer.h"

namespace quarn::codecs {
namespace {

struct ContextFree {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
  void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

// The Exif item starts with the offset of the TIFF header behind it.
constexpr size_t kExifOffsetField = 4;

// libheif's error style, turned into ours: the message kept, the result
// named by the caller.
bool failed(const heif_error& error, std::string& message) {
  if (error.code == heif_error_Ok) return false;
  message = error.message != nullptr ? error.message : "";
  return true;
}

std::vector<uint8_t> iccProfileOf(const heif_image_handle* handle) {
  const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
  if (size == 0) return {};
  std::vector<uint8_t> profile(size);
  if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok) return {};
  return profile;
}

std::vector<uint8_t> exifOf(const heif_image_handle* handle) {
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1) return {};
  const size_t size = heif_image_handle_get_metadata_size(handle, id);
  if (size <= kExifOffsetField) return {};
  std::vector<uint8_t> item(size);
  if (heif_image_handle_get_metadata(handle, id, item.data()).code != heif_error_Ok) return {};
  const uint64_t offset =
      uint64_t{item[0]} << 24 | uint64_t{item[1]} << 16 | uint64_t{item[2]} << 8 | uint64_t{item[3]};  // big-endian
  if (offset >= size - kExifOffsetField) return {};
  return {item.begin() + static_cast<ptrdiff_t>(kExifOffsetField + offset), item.end()};
}

// Copies the decoded interleaved rows (top-down red-green-blue(-alpha)) into
// the bottom-up blue-green-red(-alpha) rows of `bitmap`.
void placeRows(const uint8_t* rows, int rowStride, uint32_t width, uint32_t height, unsigned pixelBytes,
               uint8_t* bitmap) {
  const size_t stride = engine::rowStride(width, pixelBytes);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* from = rows + ptrdiff_t{rowStride} * y;
    uint8_t* to = bitmap + engine::kHeaderSize + stride * (height - 1 - y);
    for (uint32_t x = 0; x < width; ++x, from += pixelBytes, to += pixelBytes) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      if (pixelBytes == 4) to[3] = from[3];
    }
  }
  engine::writeBitmapHeader(bitmap, width, height, pixelBytes * 8);
}

}  // namespace

PictureReadResult decodeHeif(std::span<const uint8_t> bytes, bool keepAlpha, const BitmapProvider& provide,
                             PictureMetadata& metadata, std::string& libraryMessage) {
  static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
  if (!initialised) return kPictureCannotOpen;
  const Context context(heif_context_alloc());
  if (context == nullptr) return kPictureOutOfMemory;
  if (failed(heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr),
             libraryMessage)) {
    return kPictureCannotOpen;
  }
  heif_image_handle* primary = nullptr;
  if (failed(heif_context_get_primary_image_handle(context.get(), &primary), libraryMessage)) {
    return kPictureCannotOpen;
  }
  const Handle handle(primary);

  const bool alpha = keepAlpha && heif_image_handle_has_alpha_channel(handle.get()) != 0;
  const unsigned bits = alpha ? 32 : 24;
  const int width = heif_image_handle_get_width(handle.get());
  const int height = heif_image_handle_get_height(handle.get());
  const int codedWidth = heif_image_handle_get_ispe_width(handle.get());
  const int codedHeight = heif_image_handle_get_ispe_height(handle.get());
  // The coded picture is what the library holds while decoding; a crop can
  // make it far larger than the one shown.
  if (width <= 0 || height <= 0 || codedWidth < 0 || codedHeight < 0 ||
      !plausibleCodedBitmapSize(uint64_t(width), uint64_t(height), bits, bytes.size()) ||
      !plausibleCodedBitmapSize(uint64_t(codedWidth), uint64_t(codedHeight), bits, bytes.size())) {
    return kPictureCannotOpen;
  }
  const BitmapShape shape{uint32_t(width), uint32_t(height), bits, Orientation::kTopLeft};
  if (!storedBitmapSize(shape)) return kPictureCannotOpen;
  metadata.iccProfile = iccProfileOf(handle.get());
  metadata.exif = exifOf(handle.get());

  const std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  if (options == nullptr) return kPictureOutOfMemory;
  options->convert_hdr_to_8bit = 1;
  heif_image* decoded = nullptr;
  if (failed(heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()),
             libraryMessage)) {
    return kPictureUnreadable;
  }
  const Image image(decoded);
  int rowStride = 0;
  const uint8_t* rows = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &rowStride);
  if (rows == nullptr || rowStride < 0 || heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
      heif_image_get_height(image.get(), heif_channel_interleaved) != height ||
      heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8 ||
      size_t(rowStride) < size_t{bits / 8} * size_t(width)) {
    libraryMessage = "the decoded image is not the size or depth its file gives";
    return kPictureUnreadable;
  }
  uint8_t* bitmap = provide(shape);
  if (bitmap == nullptr) return kPictureOutOfMemory;
  placeRows(rows, rowStride, shape.width, shape.height, bits / 8, bitmap);
  return kPictureRead;
}

}  // namespace quarn::codecs
