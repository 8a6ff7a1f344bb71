#include "support/exif_fixture.h"

#include <libexif/exif-data.h>

#include <cstring>

namespace quarn::testing {
namespace {

// TIFF field types.
constexpr uint16_t kAscii = 2, kShort = 3, kLong = 4, kRational = 5;

class TiffWriter {
 public:
  explicit TiffWriter(bool bigEndian) : big_(bigEndian) {}

  std::vector<uint8_t> bytes;

  void put16(uint16_t v) { putN(v, 2); }
  void put32(uint32_t v) { putN(v, 4); }
  void patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (8 * (big_ ? 3 - i : i)));
  }
  uint32_t here() const { return uint32_t(bytes.size()); }

  std::vector<uint8_t> value16(std::initializer_list<uint16_t> values) const { return encode(values, 2); }
  std::vector<uint8_t> value32(std::initializer_list<uint32_t> values) const { return encode(values, 4); }
  static std::vector<uint8_t> ascii(const std::string& text) {
    std::vector<uint8_t> v(text.begin(), text.end());
    v.push_back(0);
    return v;
  }

  struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<uint8_t> value;  // in the block's byte order
  };

  // Appends a directory of `entries` (in tag order) and the values that do
  // not fit in their entries; returns where each entry's value field is,
  // by tag, and where the next directory's offset goes (tag 0).
  std::map<uint16_t, size_t> directory(const std::vector<Entry>& entries) {
    std::map<uint16_t, size_t> fields;
    const size_t start = bytes.size();
    uint32_t data = uint32_t(start + 2 + 12 * entries.size() + 4);
    put16(uint16_t(entries.size()));                  // number of entries
    for (const Entry& e : entries) {
      put16(e.tag);                                   // tag
      put16(e.type);                                  // field type
      put32(e.count);                                 // count
      fields[e.tag] = bytes.size();
      if (e.value.size() <= 4) {                      // value, left-justified
        std::vector<uint8_t> v = e.value;
        v.resize(4, 0);
        bytes.insert(bytes.end(), v.begin(), v.end());
      } else {                                        // value offset
        put32(data);
        data += uint32_t(e.value.size() + e.value.size() % 2);
      }
    }
    fields[0] = bytes.size();
    put32(0);                                         // next directory
    for (const Entry& e : entries) {
      if (e.value.size() <= 4) continue;
      bytes.insert(bytes.end(), e.value.begin(), e.value.end());
      if (e.value.size() % 2) bytes.push_back(0);     // values start on word boundaries
    }
    return fields;
  }

 private:
  void putN(uint32_t v, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(uint8_t(v >> (8 * (big_ ? n - 1 - i : i))));
  }
  template <typename T>
  std::vector<uint8_t> encode(std::initializer_list<T> values, int n) const {
    std::vector<uint8_t> out;
    for (const T v : values) {
      for (int i = 0; i < n; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * (big_ ? n - 1 - i : i))));
    }
    return out;
  }
  bool big_;
};

}  // namespace

std::vector<uint8_t> makeExif(const ExifFixture& f) {
  TiffWriter w(f.bigEndian);
  w.bytes = f.bigEndian ? std::vector<uint8_t>{'M', 'M'} : std::vector<uint8_t>{'I', 'I'};  // byte order
  w.put16(42);                                                                               // 42
  w.put32(8);                                                                                // first directory

  std::vector<TiffWriter::Entry> first = {{0x010f, kAscii, uint32_t(std::strlen(kExifMake) + 1), w.ascii(kExifMake)}};  // Make
  if (f.orientation != 0) first.push_back({0x0112, kShort, 1, w.value16({uint16_t(f.orientation)})});  // Orientation
  first.push_back({0x8769, kLong, 1, w.value32({0})});   // ExifIFDPointer, patched
  first.push_back({0x8825, kLong, 1, w.value32({0})});   // GPSInfoIFDPointer, patched
  const auto ifd0 = w.directory(first);

  w.patch32(ifd0.at(0x8769), w.here());
  std::vector<TiffWriter::Entry> exif = {
      {0x829a, kRational, 1, w.value32({1, 120})},                                  // ExposureTime
      {0x9003, kAscii, uint32_t(std::strlen(kExifDateTaken) + 1), w.ascii(kExifDateTaken)},  // DateTimeOriginal
  };
  if (f.pixelWidth != 0) {
    exif.push_back({0xa002, kLong, 1, w.value32({f.pixelWidth})});   // PixelXDimension
    exif.push_back({0xa003, kShort, 1, w.value16({uint16_t(f.pixelHeight)})});  // PixelYDimension
  }
  w.directory(exif);

  w.patch32(ifd0.at(0x8825), w.here());
  w.directory({
      {0x0001, kAscii, 2, w.ascii("N")},                          // GPSLatitudeRef
      {0x0002, kRational, 3, w.value32({42, 1, 41, 1, 0, 1})},   // GPSLatitude
  });

  if (f.thumbnailBytes != 0) {
    w.patch32(ifd0.at(0), w.here());
    const auto ifd1 = w.directory({
        {0x0103, kShort, 1, w.value16({6})},       // Compression: JPEG
        {0x0201, kLong, 1, w.value32({0})},        // JPEGInterchangeFormat, patched
        {0x0202, kLong, 1, w.value32({uint32_t(f.thumbnailBytes)})},  // JPEGInterchangeFormatLength
    });
    w.patch32(ifd1.at(0x0201), w.here());
    std::vector<uint8_t> thumbnail(f.thumbnailBytes, 0x55);
    thumbnail[0] = 0xff, thumbnail[1] = 0xd8;  // SOI
    w.bytes.insert(w.bytes.end(), thumbnail.begin(), thumbnail.end());
  }
  return w.bytes;
}

std::map<std::string, std::string> exifTags(const std::vector<uint8_t>& block) {
  std::vector<uint8_t> prefixed = {'E', 'x', 'i', 'f', 0, 0};
  prefixed.insert(prefixed.end(), block.begin(), block.end());
  ExifData* data = exif_data_new();
  exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data, prefixed.data(), unsigned(prefixed.size()));
  std::map<std::string, std::string> tags;
  for (int ifd = 0; ifd < EXIF_IFD_COUNT; ++ifd) {
    const ExifContent* content = data->ifd[ifd];
    for (unsigned i = 0; i < content->count; ++i) {
      ExifEntry* e = content->entries[i];
      char value[256] = "";
      exif_entry_get_value(e, value, sizeof value);
      const char* name = exif_tag_get_name_in_ifd(e->tag, ExifIfd(ifd));
      tags[std::string(exif_ifd_get_name(ExifIfd(ifd))) + " " + (name ? name : std::to_string(e->tag))] = value;
    }
  }
  if (data->size != 0) tags["thumbnail bytes"] = std::to_string(data->size);
  exif_data_unref(data);
  return tags;
}

}  // namespace quarn::testing
