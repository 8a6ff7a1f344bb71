#include "codecs/picture_reading.h"

#include <cstring>

#include "engine/bitmap_buffer.h"

namespace quarn::codecs {

const char* pictureReadMessage(PictureReadResult result) {
  switch (result) {
    case kPictureRead:
      return " gotovo!\n";
    case kPictureUnreadable:
      return " proval pri dekompresiraneto!";
    case kPictureCannotOpen:
      return " proval pri purvonachalno otvarqne na faila!";
    case kPictureOutOfMemory:
      return " proval! Ne moje da se zadeli pamet!";
  }
  return nullptr;
}

std::optional<uint32_t> storedBitmapSize(const BitmapShape& shape) {
  if (!uprightBitmapSize(shape.width, shape.height, shape.bitsPerPixel, shape.orientation)) return std::nullopt;
  return engine::bitmapBufferSize(shape.width, shape.height, shape.bitsPerPixel);
}

BitmapProvider fixedBuffer(uint8_t* buffer, size_t size) {
  return [buffer, size](const BitmapShape& shape) -> uint8_t* {
    const std::optional<uint32_t> wanted = storedBitmapSize(shape);
    if (!wanted || *wanted != size) return nullptr;
    std::memset(buffer, 0, size);
    return buffer;
  };
}

}  // namespace quarn::codecs
