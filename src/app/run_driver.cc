#include "app/run_driver.h"

#include <ctime>

#include "app/command_line.h"
#include "app/cpu_features.h"
#include "app/exit_status.h"
#include "app/help.h"
#include "app/media_branch.h"
#include "app/run_options.h"
#include "app/video_branch.h"
#include "codecs/jpeg_branch.h"
#include "codecs/photo_branch.h"
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

engine::RunOutcome runBmpBranch(const RunOptions& options, platform::Console& console) {
  const engine::ConversionResult result =
      engine::convertBmpFile(options.inputPath, options.outputPath, options.conversionSettings(), console);
  engine::printConversionResult(console, result, options.outputPath);
  return engine::outcomeOf(result);
}

// The name the decoding line gives a HEIF file: its extension's.
const char* heifKindName(InputKind kind) {
  switch (kind) {
    case InputKind::Heic:
      return "HEIC";
    case InputKind::Avif:
      return "AVIF";
    default:
      return "HEIF";
  }
}

}  // namespace

engine::RunOutcome runBranch(const RunOptions& options, platform::Console& console) {
  switch (options.inputKind) {
    case InputKind::Bmp:
      return runBmpBranch(options, console);
    case InputKind::Png:
      return codecs::runPngBranch(options.inputPath, options.outputPath, options.conversionSettings(), console);
    case InputKind::Jpeg:
      return codecs::runJpegBranch(options.inputPath, options.outputPath, options.jpegOutput,
                                   options.conversionSettings(), console);
    case InputKind::Tiff:
      return codecs::runTiffBranch(options.inputPath, options.outputPath, options.conversionSettings(), console);
    case InputKind::Heic:
    case InputKind::Heif:
    case InputKind::Avif:
      return codecs::runHeifBranch(heifKindName(options.inputKind), options.inputPath, options.outputPath,
                                   options.jpegOutput, options.conversionSettings(), console);
    case InputKind::Webp:
      return codecs::runWebpBranch(options.inputPath, options.outputPath, options.jpegOutput,
                                   options.conversionSettings(), console);
    case InputKind::Avi:
      return runVideoBranch(options, console, platform::systemMessageBoxes());
    case InputKind::Media:
      return runMediaBranch(options, console, platform::systemMessageBoxes());
    case InputKind::Unsupported:
      break;
  }
  return engine::RunOutcome::kUnsupportedKind;
}

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
      return exitStatusFor(engine::RunOutcome::kDone);
    case ParseResult::kCannotOpen:
      console.write(" greshka pri analizirane na argumentite!");
      return exitStatusFor(engine::RunOutcome::kArgumentError);
  }

  CpuFeatures features;
  detectCpuFeatures(features);

  // A program that cannot find its own file (no /proc) does not start.
  if (!platform::programPath()) {
    platform::systemMessageBoxes().show(kFatalCaption, kNoProgramPath, platform::BoxStyle::kErrorOk);
    return exitStatusFor(engine::RunOutcome::kNotStarted);
  }

  platform::discardPendingInput();
  platform::clearScreen();
  console.print("%s", kBanner);
  console.write(" Molq izchakaite ....\n");
  const ProcessorFlags flags = deriveProcessorFlags(features);
  options.useMmx3DNow = flags.useMmx3DNow;
  options.useSse2 = flags.useSse2;
  printProcessorLines(console, flags, runtimeFloatingPointIsSse2());

  const engine::RunOutcome outcome = runBranch(options, console);

  platform::pauseForReader(kClosingPauseMs);
  return exitStatusFor(outcome);
}

}  // namespace quarn::app
