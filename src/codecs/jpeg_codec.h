// jpeg_codec.h: JPEG files to and from 24-bit BitmapBuffers, through
// libjpeg with its standard error manager.
//
// The library's fatal errors (not a JPEG file, damaged headers,
// unsupported features, out of memory) do not return: the library's message
// is printed on standard error as its standard manager prints it, and the
// process ends with status 1 through platform::endProcess, whose clean-ups
// remove an output file being written. Warnings (damaged entropy-coded
// data) do not stop decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "codecs/picture_branch.h"
#include "codecs/picture_reading.h"

namespace quarn::codecs {

// What follows the message of a fatal error of the library; it must not
// return. By default it ends the process (above); a fuzz target, which must
// go on to its next input, sets one that unwinds instead. nullptr restores
// the default.
using JpegFatalEnd = void (*)();
void setJpegFatalEnd(JpegFatalEnd end);

// The total size of the 24-bit BitmapBuffer of the JPEG at `path`: 54 +
// (3 × W + pad) × H. nullopt when the file cannot be opened, or when that
// size would not fit in 32 bits or is implausibly large for the file.
std::optional<uint32_t> GetJpegBitmapSize(const std::string& path);

// Decodes the JPEG at `path` as stored into a bitmap from `provide`: a
// complete bottom-up blue-green-red BitmapBuffer with zero pad bytes, of the
// shape the file gives, with the orientation its EXIF block names.
// Greyscale files arrive as grey RGB pixels. `metadata` receives the EXIF
// block of the first Exif APP1 segment and the ICC profile of the APP2
// segments. kPictureCannotOpen when the file cannot be opened or its size is
// refused (as GetJpegBitmapSize); kPictureUnreadable for CMYK, YCCK (or any
// colour space without an RGB form) before any memory is asked for, or when
// no scanline could be read.
PictureReadResult decodeJpeg(const std::string& path, const BitmapProvider& provide, PictureMetadata& metadata);

// decodeJpeg into `buffer`, whose `size` must be what GetJpegBitmapSize
// gave. kPictureUnreadable for every failure; no row has been written when
// the file cannot be opened, is CMYK or the size differs.
PictureReadResult ReadJpegBitmap(const std::string& path, uint8_t* buffer, size_t size);

// Encodes the 24-bit BitmapBuffer `bitmap` (`size` bytes) as a new baseline
// JPEG of quality 100 at `path`, carrying the EXIF block (as given, in an
// APP1 segment after the JFIF one; not when it is longer than a segment
// holds) and the ICC profile of `carried` (in APP2 segments; not when it
// needs more than the 255 they can number). The bitmap is only read.
//   kPictureWritten       every byte written and the file closed
//   kPictureOutputExists  something is at `path`; it is left as it was
//   kPictureCannotCreate  the file cannot be created
//   kPictureWrongBitmap   not 24 bits per pixel, or rows past `size`; no file
//   kPictureWriteFailed   a write or the close failed; the file is removed
PictureWriteResult WriteJpegBitmap(const std::string& path, uint8_t* bitmap, size_t size,
                                   const PictureMetadata& carried = {});

}  // namespace quarn::codecs
