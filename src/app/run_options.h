// run_options.h: the settings of one run, filled once by the command-line
// parser and read by every branch.
#pragma once

#include <cstdint>
#include <string>

#include "app/media_kinds.h"
#include "engine/conversion_settings.h"
#include "video/video_options.h"

namespace quarn::app {

// Decided from the last four characters of the input's name.
enum class InputKind { Bmp, Png, Jpeg, Tiff, Heic, Heif, Avif, Webp, Avi, Media, Unsupported };

// The kinds whose result is a JPEG or a BMP file, as the user chooses.
inline bool hasJpegOrBmpResult(InputKind kind) {
  return kind == InputKind::Jpeg || kind == InputKind::Heic || kind == InputKind::Heif || kind == InputKind::Avif ||
         kind == InputKind::Webp;
}

using video::CompressOptions;
using platform::kFourCCDib;

struct RunOptions {
  std::string inputPath;       // the file to convert, as given
  std::string outputPath;      // inputDirectory + "quarn_converted" + seconds [+ "_" n] + extension: the first free name
  std::string inputDirectory;  // inputPath up to and including its last '/'; may be empty
  InputKind inputKind = InputKind::Unsupported;
  MediaKind media;             // for InputKind::Media: how it is read and written
  int32_t depth = 0;           // magnitude, never negative
  bool negativeDepth = false;
  bool autoDepth = false;
  bool plus3D = false;
  bool colourOptimisation = false;
  bool jpegOutput = false;     // a JPEG, HEIF or WebP input is written as JPEG (else BMP)
  CompressOptions compressOptions;
  bool fullCommandLine = false;  // all eight parameters given: no questions during the run
  bool useMmx3DNow = false;
  bool useSse2 = false;

  engine::ConversionSettings conversionSettings() const {
    engine::ConversionSettings s;
    s.autoDepth = autoDepth;
    s.depth = depth;
    s.negativeDepth = negativeDepth;
    s.plus3D = plus3D;
    s.colourOptimisation = colourOptimisation;
    s.variant = engine::chooseVariant(useSse2, useMmx3DNow);
    return s;
  }
};

}  // namespace quarn::app
