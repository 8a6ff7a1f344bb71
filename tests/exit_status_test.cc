// What a script sees of whole runs: the exit status of every way a run can
// end, and a loop of conversions within one second that converts every one.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>

#include "support/bmp_fixture.h"
#include "support/picture_fixture.h"
#include "support/png_fixture.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn::testing;

namespace {

using MakeInput = std::function<void(const std::string& path)>;

MakeInput bytes(const std::vector<uint8_t>& content) {
  return [content](const std::string& path) { writeFile(path, content); };
}
MakeInput jpeg(JpegPicture picture) {
  return [picture](const std::string& path) { writeJpeg(path, picture); };
}
MakeInput tiff(uint32_t width, uint32_t height) {
  return [=](const std::string& path) {
    TiffPicture picture;
    picture.width = width;
    picture.height = height;
    writeTiff(path, picture);
  };
}

// The eight parameters with depth 10; "@" stands for the input's path.
std::vector<std::string> eight(const char* jpegOutput = "0") {
  return {"10", "ne", "ne", jpegOutput, "0000", "0", "A", "@"};
}

std::vector<uint8_t> notABmp() {
  std::vector<uint8_t> picture = makePatternBitmap(8, 8, 24);
  picture[0] = 'X';
  return picture;
}

TEST(ExitStatus, EveryWayARunEndsHasItsStatus) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* input;  // its file name; nullptr: none is made
    MakeInput make;
    bool fullDisk;      // files may grow to 4 KB only
    int status;
  } cases[] = {
      {"help screen", {"?"}, nullptr, {}, false, 0},
      {"codec list", {"?k"}, nullptr, {}, false, 0},
      {"usage box", {}, nullptr, {}, false, 0},
      {"missing input", eight(), "missing.bmp", {}, false, 2},
      {"unsupported kind", eight(), "x.gif", bytes({'G', 'I', 'F'}), false, 2},
      {"BMP converted", eight(), "in.bmp", bytes(makePatternBitmap(200, 100, 24)), false, 0},
      {"BMP refused", eight(), "in.bmp", bytes(notABmp()), false, 2},
      {"BMP not written", eight(), "in.bmp", bytes(makePatternBitmap(200, 100, 24)), true, 2},
      {"PNG converted", eight(), "in.png", bytes(encodePng(randomPicture(200, 100, 6, 8, false, 3))), false, 0},
      {"PNG not decoded", eight(), "in.png", bytes({'G', 'I', 'F', '8', '9', 'a', 0, 0}), false, 2},
      {"PNG too small", eight(), "in.png", bytes(encodePng(randomPicture(1, 9, 2, 8, false, 1))), false, 2},
      {"PNG not written", eight(), "in.png", bytes(encodePng(randomPicture(200, 100, 6, 8, false, 3))), true, 2},
      {"JPEG to JPEG", eight("1"), "in.jpg", jpeg({300, 200}), false, 0},
      {"JPEG to BMP", eight("0"), "in.jpg", jpeg({300, 200}), false, 0},
      {"JPEG not decoded", eight("1"), "in.jpg", jpeg({16, 16, JpegKind::kCmyk}), false, 2},
      {"JPEG library's fatal error", eight("1"), "in.jpg", bytes({'h', 'i'}), false, 1},
      {"JPEG not written", eight("1"), "in.jpg", jpeg({300, 200}), true, 2},
      {"JPEG's BMP not written", eight("0"), "in.jpg", jpeg({300, 200}), true, 2},
      {"TIFF converted", eight(), "in.tif", tiff(300, 200), false, 0},
      {"TIFF not opened", eight(), "in.tif", bytes({'M', 'M', 0, 42, 0, 0, 0, 0}), false, 2},
      {"TIFF too small", eight(), "in.tif", tiff(1, 9), false, 2},
      {"TIFF not written", eight(), "in.tif", tiff(300, 200), true, 2},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (c.make) c.make(dir.file(c.input));
    std::vector<std::string> args = c.args;
    for (std::string& a : args) {
      if (a == "@") a = dir.file(c.input);
    }
    ProgramRun run;
    run.args = args;
    if (c.fullDisk) {
      run.args = {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", quarnBinary()};
      run.args.insert(run.args.end(), args.begin(), args.end());
    }
    const ProgramResult r = c.fullDisk ? runProgram("/bin/sh", run) : runQuarn(run);
    EXPECT_EQ(c.status, r.exitCode) << c.what << "\n" << r.out;
    EXPECT_EQ(c.status == 0 && c.input != nullptr, !onlyOutput(dir).empty()) << c.what;
  }
}

TEST(ExitStatus, TenConversionsInOneSecondGiveTenResults) {
  TempDir dir;
  writeFile(dir.file("in.bmp"), makePatternBitmap(40, 20, 24));
  writeFile(dir.file("in.png"), encodePng(randomPicture(40, 20, 2, 8, false, 5)));
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) {
    const ProgramResult r = runQuarn({"4", "ne", "ne", "0", "0000", "0", "A", dir.file(i % 2 ? "in.png" : "in.bmp")});
    EXPECT_EQ(0, r.exitCode) << "run " << i << "\n" << r.out;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;

  // The names of one second are the plain one, then _2, _3, ... without gaps.
  // (<regex> is not used: g++ 12 warns falsely on it under the sanitizers.)
  const std::string prefix = "quarn_converted", extension = ".bmp";
  std::map<std::string, std::set<int>> numbersBySecond;
  int results = 0;
  for (const std::string& entry : dir.list()) {
    if (entry == "in.bmp" || entry == "in.png") continue;
    ASSERT_TRUE(entry.size() >= prefix.size() + 10 + extension.size() && entry.rfind(prefix, 0) == 0 &&
                entry.compare(entry.size() - extension.size(), extension.size(), extension) == 0)
        << entry;
    const std::string second = entry.substr(prefix.size(), 10);
    const std::string rest = entry.substr(prefix.size() + 10, entry.size() - prefix.size() - 10 - extension.size());
    ASSERT_EQ(std::string::npos, second.find_first_not_of("0123456789")) << entry;
    ASSERT_TRUE(rest.empty() || (rest.size() >= 2 && rest[0] == '_' &&
                                 rest.find_first_not_of("0123456789", 1) == std::string::npos))
        << entry;
    const int n = rest.empty() ? 1 : std::stoi(rest.substr(1));
    if (!rest.empty()) {
      EXPECT_LE(2, n) << entry;
    }
    numbersBySecond[second].insert(n);
    ++results;
  }
  EXPECT_EQ(10, results);
  for (const auto& [second, numbers] : numbersBySecond) {
    EXPECT_EQ(static_cast<int>(numbers.size()), *numbers.rbegin()) << second;
  }
  // Ten runs within eight seconds share at least one second.
  if (elapsed < std::chrono::seconds(8)) {
    EXPECT_LT(numbersBySecond.size(), 10u);
  }
}

}  // namespace
