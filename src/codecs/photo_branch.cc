#include "codecs/photo_branch.h"

#include <cstdio>
#include <vector>

#include "codecs/heif_codec.h"
#include "codecs/picture_branch.h"
#include "codecs/webp_codec.h"
#include "platform/console.h"
#include "platform/files.h"

namespace quarn::codecs {
namespace {

// The libraries of these kinds decode from memory: the file is read whole
// for the decode and released with it, before the conversion.
using MemoryDecode = std::function<PictureReadResult(std::span<const uint8_t> bytes, const BitmapProvider& provide,
                                                     PictureMetadata& metadata)>;

PictureDecode fromFile(MemoryDecode decode) {
  return [decode = std::move(decode)](const std::string& path, const BitmapProvider& provide,
                                      PictureMetadata& metadata) {
    std::vector<uint8_t> bytes;
    switch (platform::readWholeFile(path, bytes)) {
      case platform::ReadStatus::kRead:
        break;
      case platform::ReadStatus::kCannotOpen:
        return kPictureCannotOpen;
      case platform::ReadStatus::kOutOfMemory:
        return kPictureOutOfMemory;
    }
    return decode(bytes, provide, metadata);
  };
}

}  // namespace

engine::RunOutcome runHeifBranch(const char* kind, const std::string& inputPath, const std::string& outputPath,
                                 bool jpegOutput, const engine::ConversionSettings& settings,
                                 platform::Console& console) {
  const std::string announcement = platform::formatText(" Dekodirane na %s ...", kind);
  const PictureDecoder decoder{
      announcement.c_str(),
      fromFile([&](std::span<const uint8_t> bytes, const BitmapProvider& provide, PictureMetadata& metadata) {
        std::string message;
        const PictureReadResult read = decodeHeif(bytes, !jpegOutput, provide, metadata, message);
        if (!message.empty()) std::fprintf(stderr, "libheif: %s\n", message.c_str());
        return read;
      })};
  return runPhotoBranch(decoder, inputPath, outputPath, jpegOutput, settings, console);
}

engine::RunOutcome runWebpBranch(const std::string& inputPath, const std::string& outputPath, bool jpegOutput,
                                 const engine::ConversionSettings& settings, platform::Console& console) {
  const PictureDecoder decoder{
      " Dekodirane na WebP ...",
      fromFile([&](std::span<const uint8_t> bytes, const BitmapProvider& provide, PictureMetadata& metadata) {
        return decodeWebp(bytes, !jpegOutput, provide, metadata);
      })};
  return runPhotoBranch(decoder, inputPath, outputPath, jpegOutput, settings, console);
}

}  // namespace quarn::codecs
