// Hostile and broken inputs of every kind, run through the built program
// with all eight parameters: empty files, random bytes, a valid file cut
// at every sixteenth, header fields forged to 0, 1, -1, 0x7fffffff and
// 0xffffffff, and the regression inputs of earlier findings. Each run must
// end by itself (in bounded time, and within 4 GB of address space where
// that can be limited), end with one of the program's messages, leave the
// input as it was, and leave no result or a complete one.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "platform/dialogs.h"
#include "support/png_fixture.h"
#include "support/robustness.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn::testing;

namespace {

constexpr uint64_t kAddressSpace = uint64_t{4} << 30;
constexpr double kSecondsPerRun = 30;

struct BadFile {
  std::string what;
  std::vector<uint8_t> bytes;
};

std::vector<BadFile> badFiles(const FileKind& kind, const TempDir& dir) {
  kind.write(dir.file("valid"), 40, 24);
  const std::vector<uint8_t> valid = readFile(dir.file("valid"));
  std::filesystem::remove(dir.file("valid"));

  std::vector<BadFile> files = {{"empty", {}}};
  std::mt19937 random(7);
  for (const size_t size : {size_t{1}, size_t{777}, valid.size()}) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = uint8_t(random());
    files.push_back({"random " + std::to_string(size), bytes});
  }
  std::vector<uint8_t> validStart(valid.begin(), valid.begin() + long(std::min<size_t>(32, valid.size())));
  for (size_t i = validStart.size(); i < valid.size(); ++i) validStart.push_back(uint8_t(random()));
  files.push_back({"random after a valid start", validStart});
  for (size_t k = 1; k < 16; ++k) {
    files.push_back({"cut at " + std::to_string(k) + "/16",
                     std::vector<uint8_t>(valid.begin(), valid.begin() + long(valid.size() * k / 16))});
  }
  for (const HeaderField& f : kind.headerFields(valid)) {
    std::vector<std::vector<uint8_t>> seen;
    for (const int64_t value : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{0x7fffffff}, int64_t{0xffffffff}}) {
      std::vector<uint8_t> forged = withField(valid, f, value);
      if (std::find(seen.begin(), seen.end(), forged) != seen.end()) continue;  // the same bytes in a short field
      seen.push_back(forged);
      files.push_back({f.name + " = " + std::to_string(value), std::move(forged)});
    }
  }
  return files;
}

struct HostileRun {
  ProgramResult run;
  std::string result;  // the new result's name, if any
};

// Runs `bytes` as the input `name` in `dir` and checks everything a run
// must do.
HostileRun runHostile(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes,
                      unsigned variant, const std::string& what) {
  writeFile(dir.file(name), bytes);
  const DirectoryRecord before = recordDirectory(dir.path());
  ProgramRun run;
  run.args = eightParameters(dir.file(name), variant);
  run.timeoutSeconds = kSecondsPerRun;
  const ProgramResult r = runProgramLimited(quarnBinary(), run, kAddressSpace);
  EXPECT_FALSE(r.timedOut) << what;
  EXPECT_EQ(0, r.signal) << what;
  EXPECT_FALSE(sanitizerReported(r)) << what << "\n" << r.err;
  EXPECT_TRUE(endsWithProgramMessage(r)) << what << ": " << r.out << "\n" << r.err;
  std::vector<std::string> results;
  EXPECT_EQ("", lostOrDamaged(before, dir.path(), &results)) << what;
  EXPECT_LE(results.size(), 1u) << what;
  return {r, results.empty() ? "" : results.front()};
}

class BadFiles : public ::testing::TestWithParam<std::string> {
 protected:
  const FileKind& kind() const { return fileKind(GetParam()); }
  void TearDown() override { EXPECT_EQ("", results.ffmpegFaults()); }
  TempDir dir;
  ResultArchive results;
};

TEST_P(BadFiles, EndInAMessageAndLeaveNothingHalfWritten) {
  unsigned variant = 0;
  for (const BadFile& bad : badFiles(kind(), dir)) {
    const HostileRun h = runHostile(dir, "in" + kind().extension, bad.bytes, variant++, kind().name + ", " + bad.what);
    if (!h.result.empty()) results.keep(dir.file(h.result));
  }
}

// Rows go in fours through the in-memory conversion: two or three are too
// few for a picture, and nothing is written. The BMP file conversion keeps
// every row. A video drops such frames one by one and says so when none is
// left, before its closing clean-up.
TEST_P(BadFiles, PicturesOfTwoOrThreeRows) {
  const std::string tooSmall = " greshka! Failut e prekaleno maluk za da bude kachestveno konvertiran!";
  for (const uint32_t rows : {2u, 3u}) {
    for (unsigned variant = 0; variant < 2; ++variant) {
      kind().write(dir.file("few" + kind().extension), 20, rows);
      const std::vector<uint8_t> bytes = readFile(dir.file("few" + kind().extension));
      const std::string what = kind().name + ", " + std::to_string(rows) + " rows";
      const HostileRun h = runHostile(dir, "few" + kind().extension, bytes, variant, what);
      if (kind().keepsEveryRow) {
        ASSERT_NE("", h.result) << what;
        results.keep(dir.file(h.result));
      } else {
        EXPECT_EQ("", h.result) << what;
        if (kind().isVideo) {
          EXPECT_NE(std::string::npos, h.run.out.find(tooSmall)) << what << ": " << h.run.out;
        } else {
          EXPECT_TRUE(h.run.out.ends_with(tooSmall)) << what << ": " << h.run.out;
        }
      }
    }
  }
}

