// robustness.h: what the end-to-end robustness suites ("bad files",
// "nothing is lost") share: the kinds of input they run, each with how to
// make a valid file and which header fields a forger would change; how a
// result is judged by standard tools; which texts end a run; and a record
// of a directory's files to compare after a run.
//
// A new kind of input is one more entry in fileKinds().
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace quarn::testing {

// A fixed-size field of a file's header, to be forged.
struct HeaderField {
  std::string name;
  size_t offset = 0;
  unsigned size = 4;  // bytes: 1, 2 or 4
  bool bigEndian = false;
};

struct FileKind {
  std::string name;       // "bmp", "png", ...: names the tests
  std::string extension;  // of its input files
  bool keepsEveryRow;     // false: rows are output in fours, so 2 or 3 rows give no picture
  bool isVideo;           // a video: its result is no picture of about twice the input
  unsigned bitsPerPixel;  // of the BitmapBuffer its pictures are converted in
  // Writes a valid file of this kind.
  std::function<void(const std::string& path, uint32_t width, uint32_t height)> write;
  // The fields of `file` (as `write` made it) worth forging.
  std::function<std::vector<HeaderField>(const std::vector<uint8_t>& file)> headerFields;
  // The library's own tool decoding a file of this kind into a picture
  // ("{input}" and "{output}" stand for the paths), for kinds whose library
  // holds a working set of its own (its decoder's planes, its RGB image)
  // before the program gets the pixels: what it needs for a large picture
  // beyond a tiny one is allowed on top of the program's two bitmaps.
  // Empty: none.
  std::vector<std::string> libraryDecode = {};
};

const std::vector<FileKind>& fileKinds();
const FileKind& fileKind(const std::string& name);

// `file` with `field` set to `value` (cut to the field's size; -1 is all
// ones, 0x7fffffff the largest positive value of that size).
std::vector<uint8_t> withField(std::vector<uint8_t> file, const HeaderField& field, int64_t value);

// The eight parameters for `inputPath`, one of a few mixes of depth (given,
// negative, automatic, wider than any picture), 3D+, colour optimisation
// and JPEG or BMP output, chosen by `variant`. Never a raised priority.
std::vector<std::string> eightParameters(const std::string& inputPath, unsigned variant);

// True for the names results get ("quarn_converted...").
bool isResultName(const std::string& name);

// What the format's own rules and library say against the result file at
// `path`, by its extension (.bmp, .jpg, .tif; others through FFmpeg): ""
// when it is read whole without complaint.
std::string resultFault(const std::string& path);

// Picture results kept for FFmpeg, the standard tool that reads every
// kind, to decode them all at the end in one run per extension (starting
// it once per result would cost far more than the runs themselves). Other
// results, which resultFault has FFmpeg read one by one, are only removed.
// Without FFmpeg installed nothing is checked.
class ResultArchive {
 public:
  // Moves the result at `path` into the archive.
  void keep(const std::string& path);
  // What FFmpeg says against the kept results: "" when it reads them all.
  std::string ffmpegFaults() const;

 private:
  TempDir dir_;
  std::map<std::string, int> counts_;  // by extension
};

// True when the run ended with one of the program's own messages: a
// result, a refusal or a failure of some step (the JPEG library's fatal
// errors are its own message, on standard error).
bool endsWithProgramMessage(const ProgramResult& r);

// Sanitizer reports, which a run must never give.
bool sanitizerReported(const ProgramResult& r);

// The regular files of a directory (not below it) with their bytes.
using DirectoryRecord = std::map<std::string, std::vector<uint8_t>>;
DirectoryRecord recordDirectory(const std::string& dir);

// What a run in `dir` did wrong against `before`: a file removed or
// changed, something new that is not a result, a result with a fault by
// resultFault. "" when nothing is wrong. `results` receives the names of
// the new results.
std::string lostOrDamaged(const DirectoryRecord& before, const std::string& dir,
                          std::vector<std::string>* results = nullptr);

}  // namespace quarn::testing
