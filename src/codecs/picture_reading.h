// picture_reading.h: what the decoders of still pictures share: how a read
// ended, with the console text of each end; the shape of the picture a
// decoder is about to deliver; where its BitmapBuffer comes from; and what
// the file says beside its pixels that a result may carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "codecs/orientation.h"

namespace quarn::codecs {

enum PictureReadResult : int {
  kPictureRead = 0,
  kPictureUnreadable = -1,   // the library cannot decode the picture (or the buffer is not its size)
  kPictureCannotOpen = -2,   // the file cannot be opened, or its header is refused or claims too much
  kPictureOutOfMemory = -3,  // no memory for the bitmap
};

// What the console shows after the decoding line: " gotovo!\n" for a read
// picture, otherwise the failure's message. nullptr outside the table.
const char* pictureReadMessage(PictureReadResult result);

struct BitmapShape {
  uint32_t width = 0;   // pixels, as stored
  uint32_t height = 0;  // rows, as stored
  unsigned bitsPerPixel = 24;  // 24 or 32
  // The turn the picture still needs to stand upright, which the caller
  // makes; the decoder delivers the pixels as stored.
  Orientation orientation = Orientation::kTopLeft;
};

// The BitmapBuffer of `shape` as stored; nullopt when it, or its upright
// form, would not fit in 32 bits.
std::optional<uint32_t> storedBitmapSize(const BitmapShape& shape);

// Called once by a decoder that knows its picture's shape: returns
// storedBitmapSize(shape) zeroed bytes for the decoder to fill as a complete
// BitmapBuffer (header, bottom-up blue-green-red(-alpha) rows), or nullptr
// when the memory cannot be had. The memory stays the caller's.
using BitmapProvider = std::function<uint8_t*(const BitmapShape& shape)>;

// What a result may carry over from its input, as the input holds it.
struct PictureMetadata {
  std::vector<uint8_t> iccProfile;  // the colour profile; empty when none
  std::vector<uint8_t> exif;        // the EXIF block (TIFF-structured); empty when none
};

// A decoder of one kind of file: decodes the file at a path into the
// bitmap it gets from the provider, and fills the metadata.
using PictureDecode =
    std::function<PictureReadResult(const std::string& path, const BitmapProvider& provide, PictureMetadata& metadata)>;

// The provider of a caller that has `buffer` of `size` bytes ready: it
// gives it for shapes of exactly that size, zeroed, and nullptr otherwise.
BitmapProvider fixedBuffer(uint8_t* buffer, size_t size);

}  // namespace quarn::codecs
