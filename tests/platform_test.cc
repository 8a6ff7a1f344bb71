// The platform layer: dialogs' rules, result files, the processor lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/cpu_features.h"
#include "app/help.h"
#include "engine/conversion_settings.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/output_file.h"
#include "platform/process.h"
#include "support/temp_dir.h"

using namespace quarn;
using quarn::testing::readFile;
using quarn::testing::TempDir;
using quarn::testing::writeFile;

TEST(Dialogs, YesAnswers) {
  for (const char* yes : {"da", "DA", "Da", "d", "D", "y", "Y", "yes", "YES", " da\n", "Да", "да", "ДА", "дА"}) {
    EXPECT_TRUE(platform::isYesAnswer(yes)) << yes;
  }
  for (const char* no : {"", "ne", "n", "no", "dab", "yess", "Не", "Д", "d a", "ja"}) {
    EXPECT_FALSE(platform::isYesAnswer(no)) << no;
  }
}

TEST(Dialogs, BackendFollowsWhatTheProcessHas) {
  using platform::BoxBackend;
  EXPECT_EQ(BoxBackend::kTerminal, platform::chooseBoxBackend(true, true, true));
  EXPECT_EQ(BoxBackend::kTerminal, platform::chooseBoxBackend(true, false, false));
  EXPECT_EQ(BoxBackend::kZenity, platform::chooseBoxBackend(false, true, true));
  EXPECT_EQ(BoxBackend::kStandardError, platform::chooseBoxBackend(false, true, false));
  EXPECT_EQ(BoxBackend::kStandardError, platform::chooseBoxBackend(false, false, true));
}

TEST(Process, PriorityClassesAsNiceValues) {
  EXPECT_EQ(0, platform::niceValueFor(platform::PriorityClass::kNormal));
  EXPECT_EQ(-5, platform::niceValueFor(platform::PriorityClass::kAboveNormal));
  EXPECT_EQ(-10, platform::niceValueFor(platform::PriorityClass::kHigh));
  EXPECT_EQ(-15, platform::niceValueFor(platform::PriorityClass::kRealtime));
  ASSERT_TRUE(platform::programPath().has_value());
  EXPECT_NE(std::string::npos, platform::programPath()->find("quarn_tests"));
}

TEST(OutputFile, CommitsOrLeavesNothing) {
  TempDir dir;
  {
    platform::OutputFile f;
    ASSERT_EQ(platform::CreateStatus::kCreated, f.create(dir.file("a")));
    EXPECT_TRUE(f.write("abc", 3));
    EXPECT_TRUE(f.commit());
  }
  EXPECT_EQ((std::vector<uint8_t>{'a', 'b', 'c'}), readFile(dir.file("a")));
  {
    platform::OutputFile f;
    ASSERT_EQ(platform::CreateStatus::kCreated, f.create(dir.file("b")));
    f.write("x", 1);
  }  // abandoned
  {
    platform::OutputFile f;
    ASSERT_EQ(platform::CreateStatus::kCreated, f.create(dir.file("c")));
    f.discard();
  }
  EXPECT_EQ((std::vector<std::string>{"a"}), dir.list());
}

TEST(OutputFile, NeverOpensWhatIsAlreadyThere) {
  TempDir dir;
  writeFile(dir.file("a"), {'1'});
  ASSERT_EQ(0, symlink(dir.file("target").c_str(), dir.file("link").c_str()));
  platform::OutputFile f;
  EXPECT_EQ(platform::CreateStatus::kExists, f.create(dir.file("a")));
  EXPECT_EQ(platform::CreateStatus::kExists, f.create(dir.file("link")));
  EXPECT_EQ(platform::CreateStatus::kFailed, f.create(dir.file("none/x")));
  EXPECT_EQ(platform::CreateStatus::kFailed, f.create(dir.path() + "/" + std::string(4096, 'l')));
  EXPECT_EQ((std::vector<uint8_t>{'1'}), readFile(dir.file("a")));
  EXPECT_EQ((std::vector<std::string>{"a", "link"}), dir.list());
  EXPECT_FALSE(platform::pathExists(dir.file("target")));
}

