#include "app/run_driver.h"

#include <ctime>

#include "app/command_line.h"
#include "app/cpu_features.h"
#include "app/help.h"
#include "app/run_options.h"
#include "codecs/jpeg_branch.h"
#include "codecs/png_branch.h"
#include "codecs/tiff_branch.h"
#include "engine/bmp_file.h"
#include "engine/console_lines.h"
#include "platform/console.h"
#include "platform/dialogs.h"
#include "platform/process.h"

namespace quarn::app {
namespace {

constexpr const char* kBanner =
    "\n"
    " Ostrel quarn ver.-1.15 (2010)\n"
    " http://www.ostrel.example/quarn\n"
    "\n";
constexpr const char* kFatalCaption = "Фатална Грешка";
constexpr const char* kNoProgramPath = "Не може да се засече директорията,\nв която е програмата!";
constexpr int kClosingPauseMs = 5000;

void listVideoCodecs(platform::Console& console) {
  // TODO: fill both sources from FFmpeg's video encoders once AVI output exists.
  printCodecList(console, CodecSources{});
}

void runBmpBranch(const RunOptions& options, platform::Console& console) {
  const engine::ConversionResult result =
      engine::convertBmpFile(options.inputPath, options.outputPath, options.conversionSettings(), console);
  engine::printConversionResult(console, result, options.outputPath);
}

void dispatch(const RunOptions& options, platform::Console& console) {
  switch (options.inputKind) {
    case InputKind::Bmp:
      runBmpBranch(options, console);
      break;
    case InputKind::Png:
      codecs::runPngBranch(options.inputPath, options.outputPath, options.conversionSettings(), console);
      break;
    case InputKind::Jpeg:
      codecs::runJpegBranch(options.inputPath, options.outputPath, options.jpegOutput, options.conversionSettings(),
                            console);
      break;
    case InputKind::Tiff:
      codecs::runTiffBranch(options.inputPath, options.outputPath, options.conversionSettings(), console);
      break;
    case InputKind::Avi:
    case InputKind::Unsupported:
      break;
  }
}

}  // namespace

int runQuarn(int argc, const char* const* argv) {
  platform::Console& console = platform::standardConsole();
  RunOptions options;
  ParserServices services{
      platform::systemMessageBoxes(),
      console,
      platform::setProcessPriority,
      [] { return static_cast<int64_t>(std::time(nullptr)); },
      listVideoCodecs,
  };
  switch (parseCommandLine(argc, argv, options, services)) {
    case ParseResult::kGoOn:
      break;
    case ParseResult::kFinished:
      return 0;
    case ParseResult::kCannotOpen:
      console.write(" greshka pri analizirane na argumentite!");
      return 0;
  }

  CpuFeatures features;
  detectCpuFeatures(features);

  const std::optional<std::string> program = platform::programPath();
  if (!program) {
    platform::systemMessageBoxes().show(kFatalCaption, kNoProgramPath, platform::BoxStyle::kErrorOk);
    return 0;
  }
  options.programShortPath = *program;  // there is no short form here

  platform::discardPendingInput();
  platform::clearScreen();
  console.print("%s", kBanner);
  console.write(" Molq izchakaite ....\n");
  const ProcessorFlags flags = deriveProcessorFlags(features);
  options.useMmx3DNow = flags.useMmx3DNow;
  options.useSse2 = flags.useSse2;
  printProcessorLines(console, flags, runtimeFloatingPointIsSse2());

  dispatch(options, console);

  platform::pauseForReader(kClosingPauseMs);
  return 0;
}

}  // namespace quarn::app
