// webp_codec.h: WebP files to BitmapBuffers through libwebp (lossy and
// lossless still pictures; of an animation, its first frame). Works on
// memory: the file's bytes are only read.
#pragma once

#include <cstdint>
#include <span>

#include "codecs/picture_reading.h"

namespace quarn::codecs {

// Decodes the WebP file in `bytes` as stored into a bitmap from `provide`:
// blue-green-red, or blue-green-red-alpha (not premultiplied) when the file
// says it has alpha and `keepAlpha` is set. A still picture is decoded
// straight into the bitmap; an animation's first frame is composed on its
// canvas, over transparent black, and copied. The shape carries the
// orientation of the EXIF chunk; `metadata` receives the ICC and EXIF
// chunks. The file's size bounds the canvas as plausibleBitmapSize does for
// coded pictures.
//   kPictureCannotOpen  not a whole WebP container, or the canvas is refused
//   kPictureUnreadable  the bitstream cannot be decoded
//   kPictureOutOfMemory the provider (or the animation decoder) has no memory
PictureReadResult decodeWebp(std::span<const uint8_t> bytes, bool keepAlpha, const BitmapProvider& provide,
                             PictureMetadata& metadata);

}  // namespace quarn::codecs