TEST(OutputFile, AnEarlyExitRemovesTheHalfWrittenFile) {
  TempDir dir;
  const std::string path = dir.file("partial");
  EXPECT_EXIT(
      {
        auto* f = new platform::OutputFile;  // never destroyed: the process ends first
        f->create(path);
        f->write("half", 4);
        std::exit(1);
      },
      ::testing::ExitedWithCode(1), "");
  EXPECT_FALSE(platform::pathExists(path));
}

TEST(Files, ReadingRefusesWhatIsNotARegularFile) {
  TempDir dir;
  std::vector<uint8_t> bytes = {1};
  EXPECT_EQ(platform::ReadStatus::kCannotOpen, platform::readWholeFile(dir.path(), bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(platform::ReadStatus::kCannotOpen, platform::readWholeFile("/dev/zero", bytes));
  ASSERT_EQ(0, mkfifo(dir.file("fifo").c_str(), 0600));
  EXPECT_FALSE(platform::isReadableRegularFile(dir.file("fifo")));
  EXPECT_FALSE(platform::isReadableRegularFile("/dev/zero"));
  EXPECT_EQ(platform::ReadStatus::kCannotOpen, platform::readWholeFile(dir.file("fifo"), bytes));
  EXPECT_FALSE(platform::isReadableRegularFile(dir.path()));
  writeFile(dir.file("f"), {1, 2, 3});
  EXPECT_TRUE(platform::isReadableRegularFile(dir.file("f")));
  EXPECT_EQ(platform::ReadStatus::kRead, platform::readWholeFile(dir.file("f"), bytes));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), bytes);
}

namespace {

app::CpuIdentification cpu(uint32_t edx, uint32_t extendedEdx, uint32_t maxExtended = 0x80000008u) {
  app::CpuIdentification id;
  id.identifies = true;
  id.leaf1Edx = edx;
  id.maxExtendedLeaf = maxExtended;
  id.extendedLeaf1Edx = extendedEdx;
  return id;
}

constexpr uint32_t kMmxBit = 1u << 23, kSseBit = 1u << 25, kSse2Bit = 1u << 26, k3DNowBit = 1u << 31;

std::string processorLines(uint32_t usable) {
  platform::RecordingConsole console;
  app::CpuFeatures features{usable};
  app::printProcessorLines(console, app::deriveProcessorFlags(features), true);
  return console.text();
}

}  // namespace

TEST(CpuFeatures, ReportedBitsCountOnlyWhenTheirProbeRuns) {
  auto all = [](uint32_t) { return 1; };
  EXPECT_EQ(app::FeatureMmx | app::FeatureSse | app::FeatureSse2 | app::Feature3DNow,
            app::usableFeatures(cpu(kMmxBit | kSseBit | kSse2Bit, k3DNowBit), all));
  // The operating system faults on XORPD.
  EXPECT_EQ(app::FeatureMmx | app::FeatureSse,
            app::usableFeatures(cpu(kMmxBit | kSseBit | kSse2Bit, 0), [](uint32_t f) { return f == app::FeatureSse2 ? 0 : 1; }));
  // No extended leaf 0x80000001: its register counts as 0.
  EXPECT_EQ(0u, app::usableFeatures(cpu(0, k3DNowBit, 0x7FFFFFFFu), all));
  EXPECT_EQ(0u, app::usableFeatures(app::CpuIdentification{}, all));
  // Probes run in the order MMX, 3DNow!, SSE, SSE2, and only for reported bits.
  std::vector<uint32_t> order;
  app::usableFeatures(cpu(kMmxBit | kSseBit | kSse2Bit, k3DNowBit), [&](uint32_t f) {
    order.push_back(f);
    return 1;
  });
  EXPECT_EQ((std::vector<uint32_t>{app::FeatureMmx, app::Feature3DNow, app::FeatureSse, app::FeatureSse2}), order);
  EXPECT_EQ(1, app::probeFeature(64));
}

