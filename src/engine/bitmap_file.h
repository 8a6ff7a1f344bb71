// bitmap_file.h: writing a finished image to a new BMP file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/conversion_result.h"

namespace quarn::engine {

// Writes `size` bytes to a new file at `path`, the first `headerSize` of
// them (the header) in one call, the rest in blocks of rows.
//   kConverted           every byte written and the file closed
//   kOutputExists        something is at `path`; it is left as it was
//   kCannotCreateOutput  the file cannot be created
//   kWriteFailed         a write or the close failed; the partial file is removed
ConversionResult writeBitmapFile(const std::string& path, const uint8_t* data, size_t size, size_t headerSize);

}  // namespace quarn::engine
