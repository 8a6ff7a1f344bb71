// The output video's writer: its checks in their order, and what each
// failure leaves behind.
#include <gtest/gtest.h>

#include <optional>

#include "platform/files.h"
#include "support/temp_dir.h"
#include "support/video_fixture.h"
#include "video/avi_writer.h"

using namespace quarn;
using namespace quarn::video;
using quarn::testing::TempDir;

namespace {

class Chooser final : public platform::MessageBoxes {
 public:
  std::optional<size_t> pick;
  platform::BoxAnswer show(std::string_view, std::string_view, platform::BoxStyle) override {
    return platform::BoxAnswer::kOk;
  }
  std::optional<size_t> choose(std::string_view, std::string_view, const std::vector<platform::ChoiceItem>&) override {
    return pick;
  }
};

constexpr uint32_t kWidth = 33, kHeight = 20;
std::vector<uint8_t> pixels(size_t{(kWidth * 3 + 3) / 4 * 4} * kHeight, 0x40);
const platform::PixelView kFrame{pixels.data(), (kWidth * 3 + 3) / 4 * 4, kWidth, kHeight, true};
constexpr uint32_t kFmp4 = 0x34504d46;

std::unique_ptr<AviWriter> created(const TempDir& dir) {
  std::unique_ptr<AviWriter> w;
  EXPECT_EQ(platform::CreateStatus::kCreated, createAviWriter(dir.file("out.avi"), {25, 1}, 2, w));
  return w;
}

}  // namespace

TEST(AviWriter, ChecksComeInTheirOrder) {
  TempDir dir;
  Chooser chooser;
  CompressOptions options{kFmp4, 5000};
  const platform::PixelView empty{nullptr, 0, kWidth, kHeight, true};
  EXPECT_EQ(WriteResult::kBadHandle, setVideoCompression(nullptr, nullptr, options, false, chooser));
  EXPECT_EQ(WriteResult::kBadHandle, addVideoFrame(nullptr, &kFrame));
  std::unique_ptr<AviWriter> none;
  EXPECT_EQ(WriteResult::kBadHandle, closeAviWriter(none));

  auto w = created(dir);
  EXPECT_EQ(WriteResult::kBadParam, setVideoCompression(w.get(), nullptr, options, false, chooser));
  EXPECT_EQ(WriteResult::kBadParam, addVideoFrame(w.get(), &empty));
  EXPECT_EQ(WriteResult::kOk, setVideoCompression(w.get(), &kFrame, options, false, chooser));
  EXPECT_EQ(WriteResult::kCompressor, setVideoCompression(w.get(), &kFrame, options, false, chooser));
  EXPECT_EQ(WriteResult::kOk, addVideoFrame(w.get(), &kFrame));
  EXPECT_EQ(WriteResult::kOk, closeAviWriter(w));
  const auto stream = quarn::testing::probeStream(dir.file("out.avi"));
  EXPECT_EQ("mpeg4", stream.at("codec_name"));
  EXPECT_EQ("1", stream.at("nb_frames"));
}

TEST(AviWriter, AFailedSetUpRefusesEverythingAfterAndLeavesNoFile) {
  struct Case {
    const char* what;
    CompressOptions options;
    bool ask;
    std::optional<size_t> pick;
    WriteResult result;
  } cases[] = {
      {"unknown FourCC", {0x5a515a51, 5000}, false, std::nullopt, WriteResult::kCompressor},
      {"chooser cancelled", {0, 0}, true, std::nullopt, WriteResult::kUserAbort},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Chooser chooser;
    chooser.pick = c.pick;
    CompressOptions options = c.options;
    auto w = created(dir);
    EXPECT_EQ(c.result, setVideoCompression(w.get(), &kFrame, options, c.ask, chooser)) << c.what;
    EXPECT_EQ(WriteResult::kError, addVideoFrame(w.get(), &kFrame)) << c.what;
    EXPECT_EQ(WriteResult::kBadFormat, closeAviWriter(w)) << c.what;
    EXPECT_TRUE(dir.list().empty()) << c.what;
  }
}

TEST(AviWriter, FramesWithoutASetUpAreStoredUncompressedAndNoFrameMeansNoFile) {
  TempDir dir;
  auto w = created(dir);
  EXPECT_EQ(WriteResult::kOk, addVideoFrame(w.get(), &kFrame));
  EXPECT_EQ(WriteResult::kOk, closeAviWriter(w));
  EXPECT_EQ("rawvideo", quarn::testing::probeStream(dir.file("out.avi"))["codec_name"]);

  TempDir empty;
  std::unique_ptr<AviWriter> unused;
  ASSERT_EQ(platform::CreateStatus::kCreated, createAviWriter(empty.file("out.avi"), {25, 1}, 0, unused));
  EXPECT_EQ(WriteResult::kBadFormat, closeAviWriter(unused));
  EXPECT_TRUE(empty.list().empty());
  std::unique_ptr<AviWriter> taken;
  quarn::testing::writeFile(empty.file("x.avi"), {1});
  EXPECT_EQ(platform::CreateStatus::kExists, createAviWriter(empty.file("x.avi"), {25, 1}, 0, taken));
  EXPECT_EQ(nullptr, taken);
  EXPECT_EQ(std::vector<uint8_t>{1}, quarn::testing::readFile(empty.file("x.avi")));
}
