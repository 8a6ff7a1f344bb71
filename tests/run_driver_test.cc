// End-to-end runs of the built program: what a user sees on the console and
// finds on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "app/run_driver.h"
#include "engine/bitmap_buffer.h"
#include "engine/bmp_file.h"
#include "engine/conversion_settings.h"
#include "support/bmp_fixture.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn::testing;

namespace {

const char* const kSettingsTen =
    " Izpolzvana dulbochina: 10\n Izpolzvane na cvetova optimizaciq: ne\n Izpolzvane na 3D+: ne\n"
    " Zarejdane & konvertirane .........";

std::vector<std::string> eight(const std::string& depth, const std::string& path, const std::string& plus = "ne",
                               const std::string& colour = "ne") {
  return {depth, plus, colour, "0", "0000", "0", "A", path};
}

class Run : public ::testing::Test {
 protected:
  std::string input(const std::vector<uint8_t>& bytes, const std::string& name = "in.bmp") {
    writeFile(dir.file(name), bytes);
    return dir.file(name);
  }
  TempDir dir;
};

TEST_F(Run, ConvertsABmpBesideItAndLeavesTheInputAlone) {
  const std::vector<uint8_t> picture = makePatternBitmap(100, 50, 24);
  const ProgramResult r = runQuarn(eight("10", input(picture)));
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(expectedPreamble() + kSettingsTen + " gotovo!", r.out);
  EXPECT_EQ("", r.err);
  const std::string out = onlyOutput(dir);
  EXPECT_TRUE(isOutputName(out, ".bmp")) << out;
  EXPECT_EQ(picture, readFile(dir.file("in.bmp")));

  // The same bytes as the conversion itself gives.
  TempDir other;
  writeFile(other.file("in.bmp"), picture);
  quarn::platform::RecordingConsole console;
  quarn::engine::ConversionSettings settings;
  settings.depth = 10;
  ASSERT_EQ(0, quarn::engine::convertBmpFile(other.file("in.bmp"), other.file("o.bmp"), settings, console));
  EXPECT_EQ(readFile(other.file("o.bmp")), readFile(dir.file(out)));
}

TEST_F(Run, EveryOptionTogether) {
  const std::string path = input(makePatternBitmap(640, 20, 32));
  const ProgramResult r = runQuarn(eight("0", path, "da", "da"));
  EXPECT_EQ(expectedPreamble() +
                " Izpolzvana dulbochina: 12\n Izpolzvane na cvetova optimizaciq: da\n Izpolzvane na 3D+: da\n"
                " Zarejdane & konvertirane ......... gotovo!",
            r.out);
  const std::vector<uint8_t> out = readFile(dir.file(onlyOutput(dir)));
  EXPECT_EQ(628u, quarn::engine::loadLe32(out.data() + 18));
  EXPECT_EQ(17u, quarn::engine::loadLe32(out.data() + 22));
}

TEST_F(Run, NegativeDepthIsShownWithItsSign) {
  const ProgramResult r = runQuarn(eight("-10", input(makePatternBitmap(100, 50, 24))));
  EXPECT_NE(std::string::npos, r.out.find(" Izpolzvana dulbochina: -10\n"));
  EXPECT_NE(std::string::npos, r.out.find(" gotovo!"));
}

TEST_F(Run, EachRefusalPrintsItsMessage) {
  struct Case {
    const char* what;
    size_t offset;
    uint8_t value;
    const char* message;
  } cases[] = {
      {"signature", 0, 'X', " greshka! Tova ne e bmp/avi fail!"},
      {"pixel offset", 10, 122, " greshka! Faila e s DIB header razli4en ot Windows V3!"},
      {"8 bits", 28, 8, " greshka! Cvetovata dulbochina trqbva da e 16,24 ili 32 bit!"},
      {"RLE", 30, 1, " greshka! Ne se poddurjat kompresirani failove!"},
      {"width 1", 18, 1, " greshka! Failut e prekaleno maluk za da bude kachestveno konvertiran!"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> picture = makePatternBitmap(8, 8, 24);
    picture[c.offset] = c.value;
    const std::string path = input(picture);
    const ProgramResult r = runQuarn(eight("4", path));
    EXPECT_EQ(expectedPreamble() + c.message, r.out) << c.what;
    EXPECT_EQ(picture, readFile(path));
    EXPECT_EQ("", onlyOutput(dir)) << c.what;
  }
  std::vector<uint8_t> truncated = makePatternBitmap(8, 8, 24);
  truncated.resize(100);
  const ProgramResult r = runQuarn(eight("4", input(truncated)));
  EXPECT_EQ(expectedPreamble() + " greshka! Tova ne e bmp/avi fail!", r.out);
}

TEST_F(Run, TakenNamesAreLeftAloneAndTheNextFreeOneIsUsed) {
  const std::string path = input(makePatternBitmap(100, 50, 24));
  occupyOutputNames(dir, ".bmp", {"", "_2"});
  const std::vector<std::string> before = dir.list();
  const ProgramResult r = runQuarn(eight("10", path));
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(expectedPreamble() + kSettingsTen + " gotovo!", r.out);
  std::vector<std::string> added;
  for (const std::string& name : dir.list()) {
    if (std::find(before.begin(), before.end(), name) == before.end()) added.push_back(name);
  }
  ASSERT_EQ(1u, added.size());
  EXPECT_TRUE(isOutputName(added[0], ".bmp", "_3")) << added[0];
  for (const std::string& name : before) {
    if (name != "in.bmp") {
      EXPECT_EQ(kOldOutput, readFile(dir.file(name))) << name;
    }
  }
}

// A name taken after the run chose it (another run racing for it): kept,
// and named in the message.
TEST_F(Run, AnExistingOutputIsKeptAndNamed) {
  quarn::app::RunOptions options;
  options.inputPath = input(makePatternBitmap(100, 50, 24));
  options.outputPath = dir.file("quarn_converted1700000000.bmp");
  options.inputKind = quarn::app::InputKind::Bmp;
  options.depth = 10;
  writeFile(options.outputPath, kOldOutput);
  quarn::platform::RecordingConsole console;
  EXPECT_EQ(quarn::engine::RunOutcome::kOutputFailed, quarn::app::runBranch(options, console));
  std::string before, shown;
  ASSERT_TRUE(splitExistingOutputMessage(console.text(), before, shown)) << console.text();
  EXPECT_EQ(kSettingsTen, before);
  EXPECT_EQ(options.outputPath, shown);
  EXPECT_EQ(kOldOutput, readFile(shown));
}

TEST_F(Run, AFullDiskLeavesNoPartialOutput) {
  const std::string path = input(makePatternBitmap(200, 100, 24));
  // Files may grow to 4 KB; the write then fails instead of the signal.
  ProgramRun run;
  run.args = {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", quarnBinary()};
  for (const std::string& a : eight("10", path)) run.args.push_back(a);
  const ProgramResult r = runProgram("/bin/sh", run);
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(expectedPreamble() + " Izpolzvana dulbochina: 10\n Izpolzvane na cvetova optimizaciq: ne\n"
                                 " Izpolzvane na 3D+: ne\n Zarejdane & konvertirane ........."
                                 " greshka! Nqma dostatachno svobodno diskovo prostranstvo!",
            r.out);
  EXPECT_EQ((std::vector<std::string>{"in.bmp"}), dir.list());
}

TEST_F(Run, AMissingInputPrintsOnlyTheParseError) {
  const ProgramResult r = runQuarn(eight("10", dir.file("missing.bmp")));
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(" greshka pri analizirane na argumentite!", r.out);
}

// A FIFO would make the JPEG and TIFF readers wait for a writer for ever;
// no branch reads anything but a regular file.
TEST_F(Run, AnInputThatIsNoRegularFileIsRefusedLikeAMissingOne) {
  std::vector<std::string> inputs;
  for (const char* name : {"x.jpg", "x.tif", "x.bmp", "x.png", "x.avi"}) {
    ASSERT_EQ(0, mkfifo(dir.file(name).c_str(), 0600));
    inputs.push_back(dir.file(name));
  }
  ASSERT_EQ(0, symlink("/dev/zero", dir.file("zero.bmp").c_str()));
  ASSERT_EQ(0, mkdir(dir.file("folder.png").c_str(), 0700));
  inputs.push_back(dir.file("zero.bmp"));
  inputs.push_back(dir.file("folder.png"));
  for (const std::string& path : inputs) {
    ProgramRun run;
    run.args = eight("10", path);
    run.timeoutSeconds = 20;
    const ProgramResult r = runQuarn(run);
    EXPECT_FALSE(r.timedOut) << path;
    EXPECT_EQ(" greshka pri analizirane na argumentite!", r.out) << path;
  }
}

TEST_F(Run, AnUnsupportedKindEndsAfterTheProcessorLines) {
  const ProgramResult r = runQuarn(eight("10", input({'G', 'I', 'F'}, "x.gif")));
  EXPECT_EQ(2, r.exitCode);
  EXPECT_EQ(expectedPreamble(), r.out);
  EXPECT_EQ((std::vector<std::string>{"x.gif"}), dir.list());
}

TEST_F(Run, HelpScreen) {
  const ProgramResult r = runQuarn({"?"});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(0u, r.out.find(" quarn - Pomosht\n\n quarn.exe dulbochina 3D+ cv_opt eventualen_izhod kodek-id\n"));
  const std::string tail =
      " Primeri: \n\n quarn.exe ?\n quarn.exe ?k\n quarn.exe 15 da da 0 0000 0 B c:\\fail.bmp\n"
      " quarn.exe 0 ne da 1 0000 0 A c:\\fail2.jpg\n quarn.exe 0 da da 1 0000 0 A c:\\IMG_2231.HEIC\n"
      " quarn.exe 22 da ne 1 iv32 80 C c:\\fail3.avi\n\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(tail, r.out.substr(r.out.size() - tail.size()));
  EXPECT_EQ(std::string::npos, r.out.find("Ostrel"));  // no banner
  EXPECT_NE(std::string::npos,
            r.out.find(" <put_kum_fail> - faila za konvertirane (BMP, PNG, JPEG, TIFF, HEIC, HEIF, AVIF,\n WebP ili AVI)"));
}

TEST_F(Run, CodecListFrameIsAlwaysPrinted) {
  const ProgramResult r = runQuarn({"?k"});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(0u, r.out.find("\n Nalichni sa slednite video kodeci:\n"));
  // The AVI list closes with its uncompressed entry; the lists of today's
  // containers follow it.
  const std::string last = "\nBez Kompresirane - kod: 0000\n\n";
  const size_t closing = r.out.find(last);
  ASSERT_NE(std::string::npos, closing) << r.out;
  EXPECT_EQ(0u, r.out.compare(closing + last.size(), 19, " Za rezultati .mp4 ")) << r.out;
  const std::string end = " Kodekat na vhoda - kodove: 0000\n\n";
  EXPECT_EQ(end, r.out.substr(r.out.size() - end.size()));
}

TEST_F(Run, NoParameterShowsTheUsageBoxOnlyWhereItCanBeSeen) {
  const ProgramResult r = runQuarn(std::vector<std::string>{});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ("", r.out);
  EXPECT_NE(std::string::npos, r.err.find("Ostrel quarn ver.-1.15 - Помощ"));
  EXPECT_NE(std::string::npos, r.err.find("Пример:  quarn.exe ?"));
}

TEST_F(Run, DragAndDropWithoutAnyoneToAskAnswersNo) {
  const std::string path = input(makePatternBitmap(640, 8, 24));
  const ProgramResult r = runQuarn({path});
  EXPECT_EQ(expectedPreamble() +
                " Izpolzvana dulbochina: 12\n Izpolzvane na cvetova optimizaciq: ne\n Izpolzvane na 3D+: ne\n"
                " Zarejdane & konvertirane ......... gotovo!",
            r.out);
  EXPECT_NE(std::string::npos, r.err.find("Цветова оптимизация?"));
  EXPECT_NE(std::string::npos, r.err.find("Активиране на опция 3D+?"));
}

TEST_F(Run, DragAndDropAsksThroughZenityOnADisplay) {
  // A stand-in zenity: answers Yes to the colour question, No to the rest,
  // and notes every call.
  TempDir bin;
  const std::string log = bin.file("calls.log");
  {
    std::ofstream script(bin.file("zenity"));
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" << log << "'; done\n"
           << "echo --- >> '" << log << "'\n"
           << "case \"$*\" in *Цветова*) exit 0;; *) exit 1;; esac\n";
  }
  ASSERT_EQ(0, chmod(bin.file("zenity").c_str(), 0755));
  const std::string path = input(makePatternBitmap(640, 8, 24));
  ProgramRun run;
  run.args = {path};
  run.env = {{"DISPLAY", ":99"}, {"PATH", bin.path() + ":/usr/bin:/bin"}};
  const ProgramResult r = runQuarn(run);
  EXPECT_NE(std::string::npos, r.out.find(" Izpolzvane na cvetova optimizaciq: da\n Izpolzvane na 3D+: ne\n"));
  const std::vector<uint8_t> calls = readFile(log);
  const std::string text(calls.begin(), calls.end());
  EXPECT_EQ(0u, text.find("--question\n--ok-label=Да\n--cancel-label=Не\n--title=Цветова оптимизация?\n"));
  EXPECT_NE(std::string::npos, text.find("--title=3D+\n"));
  EXPECT_NE(std::string::npos, text.find("--no-markup\n"));
  EXPECT_EQ("", r.err);
}

}  // namespace

namespace {

TEST_F(Run, DragAndDropFromATerminalAsksThere) {
  const std::string path = input(makePatternBitmap(640, 8, 24));
  ProgramRun run;
  run.args = {path};
  run.terminalInput = true;
  run.input = "ne\nДа\n";
  const ProgramResult r = runQuarn(run);
  const std::string colour =
      "\n [Цветова оптимизация?]\nЦветовата оптимизация ще намали напрежението в очите\n";
  EXPECT_EQ(0u, r.out.find(colour)) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("\n [3D+]\nОпция 3D+ може да подобри 3D качеството.\n"));
  EXPECT_NE(std::string::npos, r.out.find("Активиране на опция 3D+?\n [Да/Не]: "));
  const std::string end =
      " Izpolzvana dulbochina: 12\n Izpolzvane na cvetova optimizaciq: ne\n Izpolzvane na 3D+: da\n"
      " Zarejdane & konvertirane ......... gotovo!";
  ASSERT_GE(r.out.size(), end.size());
  EXPECT_EQ(end, r.out.substr(r.out.size() - end.size()));
  EXPECT_EQ("", r.err);
}

}  // namespace
