// heif_codec.h: HEIF files, HEVC pictures (.heic, .heif) and AV1 ones
// (.avif), to BitmapBuffers through libheif and the decoders it is built
// with. Works on memory: the file's bytes are only read. libheif reports
// its failures as values; nothing ends the process.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "codecs/picture_reading.h"

namespace quarn::codecs {

// Decodes the primary image of the HEIF file in `bytes` with its
// transformations applied (the rotation, mirroring and cropping of its
// irot, imir and clap properties: the picture stands as it is to be seen),
// into a bitmap from `provide`: blue-green-red, or blue-green-red-alpha with
// the alpha plane when the image has one and `keepAlpha` is set; 10- and
// 12-bit images reduced to 8 bits. The image is decoded before the bitmap is
// asked for. `metadata` receives the ICC profile and the block of the first
// Exif item (whose Orientation tag is ignored: the transformations say how
// the picture stands). The file's size bounds the picture's, coded and
// shown, as plausibleBitmapSize does for coded pictures.
//   kPictureCannotOpen  libheif cannot read the file's structure, there is
//                       no primary image, or its size is refused
//   kPictureUnreadable  the decoder fails on the image
//   kPictureOutOfMemory the provider has no memory for the bitmap
// `libraryMessage` receives libheif's text of a failure it reports.
PictureReadResult decodeHeif(std::span<const uint8_t> bytes, bool keepAlpha, const BitmapProvider& provide,
                             PictureMetadata& metadata, std::string& libraryMessage);

}  // namespace quarn::codecs
