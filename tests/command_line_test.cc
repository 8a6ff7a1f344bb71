#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace quarn::app;
using quarn::platform::BoxAnswer;
using quarn::platform::BoxStyle;
using quarn::platform::PriorityClass;
using quarn::testing::TempDir;
using quarn::testing::writeFile;

namespace {

struct Box {
  std::string caption, text;
  BoxStyle style;
};

class FakeBoxes : public quarn::platform::MessageBoxes {
 public:
  std::vector<BoxAnswer> answers;  // given in order; No once they run out
  std::vector<Box> shown;
  BoxAnswer show(std::string_view caption, std::string_view text, BoxStyle style) override {
    shown.push_back({std::string(caption), std::string(text), style});
    if (style != BoxStyle::kQuestionYesNo) return BoxAnswer::kOk;
    if (answers.empty()) return BoxAnswer::kNo;
    const BoxAnswer a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

class Parser : public ::testing::Test {
 protected:
  void SetUp() override {
    bmp = dir.file("photo.bmp");
    writeFile(bmp, {'B', 'M'});
  }

  ParseResult parse(std::vector<std::string> params) {
    std::vector<const char*> argv = {"quarn"};
    for (const std::string& p : params) argv.push_back(p.c_str());
    argv.push_back(nullptr);
    quarn::platform::RecordingConsole& out = console;
    ParserServices services{boxes, out, [this](PriorityClass p) { priority = p; }, [this] { return now; },
                            [](quarn::platform::Console& c) { c.write("<codecs>"); }};
    return parseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), options, services);
  }

  ParseResult parseEight(const std::string& depth, const std::string& plus, const std::string& colour,
                         const std::string& out, const std::string& codec, const std::string& quality,
                         const std::string& prio, const std::string& path) {
    return parse({depth, plus, colour, out, codec, quality, prio, path});
  }

