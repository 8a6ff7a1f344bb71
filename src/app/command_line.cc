#include "app/command_line.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/help.h"
#include "app/media_kinds.h"
#include "platform/files.h"

namespace quarn::app {
namespace {

constexpr const char* kUsageCaption = "Ostrel quarn ver.-1.15 - Помощ";
constexpr const char* kUsageText =
    "Моля, завлечете с мишката, желаният от вас файл за конвертиране\nвърху иконката на тази програма.\n\n"
    "За промяна на дълбочината на картината както и за задаване на\nдруги параметри, използвайте конзолни "
    "аргументи.\nПомощна информация за тях можете да получите с аргумент '?'.\n\nПример:  quarn.exe ?\n\n"
    "Обърнете внимание, че quarn поддържа само:\n\n16 (555; 565 кодирани), 24 или 32 bit некомпресирани BMP "
    "файлове,\nPNG, JPEG, TIFF или AVI файлове.\n\nПри проблеми с конвертирането на AVI файлове инсталирайте\n"
    "кодеци или преинсталирайте вече инсталираните.";

constexpr const char* kColourCaption = "Цветова оптимизация?";
constexpr const char* kColourText =
    "Цветовата оптимизация ще намали напрежението в очите\nи ще подобри 3D качеството особено при ярки "
    "картини.\nВнимание!\nИзползването на цветова оптимизация многократно\nще намали скоростта на "
    "конвертиране!\n\nИзползване на цветова оптимизация?";

constexpr const char* kPlus3DCaption = "3D+";
constexpr const char* kPlus3DText =
    "Опция 3D+ може да подобри 3D качеството.\nИмайте предвид, че използването и се отразява (слабо)\nна "
    "скоростта на конвертирането.\n\nАктивиране на опция 3D+?";

constexpr const char* kJpegCaption = "Какъв да е изходящият формат?";
constexpr const char* kJpegText =
    "Форматът на изходящия файл JPEG ли да бъде?\nИмайте предвид, че JPEG компресията разваля 3D "
    "качеството!\n\n(Да=JPEG Не=BMP)";

constexpr uint32_t kMaxQuality = 10000;
constexpr uint32_t kFallbackQuality = 80;
constexpr size_t kExtensionLength = 4;  // every extension appended is four characters

bool ask(ParserServices& services, const char* caption, const char* text) {
  return services.boxes.show(caption, text, platform::BoxStyle::kQuestionYesNo) == platform::BoxAnswer::kYes;
}

bool firstIsD(const char* text) { return text[0] == 'd' || text[0] == 'D'; }

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

void applyEightParameters(const char* const* p, RunOptions& options, ParserServices& services) {
  // dulbochina
  const int32_t depth = atoiLike(p[0]);
  if (depth < 0) {
    // -INT_MIN does not fit: the largest magnitude is limited to the width anyway.
    options.depth = depth == INT32_MIN ? INT32_MAX : -depth;
    options.negativeDepth = true;
  } else if (depth == 0) {
    options.autoDepth = true;
  } else {
    options.depth = depth;
  }
  // 3D+, cv_opt
  if (firstIsD(p[1])) options.plus3D = true;
  if (firstIsD(p[2])) options.colourOptimisation = true;
  // eventualen_izhod
  if (p[3][0] == '0') options.jpegOutput = false;
  if (p[3][0] == '1') options.jpegOutput = true;
  // kodek-id
  options.compressOptions.fccHandler = fourCCFromKodekId(p[4]);
  // kachestvo: compared unsigned, so negative values are out of range too
  const auto quality = static_cast<uint32_t>(atoiLike(p[5]));
  options.compressOptions.dwQuality = quality > kMaxQuality ? kFallbackQuality : quality;
  // prioritet
  services.setPriority(priorityFromLetter(p[6]));
  options.fullCommandLine = true;
}

// Runs started within one second share the time in their name: each takes
// the first name nothing is at, so a loop over many pictures converts every
// one. Existing things are only looked at; the writer still creates its file
// exclusively, in case another run takes the name in between.
std::string firstFreeOutputPath(const std::string& stem, const char* extension) {
  std::string path = stem + extension;
  for (uint64_t n = 2; platform::pathExists(path); ++n) path = stem + "_" + std::to_string(n) + extension;
  return path;
}

}  // namespace

int32_t atoiLike(const char* text) {
  // atoi is (int) strtol in the C runtime: leading blanks, a sign, digits up
  // to the first other character; no digits gives 0.
  return static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

uint32_t fourCCFromKodekId(std::string_view kodekId) {
  char c[4] = {' ', ' ', ' ', ' '};
  for (size_t i = 0; i < 4 && i < kodekId.size(); ++i) c[i] = kodekId[i];
  if (c[0] == '0' && c[1] == '0' && c[2] == '0' && c[3] == '0') return kFourCCDib;
  return static_cast<uint32_t>(static_cast<uint8_t>(c[0])) | (static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c[3])) << 24);
}

