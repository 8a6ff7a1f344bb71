// Whole runs of the built program on PNG pictures: console text and the
// BMP file it leaves.
#include <gtest/gtest.h>

#include <ctime>

#include "codecs/png_branch.h"
#include "engine/bitmap_buffer.h"
#include "engine/memory_conversion.h"
#include "support/png_fixture.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn::testing;
namespace engine = quarn::engine;

namespace {

const char* const kDecoded = " Konvertirane na png v bmp... gotovo!\n";
const char* const kSettingsTen =
    " Izpolzvana dulbochina: 10\n Izpolzvane na cvetova optimizaciq: ne\n Izpolzvane na 3D+: ne\n"
    " Zarejdane & konvertirane .........";

std::vector<std::string> eight(const std::string& depth, const std::string& path) {
  return {depth, "ne", "ne", "0", "0000", "0", "A", path};
}

class PngRun : public ::testing::Test {
 protected:
  std::string input(const std::vector<uint8_t>& bytes) {
    writeFile(dir.file("in.png"), bytes);
    return dir.file("in.png");
  }
  std::vector<std::string> outputs() const {
    std::vector<std::string> found;
    for (const std::string& name : dir.list())
      if (name.rfind("quarn_converted", 0) == 0) found.push_back(name);
    return found;
  }
  TempDir dir;
};

// The anaglyph BMP of a picture, from libpng's pixels: rows bottom-up,
// blue-green-red-alpha, alpha as libpng gives it for RGBA pictures.
std::vector<uint8_t> expectedBmp(const std::vector<uint8_t>& png, int32_t depth) {
  const LibpngImage lib = decodeWithLibpng(png);
  const uint32_t w = lib.width, h = lib.height;
  engine::BitmapBuffer source(engine::kHeaderSize + size_t{w} * h * 4 + 1);
  engine::writeBitmapHeader(source.data(), w, h, 32);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* from = lib.rgba.data() + (size_t{h - 1 - y} * w + x) * 4;
      uint8_t* to = source.data() + engine::kHeaderSize + (size_t{y} * w + x) * 4;
      to[0] = from[2], to[1] = from[1], to[2] = from[0], to[3] = from[3];
    }
  }
  std::vector<uint8_t> destination(source.size());
  engine::ConversionSettings settings;
  settings.depth = depth;
  EXPECT_EQ(engine::kConverted, engine::convertBitmapBuffer(source, destination.data(), destination.size(), settings));
  destination.resize(engine::loadLe32(destination.data() + engine::field::kFileSize));
  return destination;
}

}  // namespace

TEST_F(PngRun, ConvertsAPngIntoAnAnaglyphBmpBesideIt) {
  for (bool adam7 : {false, true}) {
    TempDir here;
    const std::vector<uint8_t> png = encodePng(randomPicture(41, 23, 6, 8, adam7, 4));
    writeFile(here.file("in.png"), png);
    const ProgramResult r = runQuarn(eight("10", here.file("in.png")));
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(expectedPreamble() + kDecoded + kSettingsTen + " gotovo!", r.out);
    EXPECT_EQ("", r.err);
    const std::vector<std::string> names = here.list();
    ASSERT_EQ(2u, names.size());
    EXPECT_TRUE(isOutputName(names[1], ".bmp")) << names[1];
    EXPECT_EQ(expectedBmp(png, 10), readFile(here.file(names[1])));
    EXPECT_EQ(png, readFile(here.file("in.png")));
  }
}

