#include "codecs/tiff_branch.h"

#include "codecs/picture_branch.h"
#include "codecs/tiff_codec.h"

namespace quarn::codecs {

engine::RunOutcome runTiffBranch(const std::string& inputPath, const std::string& outputPath,
                                 const engine::ConversionSettings& settings, platform::Console& console) {
  const PictureDecoder decoder{" Dekompresirane na TIFF ...", decodeTiff};
  return runPictureBranch(decoder, inputPath, settings, console,
                          [&](uint8_t* bitmap, size_t size, const PictureMetadata& metadata) {
                            return savePicture(console, "TIFF", outputPath, [&] {
                              return WriteTiffBitmap(outputPath, bitmap, size, 0, metadata.iccProfile);
                            });
                          });
}

}  // namespace quarn::codecs