  TempDir dir;
  std::string bmp;
  FakeBoxes boxes;
  quarn::platform::RecordingConsole console;
  RunOptions options;
  std::optional<PriorityClass> priority;
  int64_t now = 1700000000;
};

TEST_F(Parser, NoParameterShowsOnlyTheUsageBox) {
  EXPECT_EQ(ParseResult::kFinished, parse({}));
  ASSERT_EQ(1u, boxes.shown.size());
  EXPECT_EQ("Ostrel quarn ver.-1.15 - Помощ", boxes.shown[0].caption);
  EXPECT_EQ(BoxStyle::kWarningOk, boxes.shown[0].style);
  EXPECT_NE(std::string::npos, boxes.shown[0].text.find("Пример:  quarn.exe ?\n"));
  EXPECT_EQ("", console.text());
  EXPECT_FALSE(priority);
}

TEST_F(Parser, QuestionMarkPrintsHelpAndQuestionMarkKListsCodecs) {
  EXPECT_EQ(ParseResult::kFinished, parse({"?"}));
  EXPECT_EQ(0u, console.text().find(" quarn - Pomosht\n\n"));
  quarn::platform::RecordingConsole before = console;
  EXPECT_EQ(ParseResult::kFinished, parse({"?k"}));
  EXPECT_EQ(before.text() + "<codecs>", console.text());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Parser, OtherQuestionMarkWordsAreTakenAsPaths) {
  for (const char* word : {"?K", "??"}) {
    EXPECT_EQ(ParseResult::kCannotOpen, parse({word})) << word;
  }
  EXPECT_EQ("", console.text());
}

TEST_F(Parser, EightParametersWithNegativeDepth) {
  ASSERT_EQ(ParseResult::kGoOn, parseEight("-15", "da", "ne", "0", "0000", "0", "A", bmp));
  EXPECT_EQ(15, options.depth);
  EXPECT_TRUE(options.negativeDepth);
  EXPECT_FALSE(options.autoDepth);
  EXPECT_TRUE(options.plus3D);
  EXPECT_FALSE(options.colourOptimisation);
  EXPECT_FALSE(options.jpegOutput);
  EXPECT_EQ(0x20424944u, options.compressOptions.fccHandler);
  EXPECT_EQ(0u, options.compressOptions.dwQuality);
  EXPECT_EQ(PriorityClass::kNormal, priority);
  EXPECT_TRUE(options.fullCommandLine);
  EXPECT_EQ(InputKind::Bmp, options.inputKind);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Parser, TheHelpScreensVideoExample) {
  const std::string avi = dir.file("fail3.avi");
  writeFile(avi, {});
  ASSERT_EQ(ParseResult::kGoOn, parseEight("22", "da", "ne", "1", "iv32", "80", "C", avi));
  EXPECT_EQ(22, options.depth);
  EXPECT_TRUE(options.plus3D);
  EXPECT_FALSE(options.colourOptimisation);
  EXPECT_TRUE(options.jpegOutput);
  EXPECT_EQ(0x32337669u, options.compressOptions.fccHandler);
  EXPECT_EQ(80u, options.compressOptions.dwQuality);
  EXPECT_EQ(PriorityClass::kHigh, priority);
  EXPECT_EQ(InputKind::Avi, options.inputKind);
  EXPECT_EQ(dir.path() + "/quarn_converted1700000000.avi", options.outputPath);
}

TEST_F(Parser, DepthWithoutDigitsOrZeroIsAutomatic) {
  for (const char* depth : {"0", "abc", "", "  +0x"}) {
    options = RunOptions{};
    ASSERT_EQ(ParseResult::kGoOn, parseEight(depth, "ne", "ne", "0", "0000", "0", "A", bmp));
    EXPECT_TRUE(options.autoDepth) << depth;
    EXPECT_EQ(0, options.depth);
    EXPECT_FALSE(options.negativeDepth);
  }
}

TEST_F(Parser, DepthFollowsAtoi) {
  struct Case {
    const char* text;
    int32_t depth;
    bool negative;
  } cases[] = {{"  12abc", 12, false}, {"+7", 7, false}, {"-10", 10, true}, {"-2147483648", 2147483647, true}};
  for (const Case& c : cases) {
    options = RunOptions{};
    ASSERT_EQ(ParseResult::kGoOn, parseEight(c.text, "ne", "ne", "0", "0000", "0", "A", bmp));
    EXPECT_EQ(c.depth, options.depth) << c.text;
    EXPECT_EQ(c.negative, options.negativeDepth) << c.text;
  }
}

TEST_F(Parser, OnlyTheFirstLetterDSwitchesAnOptionOn) {
  for (const char* on : {"da", "Da", "d", "D", "dummy"}) {
    options = RunOptions{};
    ASSERT_EQ(ParseResult::kGoOn, parseEight("5", on, on, "0", "0000", "0", "A", bmp));
    EXPECT_TRUE(options.plus3D) << on;
    EXPECT_TRUE(options.colourOptimisation) << on;
  }
  for (const char* off : {"ne", "yes", "", " da"}) {
    options = RunOptions{};
    ASSERT_EQ(ParseResult::kGoOn, parseEight("5", off, off, "0", "0000", "0", "A", bmp));
    EXPECT_FALSE(options.plus3D) << off;
    EXPECT_FALSE(options.colourOptimisation) << off;
  }
}

TEST_F(Parser, OutputChoiceAndQualityLimits) {
  struct Case {
    const char* output;
    bool jpeg;
  } outputs[] = {{"1", true}, {"0", false}, {"2", false}, {"", false}, {"10", true}};
  for (const Case& c : outputs) {
    options = RunOptions{};
    ASSERT_EQ(ParseResult::kGoOn, parseEight("5", "ne", "ne", c.output, "0000", "0", "A", bmp));
    EXPECT_EQ(c.jpeg, options.jpegOutput) << c.output;
  }
  struct Quality {
    const char* text;
    uint32_t value;
  } qualities[] = {{"10000", 10000}, {"10001", 80}, {"-1", 80}, {"0", 0}, {"x", 0}, {"9999", 9999}};
  for (const Quality& q : qualities) {
    options = RunOptions{};
    ASSERT_EQ(ParseResult::kGoOn, parseEight("5", "ne", "ne", "0", "0000", q.text, "A", bmp));
    EXPECT_EQ(q.value, options.compressOptions.dwQuality) << q.text;
  }
}

TEST_F(Parser, CodecIdentifiers) {
  EXPECT_EQ(0x20424944u, fourCCFromKodekId("0000"));
  EXPECT_EQ(0x20424944u, fourCCFromKodekId("00000"));
  EXPECT_EQ(0x32337669u, fourCCFromKodekId("iv32"));
  EXPECT_EQ(0x32335649u, fourCCFromKodekId("IV32x"));
  EXPECT_EQ(uint32_t('x' | 'v' << 8 | ' ' << 16 | ' ' << 24), fourCCFromKodekId("xv"));
  EXPECT_EQ(0x20202020u, fourCCFromKodekId(""));
  EXPECT_EQ(uint32_t('0' | '0' << 8 | '0' << 16 | ' ' << 24), fourCCFromKodekId("000"));
}

TEST_F(Parser, PriorityLetters) {
  EXPECT_EQ(PriorityClass::kNormal, priorityFromLetter("A"));
  EXPECT_EQ(PriorityClass::kNormal, priorityFromLetter("a"));
  EXPECT_EQ(PriorityClass::kAboveNormal, priorityFromLetter("b"));
  EXPECT_EQ(PriorityClass::kHigh, priorityFromLetter("Cx"));
  EXPECT_EQ(PriorityClass::kRealtime, priorityFromLetter("d"));
  EXPECT_EQ(PriorityClass::kAboveNormal, priorityFromLetter("Z"));
  EXPECT_EQ(PriorityClass::kAboveNormal, priorityFromLetter(""));
}

TEST_F(Parser, KindsFromTheLastFourCharactersInAnyCase) {
  EXPECT_EQ(InputKind::Jpeg, inputKindOf("/a/BILD.JPG"));
  EXPECT_EQ(InputKind::Jpeg, inputKindOf("x.jpeg"));
  EXPECT_EQ(InputKind::Jpeg, inputKindOf("x.JPE"));
  EXPECT_EQ(InputKind::Tiff, inputKindOf("x.tiff"));
  EXPECT_EQ(InputKind::Tiff, inputKindOf("x.Tif"));
  EXPECT_EQ(InputKind::Png, inputKindOf("x.png"));
  EXPECT_EQ(InputKind::Avi, inputKindOf("x.AVI"));
  EXPECT_EQ(InputKind::Bmp, inputKindOf("x.bmp"));
  EXPECT_EQ(InputKind::Heic, inputKindOf("IMG_2231.HEIC"));
  EXPECT_EQ(InputKind::Heif, inputKindOf("x.heif"));
  EXPECT_EQ(InputKind::Avif, inputKindOf("x.AvIf"));
  EXPECT_EQ(InputKind::Webp, inputKindOf("x.webp"));
  EXPECT_EQ(InputKind::Webp, inputKindOf("x.WEBP"));
  EXPECT_EQ(InputKind::Unsupported, inputKindOf("x.hei"));
  EXPECT_EQ(InputKind::Jpeg, inputKindOf("nojpeg"));  // the last four letters decide
  EXPECT_EQ(InputKind::Unsupported, inputKindOf("x.gif"));
  EXPECT_EQ(InputKind::Unsupported, inputKindOf("bmp"));
  EXPECT_EQ(InputKind::Unsupported, inputKindOf(""));
}

TEST_F(Parser, AnUpperCaseNameIsOpenedUnderItsOwnName) {
  const std::string jpg = dir.file("BILD.JPG");
  writeFile(jpg, {});
  ASSERT_EQ(ParseResult::kGoOn, parseEight("5", "ne", "ne", "1", "0000", "0", "A", jpg));
  EXPECT_EQ(jpg, options.inputPath);
  EXPECT_EQ(InputKind::Jpeg, options.inputKind);
  EXPECT_EQ(dir.path() + "/quarn_converted1700000000.jpg", options.outputPath);
}

TEST_F(Parser, UnsupportedKindStillParses) {
  const std::string gif = dir.file("x.gif");
  writeFile(gif, {});
  ASSERT_EQ(ParseResult::kGoOn, parseEight("5", "ne", "ne", "0", "0000", "0", "A", gif));
  EXPECT_EQ(InputKind::Unsupported, options.inputKind);
  EXPECT_EQ(dir.path() + "/quarn_converted1700000000", options.outputPath);
}

TEST_F(Parser, DragAndDropAsksBothQuestionsFirstThenRaisesPriority) {
  boxes.answers = {BoxAnswer::kYes, BoxAnswer::kNo};
  ASSERT_EQ(ParseResult::kGoOn, parse({bmp}));
  ASSERT_EQ(2u, boxes.shown.size());
  EXPECT_EQ("Цветова оптимизация?", boxes.shown[0].caption);
  EXPECT_EQ(BoxStyle::kQuestionYesNo, boxes.shown[0].style);
  EXPECT_EQ("3D+", boxes.shown[1].caption);
  EXPECT_TRUE(options.colourOptimisation);
  EXPECT_FALSE(options.plus3D);
  EXPECT_TRUE(options.autoDepth);
  EXPECT_FALSE(options.fullCommandLine);
  EXPECT_EQ(PriorityClass::kAboveNormal, priority);
}

TEST_F(Parser, DragAndDropAsksEvenForAMissingFile) {
  EXPECT_EQ(ParseResult::kCannotOpen, parse({dir.file("missing.bmp")}));
  EXPECT_EQ(2u, boxes.shown.size());
}

TEST_F(Parser, JpegOutputQuestionComesOnlyAfterTheFileOpened) {
  const std::string jpg = dir.file("a.jpg");
  writeFile(jpg, {});
  boxes.answers = {BoxAnswer::kNo, BoxAnswer::kNo, BoxAnswer::kYes};
  ASSERT_EQ(ParseResult::kGoOn, parse({jpg}));
  ASSERT_EQ(3u, boxes.shown.size());
  EXPECT_EQ("Какъв да е изходящият формат?", boxes.shown[2].caption);
  EXPECT_TRUE(options.jpegOutput);
  EXPECT_EQ(dir.path() + "/quarn_converted1700000000.jpg", options.outputPath);

  boxes.shown.clear();
  EXPECT_EQ(ParseResult::kCannotOpen, parse({dir.file("gone.jpg")}));
  EXPECT_EQ(2u, boxes.shown.size());
}

// Photos of phones and the web give a JPEG or a BMP file as a JPEG does:
// dropped on the program, they are asked the same question.
TEST_F(Parser, PhotoKindsAskForTheOutputFormatAndGetItsExtension) {
  const struct {
    const char* name;
    InputKind kind;
  } photos[] = {{"IMG_2231.HEIC", InputKind::Heic}, {"a.heif", InputKind::Heif},
                {"b.avif", InputKind::Avif},        {"c.webp", InputKind::Webp}};
  for (const auto& photo : photos) {
    for (const bool jpeg : {true, false}) {
      const std::string path = dir.file(photo.name);
      writeFile(path, {});
      options = RunOptions{};
      boxes.shown.clear();
      boxes.answers = {BoxAnswer::kNo, BoxAnswer::kNo, jpeg ? BoxAnswer::kYes : BoxAnswer::kNo};
      ASSERT_EQ(ParseResult::kGoOn, parse({path})) << photo.name;
      EXPECT_EQ(photo.kind, options.inputKind) << photo.name;
      ASSERT_EQ(3u, boxes.shown.size()) << photo.name;
      EXPECT_EQ("Какъв да е изходящият формат?", boxes.shown[2].caption);
      EXPECT_EQ(jpeg, options.jpegOutput) << photo.name;
      EXPECT_EQ(dir.path() + "/quarn_converted1700000000" + (jpeg ? ".jpg" : ".bmp"), options.outputPath)
          << photo.name;
    }
    ASSERT_EQ(ParseResult::kGoOn, parseEight("0", "da", "da", "1", "0000", "0", "A", dir.file(photo.name)));
    EXPECT_TRUE(options.jpegOutput) << photo.name;
  }
}

TEST_F(Parser, ThreeParametersTakeTheFirstAsPathAndAskOnlyForJpeg) {
  ASSERT_EQ(ParseResult::kGoOn, parse({bmp, "x", "y"}));
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(options.autoDepth);
  EXPECT_EQ(0, options.depth);
  EXPECT_FALSE(priority);
  const std::string jpg = dir.file("b.jpeg");
  writeFile(jpg, {});
  ASSERT_EQ(ParseResult::kGoOn, parse({jpg, "x", "y"}));
  ASSERT_EQ(1u, boxes.shown.size());
  EXPECT_FALSE(options.jpegOutput);
  EXPECT_EQ(dir.path() + "/quarn_converted1700000000.bmp", options.outputPath);
}

TEST_F(Parser, BareNameGivesEmptyDirectory) {
  ::testing::internal::FilePath here = ::testing::internal::FilePath::GetCurrentDir();
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  const ParseResult r = parseEight("5", "ne", "ne", "0", "0000", "0", "A", "photo.bmp");
  ASSERT_EQ(0, chdir(here.c_str()));
  ASSERT_EQ(ParseResult::kGoOn, r);
  EXPECT_EQ("", options.inputDirectory);
  EXPECT_EQ("quarn_converted1700000000.bmp", options.outputPath);
}

TEST_F(Parser, DirectoryIsUpToTheLastSlashAndBackslashIsAnOrdinaryCharacter) {
  const std::string odd = dir.file("a\\b.bmp");
  writeFile(odd, {});
  ASSERT_EQ(ParseResult::kGoOn, parseEight("5", "ne", "ne", "0", "0000", "0", "A", odd));
  EXPECT_EQ(dir.path() + "/", options.inputDirectory);
  EXPECT_EQ(dir.path() + "/quarn_converted1700000000.bmp", options.outputPath);
}

TEST_F(Parser, TimeIsTheLowThirtyTwoBitsAsSigned) {
  now = 0x1'8000'0001LL;
  ASSERT_EQ(ParseResult::kGoOn, parseEight("5", "ne", "ne", "0", "0000", "0", "A", bmp));
  EXPECT_EQ(dir.path() + "/quarn_converted-2147483647.bmp", options.outputPath);
}

TEST_F(Parser, TheFirstNameNothingIsAtIsChosen) {
  const std::string stem = dir.path() + "/quarn_converted1700000000";
  ASSERT_EQ(0, mkdir((stem + ".bmp").c_str(), 0700));
  ASSERT_EQ(0, symlink("nowhere", (stem + "_2.bmp").c_str()));
  writeFile(stem + "_3.jpg", {});  // another extension does not count
  writeFile(stem + "_4.bmp", {});
  ASSERT_EQ(ParseResult::kGoOn, parseEight("5", "ne", "ne", "0", "0000", "0", "A", bmp));
  EXPECT_EQ(stem + "_3.bmp", options.outputPath);
}

TEST_F(Parser, OverlongPathsAreRefusedLikeMissingFiles) {
  std::string longPath = dir.path();
  longPath.append("/").append(5000, 'a').append(".bmp");
  EXPECT_EQ(ParseResult::kCannotOpen, parseEight("5", "ne", "ne", "0", "0000", "0", "A", longPath));
  // An input that fits, in a directory so deep that the output name would not.
  std::string deep = dir.path();
  while (deep.size() < 4070) {
    deep.append("/").append(std::min<size_t>(200, 4070 - deep.size()), 'd');
    ASSERT_EQ(0, mkdir(deep.c_str(), 0700)) << deep.size();
  }
  const std::string input = deep + "/a.bmp";
  ASSERT_LT(input.size(), 4095u);
  writeFile(input, {});
  EXPECT_EQ(ParseResult::kCannotOpen, parseEight("5", "ne", "ne", "0", "0000", "0", "A", input));
}

TEST_F(Parser, ADirectoryIsNotAnInput) {
  const std::string sub = dir.file("pics.bmp");
  ASSERT_EQ(0, mkdir(sub.c_str(), 0700));
  EXPECT_EQ(ParseResult::kCannotOpen, parseEight("5", "ne", "ne", "0", "0000", "0", "A", sub));
}

}  // namespace
