#include "codecs/picture_branch.h"

#include <memory>
#include <new>

#include "engine/bitmap_buffer.h"
#include "engine/bitmap_file.h"
#include "engine/console_lines.h"
#include "engine/memory_conversion.h"

namespace quarn::codecs {

engine::RunOutcome runPictureBranch(const PictureDecoder& decoder, const std::string& inputPath,
                                    const engine::ConversionSettings& settings, platform::Console& console,
                                    const PictureSaver& save) {
  console.print(" Dekompresirane na %s ...", decoder.kind);
  const std::optional<uint32_t> size = decoder.bitmapSize(inputPath);
  if (!size) {
    console.write(" proval pri purvonachalno otvarqne na faila!");
    return engine::RunOutcome::kInputFailed;
  }
  engine::BitmapBuffer source;
  // Every byte of the destination that is read later is written by the
  // conversion first, so it is not cleared.
  std::unique_ptr<uint8_t[]> destination(new (std::nothrow) uint8_t[size_t{*size}]);
  if (destination == nullptr || !engine::tryResize(source, size_t{*size})) {
    console.write(" proval! Ne moje da se zadeli pamet!");
    return engine::RunOutcome::kInputFailed;
  }
  if (decoder.readBitmap(inputPath, source.data(), source.size()) != kPictureRead) {
    console.write(" proval pri dekompresiraneto!");
    return engine::RunOutcome::kInputFailed;
  }
  console.write(" gotovo!\n");

  const int32_t width = engine::loadLe32Signed(source.data() + engine::field::kWidth);
  engine::printSettingsLines(console, engine::depthToShow(settings, width), settings.colourOptimisation,
                             settings.plus3D);
  const engine::ConversionResult result =
      engine::convertBitmapBuffer(source, destination.get(), size_t{*size}, settings);
  engine::printConversionResult(console, result, "");
  if (result != engine::kConverted) return engine::outcomeOf(result);
  source = engine::BitmapBuffer();  // the writers may need the memory
  return save(destination.get(), size_t{*size});
}

engine::RunOutcome savePicture(platform::Console& console, const char* kind, const std::string& outputPath,
                               const std::function<PictureWriteResult()>& write) {
  console.print("\n Suhranenie kato %s ...", kind);
  switch (write()) {
    case kPictureWritten:
      console.write(" gotovo!");
      return engine::RunOutcome::kDone;
    case kPictureOutputExists:
      engine::printConversionResult(console, engine::kOutputExists, outputPath);
      break;
    case kPictureCannotCreate:
    case kPictureWrongBitmap:
    case kPictureWriteFailed:
      console.write(" proval!");
      break;
  }
  return engine::RunOutcome::kOutputFailed;
}

}  // namespace quarn::codecs

namespace quarn::codecs {

PictureWriteResult createPictureOutput(platform::OutputFile& file, const std::string& path) {
  switch (file.create(path)) {
    case platform::CreateStatus::kCreated:
      return kPictureWritten;
    case platform::CreateStatus::kExists:
      return kPictureOutputExists;
    case platform::CreateStatus::kFailed:
      break;
  }
  return kPictureCannotCreate;
}

engine::RunOutcome saveBitmapOutput(platform::Console& console, const std::string& outputPath,
                                    const uint8_t* bitmap, size_t size) {
  const engine::ConversionResult written = engine::writeBitmapFile(outputPath, bitmap, size, engine::kHeaderSize);
  if (written == engine::kCannotCreateOutput) {
    console.write(" greshka! Ne moje da se suzdade izhoden fail!");
  } else if (written != engine::kConverted) {
    engine::printConversionResult(console, written, outputPath);
  }
  return engine::outcomeOf(written);
}

}  // namespace quarn::codecs
