// picture_branch.h: the run of a decoded still picture (JPEG, TIFF, HEIF,
// WebP): decode into a BitmapBuffer, stand it upright, convert it in
// memory, save the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "codecs/picture_reading.h"
#include "engine/conversion_settings.h"
#include "engine/run_outcome.h"
#include "platform/console.h"
#include "platform/output_file.h"

namespace quarn::codecs {

// Results of the picture writers (WriteJpegBitmap, WriteTiffBitmap).
enum PictureWriteResult : int {
  kPictureWritten = 0,
  kPictureCannotCreate = -1,
  kPictureWrongBitmap = -2,   // not the writer's bits per pixel, or rows past the buffer
  kPictureWriteFailed = -3,   // a write or the close failed; nothing is left at the path
  kPictureOutputExists = -4,  // something is at the path already; it is left as it was
};

// Creates the writer's output file: kPictureWritten when it was created
// (and is to be written), else kPictureOutputExists or kPictureCannotCreate.
PictureWriteResult createPictureOutput(platform::OutputFile& file, const std::string& path);

struct PictureDecoder {
  const char* announcement;  // the decoding line, " Dekompresirane na JPEG ...": the outcome follows it
  PictureDecode decode;
};

// Saves the converted BitmapBuffer (`size` bytes, header included), prints
// what became of it and returns that. The bitmap may be changed. `metadata`
// is the input's.
using PictureSaver =
    std::function<engine::RunOutcome(uint8_t* bitmap, size_t size, const PictureMetadata& metadata)>;

// Decodes `inputPath`, stands the picture upright, prints the settings
// lines (the automatic depth from the upright width), converts and prints
// the result; on success hands the converted picture to `save` and returns
// its outcome. Every failure prints its message; the buffers are released
// before returning.
engine::RunOutcome runPictureBranch(const PictureDecoder& decoder, const std::string& inputPath,
                                    const engine::ConversionSettings& settings, platform::Console& console,
                                    const PictureSaver& save);

// The branch of pictures whose result is a JPEG (`jpegOutput`, carrying the
// input's ICC profile and its EXIF block made upright) or a BMP file: JPEG,
// HEIF, WebP.
engine::RunOutcome runPhotoBranch(const PictureDecoder& decoder, const std::string& inputPath,
                                  const std::string& outputPath, bool jpegOutput,
                                  const engine::ConversionSettings& settings, platform::Console& console);

// Writes a converted picture's first `size` bytes as a new BMP file and
// prints what went wrong, if anything: the branch's own text when the file
// cannot be created, otherwise the conversion's message of the code.
engine::RunOutcome saveBitmapOutput(platform::Console& console, const std::string& outputPath, const uint8_t* bitmap,
                                    size_t size);

// Prints "\n Suhranenie kato <kind> ...", runs `write` and prints its
// outcome: " gotovo!", the message of an existing output, or " proval!".
engine::RunOutcome savePicture(platform::Console& console, const char* kind, const std::string& outputPath,
                               const std::function<PictureWriteResult()>& write);

}  // namespace quarn::codecs
