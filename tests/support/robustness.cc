#include "support/robustness.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "engine/bitmap_buffer.h"
#include "engine/conversion_result.h"
#include "platform/dialogs.h"
#include "support/bmp_fixture.h"
#include "support/exif_fixture.h"
#include "support/fuzz_input.h"
#include "support/photo_fixture.h"
#include "support/picture_fixture.h"
#include "support/png_fixture.h"
#include "support/temp_dir.h"
#include "support/video_fixture.h"
#include "video/frame_loop.h"

namespace quarn::testing {
namespace {

namespace field = engine::field;

std::vector<HeaderField> bmpFields(const std::vector<uint8_t>& file) {
  std::vector<HeaderField> fields = {
      {"signature", field::kSignature, 2},      {"bfSize", field::kFileSize},
      {"bfReserved", field::kReserved},         {"bfOffBits", field::kPixelOffset},
      {"biSize", field::kInfoSize},             {"biWidth", field::kWidth},
      {"biHeight", field::kHeight},             {"biPlanes", field::kPlanes, 2},
      {"biBitCount", field::kBitsPerPixel, 2},  {"biCompression", field::kCompression},
      {"biSizeImage", field::kImageSize},       {"biXPelsPerMeter", 38},
      {"biYPelsPerMeter", 42},                  {"biClrUsed", 46},
      {"biClrImportant", 50},
  };
  if (file[field::kPixelOffset] == engine::kHeaderWithMasksSize) {
    fields.push_back({"red mask", field::kRedMask});
    fields.push_back({"green mask", field::kGreenMask});
    fields.push_back({"blue mask", field::kBlueMask});
  }
  return fields;
}

uint32_t loadBe32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// The IHDR fields, the first IDAT's length and its zlib header, the IEND
// length.
std::vector<HeaderField> pngFields(const std::vector<uint8_t>& file) {
  std::vector<HeaderField> fields = {
      {"IHDR length", 8, 4, true}, {"width", 16, 4, true},      {"height", 20, 4, true},
      {"bit depth", 24, 1},        {"colour type", 25, 1},      {"compression method", 26, 1},
      {"filter method", 27, 1},    {"interlace method", 28, 1},
  };
  bool idat = false;
  for (size_t at = 8; at + 12 <= file.size(); at += 12 + size_t{loadBe32(&file[at])}) {
    const std::string type(file.begin() + long(at) + 4, file.begin() + long(at) + 8);
    if (type == "IDAT" && !idat) {
      idat = true;
      fields.push_back({"IDAT length", at, 4, true});
      fields.push_back({"zlib header", at + 8, 2, true});
    }
    if (type == "IEND") fields.push_back({"IEND length", at, 4, true});
  }
  return fields;
}

// Segment lengths and the frame and scan headers, up to the first scan.
std::vector<HeaderField> jpegFields(const std::vector<uint8_t>& file) {
  std::vector<HeaderField> fields;
  for (size_t at = 2; at + 4 <= file.size() && file[at] == 0xff;) {
    const uint8_t marker = file[at + 1];
    const size_t length = (size_t{file[at + 2]} << 8) | file[at + 3];
    const std::string name = "marker " + std::to_string(marker);
    fields.push_back({name + " length", at + 2, 2, true});
    if (marker == 0xc0) {  // SOF0
      fields.push_back({"precision", at + 4, 1});
      fields.push_back({"height", at + 5, 2, true});
      fields.push_back({"width", at + 7, 2, true});
      fields.push_back({"components", at + 9, 1});
      fields.push_back({"first component sampling", at + 11, 1});
      fields.push_back({"first component table", at + 12, 1});
    } else if (marker == 0xc4) {  // DHT
      fields.push_back({"table class and number", at + 4, 1});
    } else if (marker == 0xdb) {  // DQT
      fields.push_back({"quantisation precision and number", at + 4, 1});
    } else if (marker == 0xda) {  // SOS
      fields.push_back({"scan components", at + 4, 1});
      fields.push_back({"first scan component tables", at + 6, 1});
      break;
    }
    at += 2 + length;
  }
  return fields;
}

// The directory's place and size, and the value (or the place of the
// values) of each tag that shapes the picture. Little-endian, as the
// fixture writes.
std::vector<HeaderField> tiffFields(const std::vector<uint8_t>& file) {
  std::vector<HeaderField> fields = {{"first directory offset", 4}};
  const size_t ifd = engine::loadLe32(&file[4]);
  if (ifd + 2 > file.size()) return fields;
  fields.push_back({"directory entries", ifd, 2});
  const size_t count = engine::loadLe16(&file[ifd]);
  for (size_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= file.size(); ++i) {
    const size_t entry = ifd + 2 + 12 * i;
    const uint16_t tag = engine::loadLe16(&file[entry]);
    const uint16_t type = engine::loadLe16(&file[entry + 2]);
    const uint32_t n = engine::loadLe32(&file[entry + 4]);
    const std::string name = "tag " + std::to_string(tag);
    fields.push_back({name + " type", entry + 2, 2});
    fields.push_back({name + " count", entry + 4, 4});
    const bool shortValue = type == 3 && n == 1;
    fields.push_back({name + " value", entry + 8, shortValue ? 2u : 4u});
  }
  return fields;
}

const std::string& ffmpegPath() {
  static const std::string ffmpeg = platform::findOnPath("ffmpeg");
  return ffmpeg;
}

// FFmpeg decoding `input` (with `before` it: a pattern of numbered files)
// to nothing: "" when it does so without a word.
std::string ffmpegFault(const std::vector<std::string>& input) {
  if (ffmpegPath().empty()) return "";
  ProgramRun run;
  // Errors only: decoding results of different sizes as one sequence makes
  // FFmpeg warn about the scaling it puts between them.
  run.args = {"-nostdin", "-v", "error", "-xerror"};
  run.args.insert(run.args.end(), input.begin(), input.end());
  run.args.insert(run.args.end(), {"-f", "null", "-"});
  run.timeoutSeconds = 120;
  const ProgramResult r = runProgram(ffmpegPath(), run);
  if (r.exitCode == 0 && r.err.empty()) return "";
  return "FFmpeg: " + (r.err.empty() ? "status " + std::to_string(r.exitCode) : r.err);
}

std::string numbered(int n) {
  char name[16];
  std::snprintf(name, sizeof name, "%06d", n);
  return name;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The position of the first `text` in `file` at or after `from`.
size_t positionOf(const std::vector<uint8_t>& file, const char* text, size_t from = 0) {
  const auto at = std::search(file.begin() + long(std::min(from, file.size())), file.end(), text,
                              text + std::strlen(text));
  return size_t(at - file.begin());
}

// The size of every box the picture is described by (as far as they are
// found by their types), the picture's size in its ispe boxes, and the
// primary item's number.
std::vector<HeaderField> heifFields(const std::vector<uint8_t>& file) {
  std::vector<HeaderField> fields;
  for (const char* type : {"ftyp", "meta", "hdlr", "pitm", "iloc", "iinf", "infe", "iprp", "ipco", "hvcC", "av1C",
                           "ispe", "ipma", "irot", "imir", "mdat"}) {
    const size_t at = positionOf(file, type);
    if (at < 4 || at + 4 > file.size()) continue;
    fields.push_back({std::string(type) + " size", at - 4, 4, true});
    if (std::string(type) == "ispe" && at + 16 <= file.size()) {
      fields.push_back({"ispe width", at + 8, 4, true});
      fields.push_back({"ispe height", at + 12, 4, true});
    }
    if (std::string(type) == "pitm" && at + 10 <= file.size()) fields.push_back({"primary item", at + 8, 2, true});
    if (std::string(type) == "iloc" && at + 8 <= file.size()) fields.push_back({"iloc sizes", at + 8, 1});
  }
  return fields;
}

// The RIFF length, then every chunk's length; the canvas size of VP8X, the
// frame size of VP8.
std::vector<HeaderField> webpFields(const std::vector<uint8_t>& file) {
  std::vector<HeaderField> fields = {{"RIFF length", 4}};
  for (size_t at = 12; at + 8 <= file.size(); at += 8 + size_t{engine::loadLe32(&file[at + 4])} + (file[at + 4] & 1)) {
    const std::string type(file.begin() + long(at), file.begin() + long(at) + 4);
    fields.push_back({type + " length", at + 4});
    if (type == "VP8X" && at + 18 <= file.size()) {
      fields.push_back({"VP8X flags", at + 8, 1});
      fields.push_back({"canvas width", at + 12, 2});
      fields.push_back({"canvas height", at + 15, 2});
    } else if (type == "VP8 " && at + 18 <= file.size()) {
      fields.push_back({"frame tag", at + 8, 2});
      fields.push_back({"frame width", at + 14, 2});
      fields.push_back({"frame height", at + 16, 2});
    }
    if (engine::loadLe32(&file[at + 4]) > file.size()) break;
  }
  return fields;
}


// An AVI of three frames of Motion JPEG with a PCM sound track, as the
// ffmpeg tool writes it.
void writeAvi(const std::string& path, uint32_t width, uint32_t height) {
  std::vector<std::string> make = {"-f", "lavfi", "-i", "sine=duration=0.12:sample_rate=8000"};
  const std::vector<std::string> pictures = testPictures(int(width), int(height), "25", 3);
  make.insert(make.end(), pictures.begin(), pictures.end());
  make.insert(make.end(), {"-map", "1:v", "-map", "0:a", "-c:v", "mjpeg", "-c:a", "pcm_s16le", "-f", "avi", path});
  if (!runFfmpeg(make)) throw std::runtime_error("ffmpeg could not make " + path);
}

// The main header, both stream headers and format blocks, and the lengths
// of the RIFF, the movi list and the index.
std::vector<HeaderField> aviFields(const std::vector<uint8_t>& file) {
  std::vector<HeaderField> fields = {{"RIFF length", 4}};
  const size_t avih = positionOf(file, "avih") + 8, vids = positionOf(file, "vids"),
               video = positionOf(file, "strf", vids) + 8, auds = positionOf(file, "auds"),
               sound = positionOf(file, "strf", auds) + 8, movi = positionOf(file, "movi") - 4,
               idx1 = positionOf(file, "idx1") + 4;
  for (const auto& [name, offset, size] : std::vector<std::tuple<const char*, size_t, unsigned>>{
           {"dwMicroSecPerFrame", avih, 4}, {"dwTotalFrames", avih + 16, 4}, {"dwStreams", avih + 24, 4},
           {"video dwScale", vids + 20, 4}, {"video dwRate", vids + 24, 4}, {"video dwLength", vids + 32, 4},
           {"biWidth", video + 4, 4}, {"biHeight", video + 8, 4}, {"biBitCount", video + 14, 2},
           {"biSizeImage", video + 20, 4}, {"sound dwLength", auds + 32, 4}, {"sound dwSampleSize", auds + 44, 4},
           {"wFormatTag", sound, 2}, {"nChannels", sound + 2, 2}, {"nSamplesPerSec", sound + 4, 4},
           {"nBlockAlign", sound + 12, 2}, {"wBitsPerSample", sound + 14, 2}, {"movi length", movi, 4},
           {"idx1 length", idx1, 4}}) {
    if (offset + size <= file.size()) fields.push_back({name, offset, size});
  }
  return fields;
}

}  // namespace

const std::vector<FileKind>& fileKinds() {
  static const std::vector<FileKind> kinds = {
      {"bmp", ".bmp", true, false, 24,
       [](const std::string& path, uint32_t w, uint32_t h) { writeFile(path, makePatternBitmap(int32_t(w), int32_t(h), 24)); },
       bmpFields},
      {"bmp16", ".bmp", true, false, 24,
       [](const std::string& path, uint32_t w, uint32_t h) {
         writeFile(path, makeSixteenBitBitmap(int32_t(w), int32_t(h), true));
       },
       bmpFields},
      {"png", ".png", false, false, 32,
       [](const std::string& path, uint32_t w, uint32_t h) {
         writeFile(path, encodePng(randomPicture(w, h, 2, 8, false, w ^ h)));
       },
       pngFields},
      {"jpeg", ".jpg", false, false, 24,
       [](const std::string& path, uint32_t w, uint32_t h) { writeJpeg(path, {w, h}); }, jpegFields},
      {"tiff", ".tif", false, false, 32,
       [](const std::string& path, uint32_t w, uint32_t h) {
         TiffPicture picture;
         picture.width = w;
         picture.height = h;
         // Small pictures in strips of 5 rows; large ones in a single strip,
         // as FFmpeg writes them, which the reader takes in one piece.
         picture.rowsPerStrip = h <= 64 ? 5 : h;
         writeTiff(path, picture);
       },
       tiffFields},
      {"heic", ".heic", false, false, 24,
       [](const std::string& path, uint32_t w, uint32_t h) { writeHeifByTool(path, {w, h}); }, heifFields,
       {"heif-convert", "{input}", "{output}.png"}},
      // Stored on its side with a quarter turn in irot: the picture shown
      // is width x height.
      {"avif", ".avif", false, false, 24,
       [](const std::string& path, uint32_t w, uint32_t h) {
         writeHeifByLibrary(path, {photoGrid(h, w, false), true, 6});
       },
       heifFields, {"heif-convert", "{input}", "{output}.png"}},
      // Lossy, with an EXIF block that turns it a quarter.
      {"webp", ".webp", false, false, 24,
       [](const std::string& path, uint32_t w, uint32_t h) {
         writeWebp(path, {photoGrid(h, w, false), false, false, makeExif({6})});
       },
       webpFields},
      {"avi", ".avi", false, true, 24, writeAvi, aviFields},
  };
  return kinds;
}

const FileKind& fileKind(const std::string& name) {
  for (const FileKind& k : fileKinds()) {
    if (k.name == name) return k;
  }
  throw std::invalid_argument("no file kind " + name);
}

std::vector<uint8_t> withField(std::vector<uint8_t> file, const HeaderField& f, int64_t value) {
  const unsigned bits = 8 * f.size;
  uint64_t v = static_cast<uint64_t>(value);
  if (value == 0x7fffffff) v = (uint64_t{1} << (bits - 1)) - 1;
  for (unsigned i = 0; i < f.size && f.offset + i < file.size(); ++i) {
    const unsigned shift = 8 * (f.bigEndian ? f.size - 1 - i : i);
    file[f.offset + i] = static_cast<uint8_t>(v >> shift);
  }
  return file;
}

std::vector<std::string> eightParameters(const std::string& inputPath, unsigned variant) {
  static const std::vector<std::vector<std::string>> mixes = {
      {"10", "ne", "ne", "1"}, {"0", "da", "da", "0"}, {"-7", "da", "ne", "1"}, {"300", "ne", "da", "0"},
  };
  std::vector<std::string> p = mixes[variant % mixes.size()];
  p.insert(p.end(), {"0000", "0", "A", inputPath});
  return p;
}

bool isResultName(const std::string& name) { return name.rfind("quarn_converted", 0) == 0; }

std::string resultFault(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension();
  std::string fault;
  if (extension == ".bmp") {
    const std::vector<uint8_t> bytes = readFile(path);
    fault = bmpResultFault(bytes.data(), bytes.size());
  } else if (extension == ".jpg") {
    fault = jpegFault(path);
  } else if (extension == ".tif") {
    fault = tiffFault(path);
  } else {
    fault = ffmpegFault({"-i", path});
  }
  return fault;
}

void ResultArchive::keep(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension();
  if (extension != ".bmp" && extension != ".jpg" && extension != ".tif") {
    std::filesystem::remove(path);  // not a picture: resultFault had FFmpeg read it already
    return;
  }
  std::filesystem::rename(path, dir_.file(numbered(counts_[extension]++) + extension));
}

std::string ResultArchive::ffmpegFaults() const {
  for (const auto& [extension, count] : counts_) {
    const std::string all = ffmpegFault({"-f", "image2", "-start_number", "0", "-i", dir_.file("%06d" + extension)});
    if (all.empty()) continue;
    // Say which.
    for (int n = 0; n < count; ++n) {
      const std::string path = dir_.file(numbered(n) + extension);
      if (const std::string fault = ffmpegFault({"-i", path}); !fault.empty()) return path + ": " + fault;
    }
    return all;
  }
  return "";
}

bool endsWithProgramMessage(const ProgramResult& r) {
  static const std::vector<std::string> endings = [] {
    std::vector<std::string> e = {
        " proval!",
        " proval pri purvonachalno otvarqne na faila!",
        " proval pri dekompresiraneto!",
        " proval! Ne moje da se zadeli pamet!",
        " greshka!\n Png faila ne ne moje da se dekodira!\n",
        " greshka! Ne moje da se suzdade izhoden fail!",
        " greshka pri analizirane na argumentite!",
        " \n sashtestvuva i nqma da se prezapishe!",  // the end of the existing-output message
        // A video's: the input cannot be loaded, an early end of the run, the
        // closing clean-up of every other run.
        " Veroqtno faila e povreden ili e ot nepoddurjan format!",
        " Nedostatacho pamet!",
        " Diskova greshka pri cheteneto!",
        " Diskova greshka pri otvarqneto!",
        " Izchistvane na vremennite falove ... gotovo!",
    };
    for (int ending = int(video::VideoEnding::kNoVideo); ending <= int(video::VideoEnding::kWriteFailed); ++ending) {
      e.push_back(video::videoEndingMessage(video::VideoEnding(ending)));
    }
    for (int code = engine::kTooSmall; code <= engine::kConverted; ++code) {
      if (code != engine::kOutputExists) e.push_back(engine::conversionMessage(engine::ConversionResult(code)));
    }
    return e;
  }();
  for (const std::string& end : endings) {
    if (endsWith(r.out, end)) return true;
  }
  // The JPEG library's fatal errors end the run with its own message.
  return endsWith(r.out, " Dekompresirane na JPEG ...") && !r.err.empty() && r.exitCode > 0;
}

bool sanitizerReported(const ProgramResult& r) {
  return r.err.find("Sanitizer") != std::string::npos || r.err.find("runtime error:") != std::string::npos;
}

DirectoryRecord recordDirectory(const std::string& dir) {
  DirectoryRecord record;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file()) record[entry.path().filename()] = readFile(entry.path());
  }
  return record;
}

std::string lostOrDamaged(const DirectoryRecord& before, const std::string& dir, std::vector<std::string>* results) {
  const DirectoryRecord after = recordDirectory(dir);
  for (const auto& [name, bytes] : before) {
    const auto now = after.find(name);
    if (now == after.end()) return name + " is gone";
    if (now->second != bytes) return name + " changed";
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename();
    if (before.count(name) != 0) continue;
    if (!isResultName(name)) return "new file " + name;
    if (const std::string fault = resultFault(entry.path()); !fault.empty()) return name + ": " + fault;
    if (results != nullptr) results->push_back(name);
  }
  return "";
}

}  // namespace quarn::testing