// A picture's peak memory stays near its result held twice (source and
// destination) plus the file, beyond what the program takes for a tiny
// picture (code and libraries), and beyond what the kind's library itself
// needs to decode the large picture, measured on its own tool. A video holds
// a few frames instead: at most four of its own (decoded ahead, converted,
// written) and what the decoder keeps, about two more. A sanitized build's
// own bookkeeping is far larger, so it is not measured there.
TEST_P(BadFiles, PeakMemoryIsNearTwiceTheResult) {
  if (sanitizedBuild()) GTEST_SKIP() << "sanitizer memory overhead";
  auto peakOf = [&](uint32_t width, uint32_t height, unsigned variant) {
    const std::string input = dir.file(width > 100 ? "big" + kind().extension : "tiny" + kind().extension);
    kind().write(input, width, height);
    ProgramRun run;
    run.args = eightParameters(input, variant);
    long peakKb = 0;
    const ProgramResult r = runMeasuringPeakMemory(quarnBinary(), run, peakKb);
    EXPECT_TRUE(r.out.ends_with(" gotovo!")) << r.out;
    for (const std::string& name : dir.list()) {
      if (isResultName(name)) results.keep(dir.file(name));
    }
    return uint64_t(peakKb) * 1024;
  };
  // The library's own tool: its peak on the large picture beyond the tiny one.
  auto libraryPeakOf = [&](uint32_t width, uint32_t height) {
    const std::string input = dir.file("library" + kind().extension);
    kind().write(input, width, height);
    ProgramRun run;
    for (std::string arg : kind().libraryDecode) {
      for (const auto& [name, path] : {std::pair{"{input}", input}, std::pair{"{output}", dir.file("library")}}) {
        if (const size_t at = arg.find(name); at != std::string::npos) arg.replace(at, std::string(name).size(), path);
      }
      run.args.push_back(arg);
    }
    const std::string tool = quarn::platform::findOnPath(run.args.front());
    run.args.erase(run.args.begin());
    long peakKb = 0;
    EXPECT_EQ(0, runMeasuringPeakMemory(tool, run, peakKb).exitCode) << kind().libraryDecode.front();
    for (const std::string& name : dir.list()) std::filesystem::remove(dir.file(name));
    return uint64_t(peakKb) * 1024;
  };
  const uint32_t width = 2400, height = 1600;
  const uint64_t bitmap = 54 + uint64_t{width} * height * kind().bitsPerPixel / 8;
  uint64_t library = 0;
  if (!kind().libraryDecode.empty()) {
    const uint64_t large = libraryPeakOf(width, height), tiny = libraryPeakOf(40, 24);
    library = large - std::min(large, tiny);
  }
  for (unsigned variant = 0; variant < 2; ++variant) {  // JPEG results and BMP results
    const uint64_t itself = peakOf(40, 24, variant);
    const uint64_t peak = peakOf(width, height, variant);
    const uint64_t input = std::filesystem::file_size(dir.file("big" + kind().extension));
    constexpr uint64_t kSlack = uint64_t{4} << 20;
    const uint64_t held = kind().isVideo ? 6 * bitmap : 2 * bitmap;
    EXPECT_LE(peak, itself + held + input + library + kSlack)
        << kind().name << ": peak " << (peak >> 20) << " MB, " << (itself >> 20) << " MB for a tiny picture, "
        << (library >> 20) << " MB for the library";
  }
}

std::vector<std::string> kindNames() {
  std::vector<std::string> names;
  for (const FileKind& k : fileKinds()) names.push_back(k.name);
  return names;
}

INSTANTIATE_TEST_SUITE_P(EveryKind, BadFiles, ::testing::ValuesIn(kindNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Inputs fuzzing found, kept in tests/data/regress/ under the extension of
// their kind, run like any other hostile file.
TEST(BadFilesFound, RegressionInputsOfEveryKind) {
  TempDir dir;
  ResultArchive results;
  std::set<std::string> extensions;
  for (const FileKind& k : fileKinds()) extensions.insert(k.extension);
  unsigned variant = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QUARN_REGRESS_DIR)) {
    const std::string extension = entry.path().extension();
    if (extensions.count(extension) == 0) continue;
    const HostileRun h = runHostile(dir, "in" + extension, readFile(entry.path()), variant++, entry.path().filename());
    if (!h.result.empty()) results.keep(dir.file(h.result));
  }
  EXPECT_EQ("", results.ffmpegFaults());
}

// A 1 MB PNG declaring 23000 x 23000 RGBA pixels: its data could fill at
// most about 1 GB of scanlines, not the 2.1 GB it claims, so it is refused
// at once instead of making a black picture of gigabytes.
TEST(BadFilesFound, APngLargerThanItsDataCouldFillIsRefusedAtOnce) {
  TempDir dir;
  std::vector<uint8_t> data(1 << 20);
  std::mt19937 random(3);
  for (uint8_t& b : data) b = uint8_t(random());
  data[0] = 0x78;
  data[1] = 0x9c;
  std::vector<uint8_t> png = pngSignature();
  for (const auto& chunk : {pngChunk("IHDR", ihdrData(23000, 23000, 8, 6)), pngChunk("IDAT", data),
                            pngChunk("IEND", {})}) {
    png.insert(png.end(), chunk.begin(), chunk.end());
  }
  writeFile(dir.file("huge.png"), png);
  ProgramRun run;
  run.args = eightParameters(dir.file("huge.png"), 0);
  run.timeoutSeconds = kSecondsPerRun;
  long peakKb = 0;
  const ProgramResult r = runMeasuringPeakMemory(quarnBinary(), run, peakKb);
  EXPECT_TRUE(r.out.ends_with(" greshka! Failut e prekaleno maluk za da bude kachestveno konvertiran!")) << r.out;
  if (!sanitizedBuild()) {
    EXPECT_LT(peakKb, 64 * 1024);
  }
  EXPECT_EQ((std::vector<std::string>{"huge.png"}), dir.list());
}

}  // namespace
