// tiff_codec.h: TIFF files to and from 32-bit BitmapBuffers, through
// libtiff with its default error and warning handlers (they print on
// standard error; the calls return and the process goes on).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "codecs/picture_branch.h"
#include "codecs/picture_reading.h"

namespace quarn::codecs {

// 54 + 4 × W × H for the first image of the TIFF at `path`; nullopt when
// the library cannot open it, or when that size would not fit in 32 bits or
// is implausibly large for the file.
std::optional<uint32_t> GetTiffBitmapSize(const std::string& path);

// Decodes the first image of the TIFF at `path`, whatever the library can
// render (grey, palette, RGB, CMYK, YCbCr, with or without alpha, strips or
// tiles), into a bitmap from `provide`: a bottom-up blue-green-red-alpha
// BitmapBuffer, alpha 255 where the file has none. The library turns
// orientations 2 to 4 upright and mirrors 5 to 8 as it mirrors 1 to 4; the
// shape names the turn that is left. `metadata` receives the ICC profile.
// Damaged strips or tiles do not stop the read: the library fills in what
// it can. kPictureCannotOpen when the library cannot open the file or the
// size is refused (as GetTiffBitmapSize), kPictureUnreadable when it cannot
// render it.
PictureReadResult decodeTiff(const std::string& path, const BitmapProvider& provide, PictureMetadata& metadata);

// decodeTiff into `buffer`, whose `size` must be what GetTiffBitmapSize
// gave; kPictureUnreadable for every failure.
PictureReadResult ReadTiffBitmap(const std::string& path, uint8_t* buffer, size_t size);

// Writes the 32-bit BitmapBuffer `bitmap` (`size` bytes) as a new RGBA TIFF
// at `path`: LZW, 8 bits per sample, 4 samples (the fourth marked as
// associated alpha, as the reader hands colours out premultiplied),
// contiguous, resolution unit none, orientation top-left, the library's
// default rows per strip, and `iccProfile` when there is one. The
// bitmap is only read. Strips are encoded on `workers` threads (0: one per
// processor); the file's content does not depend on their number.
//   kPictureWritten       every byte written and the file closed
//   kPictureOutputExists  something is at `path`; it is left as it was
//   kPictureCannotCreate  the file cannot be created
//   kPictureWrongBitmap   not 32 bits per pixel, or rows past `size`; no file
//   kPictureWriteFailed   encoding, a write or the close failed; the file is removed
PictureWriteResult WriteTiffBitmap(const std::string& path, uint8_t* bitmap, size_t size, unsigned workers = 0,
                                   std::span<const uint8_t> iccProfile = {});

}  // namespace quarn::codecs
