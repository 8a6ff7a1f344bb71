// The adapter of libexif.
#include "codecs/exif_data.h"

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace quarn::codecs {
namespace {

constexpr uint8_t kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ExifDataUnref {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifHandle = std::unique_ptr<ExifData, ExifDataUnref>;

struct ExifMemUnref {
  void operator()(ExifMem* mem) const { exif_mem_unref(mem); }
};

// The library's allocator, kept to free the thumbnail it allocated.
ExifMem* exifMemory() {
  static const std::unique_ptr<ExifMem, ExifMemUnref> mem(exif_mem_new_default());
  return mem.get();
}

// The block as libexif reads it, every tag kept as it is: unknown tags are
// not dropped, and nothing the standard calls for is added. nullptr when
// the library cannot read it (no TIFF header, no memory).
ExifHandle load(std::span<const uint8_t> block) {
  const std::span<const uint8_t> tiff = withoutExifPrefix(block);
  if (tiff.empty()) return nullptr;
  // The loader finds the block by the prefix.
  std::vector<uint8_t> prefixed(kExifPrefix, kExifPrefix + sizeof kExifPrefix);
  prefixed.insert(prefixed.end(), tiff.begin(), tiff.end());
  ExifHandle data(exif_data_new_mem(exifMemory()));
  if (data == nullptr) return nullptr;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data.get(), prefixed.data(), static_cast<unsigned>(std::min<size_t>(prefixed.size(), UINT32_MAX)));
  return data;
}

// A SHORT or LONG entry's first value; nullopt for other formats or no data.
std::optional<uint32_t> firstNumber(const ExifEntry* entry, ExifByteOrder order) {
  if (entry == nullptr || entry->components == 0 || entry->data == nullptr) return std::nullopt;
  if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2) return exif_get_short(entry->data, order);
  if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4) return exif_get_long(entry->data, order);
  return std::nullopt;
}

void setFirstNumber(ExifEntry* entry, ExifByteOrder order, uint32_t value) {
  if (!firstNumber(entry, order)) return;
  if (entry->format == EXIF_FORMAT_SHORT) {
    exif_set_short(entry->data, order, static_cast<ExifShort>(std::min<uint32_t>(value, UINT16_MAX)));
  } else {
    exif_set_long(entry->data, order, value);
  }
}

struct ExifFree {
  void operator()(void* p) const { exif_mem_free(exifMemory(), p); }
};

}  // namespace

std::span<const uint8_t> withoutExifPrefix(std::span<const uint8_t> block) {
  if (block.size() >= sizeof kExifPrefix && std::memcmp(block.data(), kExifPrefix, sizeof kExifPrefix) == 0) {
    return block.subspan(sizeof kExifPrefix);
  }
  return block;
}

Orientation exifOrientation(std::span<const uint8_t> block) {
  const ExifHandle data = load(block);
  if (data == nullptr) return Orientation::kTopLeft;
  const ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  return orientationFromTag(firstNumber(entry, exif_data_get_byte_order(data.get())).value_or(1));
}

std::vector<uint8_t> exifForUprightResult(std::span<const uint8_t> block, uint32_t width, uint32_t height) {
  const ExifHandle data = load(block);
  if (data == nullptr) return {};
  const ExifByteOrder order = exif_data_get_byte_order(data.get());
  setFirstNumber(exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION), order, 1);
  setFirstNumber(exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_PIXEL_X_DIMENSION), order, width);
  setFirstNumber(exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_PIXEL_Y_DIMENSION), order, height);
  // The thumbnail shows the picture before the conversion, and its
  // directory (the second) exists only for it.
  ExifContent* thumbnailDirectory = data->ifd[EXIF_IFD_1];
  while (thumbnailDirectory->count != 0) exif_content_remove_entry(thumbnailDirectory, thumbnailDirectory->entries[0]);
  exif_mem_free(exifMemory(), data->data);
  data->data = nullptr;
  data->size = 0;

  // A block without any entry left (or one libexif could not read) carries
  // nothing.
  unsigned entries = 0;
  for (const ExifContent* directory : data->ifd) entries += directory->count;
  if (entries == 0) return {};

  unsigned char* saved = nullptr;
  unsigned int savedSize = 0;
  exif_data_save_data(data.get(), &saved, &savedSize);
  const std::unique_ptr<unsigned char, ExifFree> owner(saved);
  if (saved == nullptr) return {};
  // What the library saves starts with the prefix.
  const std::span<const uint8_t> tiff = withoutExifPrefix({saved, savedSize});
  if (tiff.size() > kMaxExifInJpeg) return {};
  return {tiff.begin(), tiff.end()};
}

}  // namespace quarn::codecs