TEST(CpuFeatures, FlagsAndTheirLines) {
  EXPECT_EQ(
      " Poddrujkata na [MMX + AMD 3DNow!] instrukcii ne e aktivirana!\n"
      " Poddrujkata na SSE2 instrukcii e aktivirana!\n",
      processorLines(app::FeatureMmx | app::FeatureSse | app::FeatureSse2));
  EXPECT_EQ(
      " Poddrujkata na [MMX + AMD 3DNow!] instrukcii e aktivirana!\n"
      " Poddrujkata na SSE2 instrukcii e aktivirana!\n",
      processorLines(app::FeatureMmx | app::Feature3DNow | app::FeatureSse2));
  EXPECT_FALSE(app::deriveProcessorFlags(app::CpuFeatures{app::Feature3DNow}).useMmx3DNow);
  EXPECT_EQ(
      " Poddrujkata na [MMX + AMD 3DNow!] instrukcii ne e aktivirana!\n"
      " Poddrujkata na SSE2 instrukcii ne e aktivirana!\n"
      " Lipsata na poddrujka na MMX, AMD 3DNow! i SSE2 procesorni instrukcii\n"
      " znachitelno shte zabavi konvertiraneto!\n",
      processorLines(app::Feature3DNow));
  EXPECT_EQ(engine::OptimisationVariant::kSse2, engine::chooseVariant(true, true));
  EXPECT_EQ(engine::OptimisationVariant::kMmx3DNow, engine::chooseVariant(false, true));
  EXPECT_EQ(engine::OptimisationVariant::kPlain, engine::chooseVariant(false, false));
}

TEST(CpuFeatures, ThisMachineHasSse2) {
#if defined(__x86_64__)
  app::CpuFeatures features;
  app::detectCpuFeatures(features);
  EXPECT_NE(0u, features.usable & app::FeatureSse2);
  EXPECT_NE(0u, features.usable & app::FeatureMmx);
#else
  GTEST_SKIP() << "every x86-64 processor has SSE2; others have nothing to detect";
#endif
}

TEST(CodecList, FormatsBothSections) {
  platform::RecordingConsole console;
  app::CodecSources sources;
  sources.named = std::vector<app::CodecEntry>{
      {"Cinepak Codec by Radius", "cvid"}, {std::nullopt, "abcd"}, {"No Code", std::nullopt}};
  sources.driverNames = std::vector<std::string>{"msacm.imaadpcm", "VIDC", "vidc.IV50", "VIDC.cvid", "vidcx.abcd",
                                                 "vidc.ab"};
  app::printCodecList(console, sources);
  EXPECT_EQ(
      "\n Nalichni sa slednite video kodeci:\n"
      "\nCinepak Codec by Radius - kod: cvid\nabcd\nNo Code - kod: \n"
      "\n[LIPSVA OPISANIE] - kod: IV50\n[LIPSVA OPISANIE] - kod: cvid"
      "\nBez Kompresirane - kod: 0000\n\n",
      console.text());
  platform::RecordingConsole empty;
  app::printCodecList(empty, {});
  EXPECT_EQ("\n Nalichni sa slednite video kodeci:\n\nBez Kompresirane - kod: 0000\n\n", empty.text());
}

TEST(Dialogs, ChoicesByNumberOrCode) {
  const std::vector<platform::ChoiceItem> items = {{"MPEG-4", "FMP4"}, {"MPEG-2", "DVR "}, {"x", "mjpg"}, {"y", "MJPG"}};
  const struct {
    const char* answer;
    std::optional<size_t> picked;
  } cases[] = {
      {"1", 0}, {" 2 \n", 1}, {"4", 3}, {"0", std::nullopt}, {"5", std::nullopt}, {"99999999999", std::nullopt},
      {"FMP4", 0}, {"fmp4", 0}, {"DVR", 1}, {"dvr ", 1}, {"mjpg", 2}, {"MJPG", 3}, {"Mjpg", 2},
      {"", std::nullopt}, {"  ", std::nullopt}, {"XVID", std::nullopt}, {"-1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(c.picked, platform::pickChoice(c.answer, items)) << '"' << c.answer << '"';
}
