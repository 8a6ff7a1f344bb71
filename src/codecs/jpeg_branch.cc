#include "codecs/jpeg_branch.h"

#include "codecs/jpeg_codec.h"
#include "codecs/picture_branch.h"

namespace quarn::codecs {

engine::RunOutcome runJpegBranch(const std::string& inputPath, const std::string& outputPath, bool jpegOutput,
                                 const engine::ConversionSettings& settings, platform::Console& console) {
  const PictureDecoder decoder{" Dekompresirane na JPEG ...", decodeJpeg};
  return runPhotoBranch(decoder, inputPath, outputPath, jpegOutput, settings, console);
}

}  // namespace quarn::codecs
