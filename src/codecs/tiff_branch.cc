#include "codecs/tiff_branch.h"

#include "codecs/picture_branch.h"
#include "codecs/tiff_codec.h"

namespace quarn::codecs {

engine::RunOutcome runTiffBranch(const std::string& inputPath, const std::string& outputPath,
                                 const engine::ConversionSettings& settings, platform::Console& console) {
  const PictureDecoder decoder{"TIFF", GetTiffBitmapSize, ReadTiffBitmap};
  return runPictureBranch(decoder, inputPath, settings, console, [&](uint8_t* bitmap, size_t size) {
    return savePicture(console, "TIFF", outputPath, [&] { return WriteTiffBitmap(outputPath, bitmap, size); });
  });
}

}  // namespace quarn::codecs