TEST_F(PngRun, AFileThatIsNotAPngStopsAfterTheDecodeStep) {
  const ProgramResult r = runQuarn(eight("10", input({'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0})));
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(expectedPreamble() + " Konvertirane na png v bmp... greshka!\n Png faila ne ne moje da se dekodira!\n", r.out);
  EXPECT_TRUE(outputs().empty());
}

TEST_F(PngRun, TooNarrowAndUnsupportedPicturesWriteNothing) {
  const char* const tooSmall = " greshka! Failut e prekaleno maluk za da bude kachestveno konvertiran!";
  const ProgramResult narrow = runQuarn(eight("10", input(encodePng(randomPicture(1, 9, 2, 8, false, 1)))));
  EXPECT_EQ(expectedPreamble() + kDecoded + kSettingsTen + tooSmall, narrow.out);
  // 16-bit RGBA decodes to an empty picture.
  const ProgramResult wide = runQuarn(eight("10", input(encodePng(randomPicture(4, 4, 6, 16, false, 1)))));
  EXPECT_EQ(expectedPreamble() + kDecoded + kSettingsTen + tooSmall, wide.out);
  EXPECT_TRUE(outputs().empty());
}

// A name taken after the run chose it: kept, and named in the message.
TEST_F(PngRun, AnExistingOutputIsKeptAndNamed) {
  const std::string path = input(encodePng(randomPicture(30, 12, 2, 8, false, 2)));
  const std::string taken = dir.file("quarn_converted1700000000.bmp");
  writeFile(taken, kOldOutput);
  engine::ConversionSettings settings;
  settings.depth = 10;
  quarn::platform::RecordingConsole console;
  EXPECT_EQ(engine::RunOutcome::kOutputFailed, quarn::codecs::runPngBranch(path, taken, settings, console));
  std::string before, shown;
  ASSERT_TRUE(splitExistingOutputMessage(console.text(), before, shown)) << console.text();
  EXPECT_EQ(std::string(kDecoded) + kSettingsTen + " gotovo!", before);
  EXPECT_EQ(taken, shown);
  EXPECT_EQ(kOldOutput, readFile(taken));
}

TEST_F(PngRun, AFullDiskLeavesNoPartialOutput) {
  const std::string path = input(encodePng(randomPicture(200, 100, 6, 8, false, 3)));
  ProgramRun run;
  run.args = {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", quarnBinary()};
  for (const std::string& a : eight("10", path)) run.args.push_back(a);
  const ProgramResult r = runProgram("/bin/sh", run);
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(expectedPreamble() + kDecoded + kSettingsTen + " gotovo! greshka! Nqma dostatachno svobodno diskovo prostranstvo!",
            r.out);
  EXPECT_EQ((std::vector<std::string>{"in.png"}), dir.list());
}

// The branch itself, in process: the texts of the cases a whole run cannot
// reach easily.
TEST(PngBranch, AnOutputThatCannotBeCreatedAndAnUnknownCompressionMethod) {
  TempDir dir;
  const std::vector<uint8_t> good = encodePng(randomPicture(12, 8, 2, 8, false, 9));
  writeFile(dir.file("in.png"), good);
  engine::ConversionSettings settings;
  settings.depth = 4;
  const std::string settingsFour =
      " Izpolzvana dulbochina: 4\n Izpolzvane na cvetova optimizaciq: ne\n Izpolzvane na 3D+: ne\n"
      " Zarejdane & konvertirane .........";
  quarn::platform::RecordingConsole console;
  EXPECT_EQ(engine::RunOutcome::kOutputFailed,
            quarn::codecs::runPngBranch(dir.file("in.png"), dir.file("no/such/dir/out.bmp"), settings, console));
  EXPECT_EQ(std::string(kDecoded) + settingsFour + " gotovo! greshka! Ne moje da se suzdade izhoden fail!",
            console.text());

  // Method 15 in the zlib header: the inflater's message inside the decode
  // step, then a picture of cleared pixels.
  std::vector<uint8_t> file = pngSignature();
  for (const auto& c : {pngChunk("IHDR", ihdrData(12, 8, 8, 2)), pngChunk("IDAT", {0x7F, 0x9C, 1, 2, 3}),
                        pngChunk("IEND", {})}) {
    file.insert(file.end(), c.begin(), c.end());
  }
  writeFile(dir.file("m15.png"), file);
  quarn::platform::RecordingConsole other;
  EXPECT_EQ(engine::RunOutcome::kDone,
            quarn::codecs::runPngBranch(dir.file("m15.png"), dir.file("m15.bmp"), settings, other));
  EXPECT_EQ(" Konvertirane na png v bmp...\nNepoznat metod za kompresiq! (15)\n gotovo!\n" + settingsFour + " gotovo!",
            other.text());
  const std::vector<uint8_t> out = readFile(dir.file("m15.bmp"));
  ASSERT_EQ(54u + 8 * 8 * 4, out.size());
  EXPECT_EQ(std::vector<uint8_t>(8 * 8 * 4, 0), std::vector<uint8_t>(out.begin() + 54, out.end()));
}
