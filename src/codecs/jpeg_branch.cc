#include "codecs/jpeg_branch.h"

#include "codecs/jpeg_codec.h"
#include "codecs/picture_branch.h"
#include "engine/bitmap_buffer.h"
#include "engine/console_lines.h"

namespace quarn::codecs {
namespace {

engine::RunOutcome saveAsBmp(platform::Console& console, const std::string& outputPath, const uint8_t* bitmap) {
  // The converted picture's own header says how much of the buffer it is.
  const uint32_t width = engine::loadLe32(bitmap + engine::field::kWidth);
  const uint32_t height = engine::loadLe32(bitmap + engine::field::kHeight);
  const size_t size = engine::kHeaderSize + engine::rowStride(width, 3) * height;
  return saveBitmapOutput(console, outputPath, bitmap, size);
}

}  // namespace

engine::RunOutcome runJpegBranch(const std::string& inputPath, const std::string& outputPath, bool jpegOutput,
                                 const engine::ConversionSettings& settings, platform::Console& console) {
  const PictureDecoder decoder{"JPEG", GetJpegBitmapSize, ReadJpegBitmap};
  return runPictureBranch(decoder, inputPath, settings, console, [&](uint8_t* bitmap, size_t size) {
    if (!jpegOutput) return saveAsBmp(console, outputPath, bitmap);
    return savePicture(console, "JPEG", outputPath, [&] { return WriteJpegBitmap(outputPath, bitmap, size); });
  });
}

}  // namespace quarn::codecs