platform::PriorityClass priorityFromLetter(std::string_view prioritet) {
  switch (prioritet.empty() ? '\0' : prioritet[0]) {
    case 'A':
    case 'a':
      return platform::PriorityClass::kNormal;
    case 'C':
    case 'c':
      return platform::PriorityClass::kHigh;
    case 'D':
    case 'd':
      return platform::PriorityClass::kRealtime;
    default:
      return platform::PriorityClass::kAboveNormal;
  }
}

InputKind inputKindOf(std::string_view path) {
  if (path.size() < 4) return InputKind::Unsupported;
  const std::string last = lowerAscii(path.substr(path.size() - 4));
  if (last == ".avi") return InputKind::Avi;
  if (last == ".bmp") return InputKind::Bmp;
  if (last == ".png") return InputKind::Png;
  if (last == ".jpg" || last == ".jpe" || last == "jpeg") return InputKind::Jpeg;
  if (last == ".tif" || last == "tiff") return InputKind::Tiff;
  if (last == "heic") return InputKind::Heic;
  if (last == "heif") return InputKind::Heif;
  if (last == "avif") return InputKind::Avif;
  if (last == "webp") return InputKind::Webp;
  if (mediaKindOf(path)) return InputKind::Media;
  return InputKind::Unsupported;
}

const char* extensionFor(InputKind kind, bool jpegOutput) {
  switch (kind) {
    case InputKind::Avi:
      return ".avi";
    case InputKind::Bmp:
    case InputKind::Png:
      return ".bmp";
    case InputKind::Jpeg:
    case InputKind::Heic:
    case InputKind::Heif:
    case InputKind::Avif:
    case InputKind::Webp:
      return jpegOutput ? ".jpg" : ".bmp";
    case InputKind::Tiff:
      return ".tif";
    case InputKind::Media:  // by the container: see resultExtension()
    case InputKind::Unsupported:
      return nullptr;
  }
  return nullptr;
}

ParseResult parseCommandLine(int argc, const char* const* argv, RunOptions& options, ParserServices& services) {
  const int count = argc - 1;
  const char* const* p = argv + 1;
  if (count <= 0) {
    services.boxes.show(kUsageCaption, kUsageText, platform::BoxStyle::kWarningOk);
    return ParseResult::kFinished;
  }
  const char* path = nullptr;
  if (count == 1) {
    const std::string_view only(p[0]);
    if (only == "?") {
      printHelp(services.console);
      return ParseResult::kFinished;
    }
    if (only == "?k") {
      services.listVideoCodecs(services.console);
      return ParseResult::kFinished;
    }
    // Drag-and-drop mode: both questions come before the file is checked.
    options.autoDepth = true;
    if (ask(services, kColourCaption, kColourText)) options.colourOptimisation = true;
    if (ask(services, kPlus3DCaption, kPlus3DText)) options.plus3D = true;
    services.setPriority(platform::PriorityClass::kAboveNormal);
    path = p[0];
  } else if (count == 8) {
    applyEightParameters(p, options, services);
    path = p[7];
  } else {
    path = p[0];
  }

  // There are no short path forms here: the path is used as given.
  options.inputPath = path;
  // Every branch reads a regular file only: a FIFO or a device is refused
  // here, like a file that cannot be opened.
  if (!platform::isReadableRegularFile(options.inputPath)) return ParseResult::kCannotOpen;

  const size_t slash = options.inputPath.rfind('/');
  options.inputDirectory = slash == std::string::npos ? std::string() : options.inputPath.substr(0, slash + 1);
  // The low 32 bits of the time, as a signed number.
  const auto seconds = static_cast<int32_t>(static_cast<uint32_t>(services.secondsSince1970()));
  options.outputPath = options.inputDirectory + "quarn_converted" + std::to_string(seconds);
  if (options.outputPath.size() + kExtensionLength > platform::kMaxPathLength) return ParseResult::kCannotOpen;

  options.inputKind = inputKindOf(options.inputPath);
  if (options.inputKind == InputKind::Media) options.media = *mediaKindOf(options.inputPath);
  if (hasJpegOrBmpResult(options.inputKind) && !options.fullCommandLine) {
    options.jpegOutput = ask(services, kJpegCaption, kJpegText);
  }
  const char* extension = options.inputKind == InputKind::Media ? platform::resultExtension(options.media.result)
                                                                : extensionFor(options.inputKind, options.jpegOutput);
  if (extension != nullptr) {
    // ".webm" is a character longer than the other endings.
    if (options.outputPath.size() + std::strlen(extension) > platform::kMaxPathLength) return ParseResult::kCannotOpen;
    options.outputPath = firstFreeOutputPath(options.outputPath, extension);
  }
  return ParseResult::kGoOn;
}

}  // namespace quarn::app
