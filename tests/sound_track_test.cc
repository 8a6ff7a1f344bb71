// The sound track of an AVI run before and after the frame loop: what is
// carried, the console texts and pauses in order, the warning box, the
// LAME tool, and the temporary files (only this run's, all removed).
#include "video/sound_track.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "support/avi_builder.h"
#include "support/temp_dir.h"

using namespace quarn::testing;
using namespace quarn::video;
using quarn::platform::BoxAnswer;
using quarn::platform::BoxStyle;

namespace {

const std::string kStart = "\n Izvlichane na audio dannite ...";
const std::string kPcm = " tip - pcm - poddurjano!\n";
const std::string kWaveFormatEx = " tip - waveformatex - poddurjano!\n";
const std::string kCopied = " Izvlichane ... gotovo!\n Finalizirane ... gotovo!\n";
const std::string kUnsupported = " tip - neizvesten audio format!\n Videoto e konvertirano bez zvuk!\n<5000>";
const std::string kUnknownAnyway =
    " Izvlichane na audio s nepoznata kompresiq ...\n Vazmojna e poqva na greshki i povrejdane na konvertiraniq fail!\n";
const std::string kMp3Copied = " tip - mp3 - poddurjano!\n Izvlichane ... gotovo!";
const std::string kDashes = " --------------------------------------------------------\n";
const std::string kToolStart = "\n Konvertirane na mp3 v wave ...\n" + kDashes;
const std::string kMp3Failed = "proval! Videoto e konvertirano bez zvuk!\n<5000>";

class FakeBoxes : public quarn::platform::MessageBoxes {
 public:
  BoxAnswer answer = BoxAnswer::kNo;
  std::vector<std::string> shown;
  BoxAnswer show(std::string_view caption, std::string_view text, BoxStyle style) override {
    EXPECT_EQ(BoxStyle::kWarningYesNo, style);
    shown.push_back(std::string(caption) + "|" + std::string(text));
    return answer;
  }
};

std::string rendered(const SoundTrack& track) {
  std::string out;
  for (const ConsoleStep& step : track.report) {
    out += step.text;
    if (step.pauseMilliseconds != 0) out += "<" + std::to_string(step.pauseMilliseconds) + ">";
  }
  return out;
}

// The track of the AVI at `path`, learned from its bytes as a run learns it.
struct Learned {
  std::unique_ptr<FileSource> input;
  SoundTrack track;
};
Learned learn(const std::string& path, bool fullCommandLine, quarn::platform::MessageBoxes& boxes) {
  Learned learned{FileSource::open(path), {}};
  learned.track = prepareSoundTrack(*learned.input, learned.input->descriptor(), fullCommandLine, boxes);
  return learned;
}

Bytes allSamples(SoundSamples& samples) {
  Bytes out, block(1764);  // what a frame of 25 fps takes of 44100 Hz 16-bit stereo
  while (const size_t n = samples.read(block.data(), block.size())) out.insert(out.end(), block.begin(), block.begin() + n);
  return out;
}

Bytes oneAudioStream(const Bytes& format, const Bytes& data) {
  return aviHeader({{"vids", Bytes(40, 0)}, {"auds", format}}).list("LIST", "movi").chunk("01wb", data).bytes();
}

// The input's directory and the run's temporary directory, with the user's
// own files of the names the old program used beside the input.
class SoundTrackRun : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TMPDIR", temporary.path().c_str(), 1);
    for (const char* name : {"tmp.wav", "tmp.mp3", "lame.exe", "lame_enc.dll"}) writeFile(input.file(name), {'u', 's', 'e', 'r'});
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    if (!path.empty()) setenv("PATH", path.c_str(), 1);
    for (const char* name : {"tmp.wav", "tmp.mp3", "lame.exe", "lame_enc.dll"}) {
      EXPECT_EQ((Bytes{'u', 's', 'e', 'r'}), readFile(input.file(name))) << name;
    }
  }
  // Runs with a `lame` of `script` (or none) as the only one on PATH.
  void useLame(const std::string& script) {
    if (path.empty()) path = std::getenv("PATH");
    setenv("PATH", tools.path().c_str(), 1);
    std::remove(tools.file("lame").c_str());
    if (script.empty()) return;
    writeFile(tools.file("lame"), Bytes(script.begin(), script.end()));
    chmod(tools.file("lame").c_str(), 0755);
  }
  // Cleans up and checks that nothing of the run is left.
  void removeAll(SoundTrack& track) {
    quarn::platform::RecordingConsole console;
    removeTemporaryFiles(track, console);
    EXPECT_EQ(" Izchistvane na vremennite falove ... gotovo!", console.text());
    EXPECT_TRUE(temporary.list().empty());
    EXPECT_FALSE(track.carried.has_value());
    for (const std::string& name : input.list()) {
      EXPECT_TRUE(name.starts_with("tmp.") || name.starts_with("lame") || name.ends_with(".avi")) << name;
    }
  }

  TempDir input, temporary, tools;
  std::string path;
  FakeBoxes boxes;
};

}  // namespace

TEST_F(SoundTrackRun, CarriesWhatItCanAndReportsEveryCaseInOrder) {
  const Bytes data = pattern(3000, 8);
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    std::string report;
    std::optional<SoundFormat> format;
    const char* ffmpegRaw = nullptr;  // the samples as ffmpeg copies them; else `data` when carried
    bool fullCommandLine = false;
    BoxAnswer answer = BoxAnswer::kNo;
    size_t copies = 0;  // tracks carried as they are
  };
  const auto ffmpeg = [](std::vector<std::string> audio, std::string rate = "25") {
    return [=](const std::string& p) { makeSoundAvi(p, audio, rate); };
  };
  const auto built = [](const Bytes& file) { return [=](const std::string& p) { writeFile(p, file); }; };
  const Bytes unknown = waveFormat(0x1234, 1, 22050, 512, 0, 0);
  const Case cases[] = {
      {"16-bit stereo PCM", ffmpeg({"-c:a", "pcm_s16le", "-ac", "2"}), kStart + kPcm + kCopied,
       SoundFormat{1, 2, 44100, 176400, 4, 16, {}}, "s16le"},
      {"8-bit mono PCM at 30000/1001", ffmpeg({"-c:a", "pcm_u8", "-ac", "1"}, "30000/1001"), kStart + kPcm + kCopied,
       SoundFormat{1, 1, 44100, 44100, 1, 8, {}}, "u8"},
      {"18-byte WAVEFORMATEX", ffmpeg({"-c:a", "pcm_alaw", "-ac", "1"}), kStart + kWaveFormatEx + kCopied,
       SoundFormat{6, 1, 44100, 44100, 1, 8, {}}, "alaw"},
      {"IMA ADPCM: a 20-byte block, copied", ffmpeg({"-c:a", "adpcm_ima_wav", "-ac", "1"}),
       kStart + " tip - adpcm_ima_wav - kopirano!\n", std::nullopt, nullptr, false, BoxAnswer::kNo, 1},
      {"AC-3: an 18-byte block of 16 bits, yet no PCM", ffmpeg({"-c:a", "ac3"}),
       kStart + " tip - ac3 - kopirano!\n", std::nullopt, nullptr, false, BoxAnswer::kNo, 1},
      {"24-bit PCM in WAVE_FORMAT_EXTENSIBLE", ffmpeg({"-c:a", "pcm_s24le", "-ac", "2"}), kStart + kPcm + kCopied,
       SoundFormat{1, 2, 44100, 264600, 6, 24, {}}, "s24le"},
      {"a second track is copied", ffmpeg({"-map", "0:v", "-map", "1:a", "-map", "1:a", "-c:a:0", "pcm_s16le",
                                           "-c:a:1", "mp2"}),
       kStart + kPcm + kCopied + " Izvlichane na audio dannite ... tip - mp2 - kopirano!\n",
       SoundFormat{1, 1, 44100, 88200, 2, 16, {}}, "s16le", false, BoxAnswer::kNo, 1},
      {"no sound track", ffmpeg({}), kStart + " lipsvat audio danni!", std::nullopt},
      {"not an AVI", built({'h', 'e', 'l', 'l', 'o'}), kStart + " Greshka! Faila ne moje da se otvori!",
       std::nullopt},
      {"no strf", built(RiffBuilder().list("RIFF", "AVI ").list("LIST", "hdrl").chunk("avih", mainHeader(1))
                            .list("LIST", "strl").chunk("strh", streamHeader("auds")).bytes()),
       kStart + " greshka! Audio formata ne moje da bude razpoznat!", std::nullopt},
      {"no bits per sample, all parameters given: nobody to ask, dropped with a word", built(oneAudioStream(unknown, data)),
       kStart + kWaveFormatEx + " nepoznata kompresiq - " + kMp3Failed, std::nullopt, nullptr, true},
      {"no bits per sample, sound declined", built(oneAudioStream(unknown, data)),
       kStart + kWaveFormatEx + " Audio izvlichaneto e otkazano!\n", std::nullopt, nullptr, false,
       BoxAnswer::kYes},
      {"no bits per sample, extracted anyway: a format the writer cannot declare", built(oneAudioStream(unknown, data)),
       kStart + kWaveFormatEx + kUnknownAnyway + kUnsupported, std::nullopt},
      {"no bits per sample and no block size: unsupported after the warning",
       built(oneAudioStream(waveFormat(0x1234, 1, 22050, 0, 0, 0), data)),
       kStart + kWaveFormatEx + kUnknownAnyway + kUnsupported, std::nullopt},
      {"PCM without a block size", built(oneAudioStream(waveFormat(1, 2, 44100, 0, 16), data)),
       kStart + kPcm + kUnsupported, std::nullopt},
      {"4-bit mono: no whole byte a frame, which the writer cannot declare",
       built(oneAudioStream(waveFormat(1, 1, 8000, 1, 4), data)), kStart + kPcm + kUnsupported, std::nullopt},
      {"an empty track: no sound stream", built(oneAudioStream(waveFormat(1, 2, 44100, 4, 16), {})),
       kStart + kPcm + kCopied, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string avi = input.file("clip.avi");
    c.make(avi);
    const size_t shownBefore = boxes.shown.size();
    boxes.answer = c.answer;
    Learned learned = learn(avi, c.fullCommandLine, boxes);
    SoundTrack& track = learned.track;
    EXPECT_EQ(c.report, rendered(track));
    const bool asked = c.report.find(kUnknownAnyway) != std::string::npos || c.answer == BoxAnswer::kYes;
    EXPECT_EQ(asked ? 1u : 0u, boxes.shown.size() - shownBefore);
    EXPECT_EQ(c.copies, track.copied ? track.copied->tracks() : 0);
    ASSERT_EQ(c.format.has_value(), track.carried.has_value());
    if (c.format) {
      EXPECT_EQ(*c.format, track.carried->format);
      const Bytes want = c.ffmpegRaw != nullptr ? ffmpegSoundBytes(avi, c.ffmpegRaw) : data;
      EXPECT_EQ(want, allSamples(*track.carried->samples));
    }
    removeAll(track);
    std::remove(avi.c_str());
  }
  EXPECT_EQ(
      "Внимание! Опастност от възникване на грешка!|Внимание! Аудио данните са с непозната компресия!\nСъществува "
      "опастност от възникване на грешка и повреждане на целия конвертиран файл!\nОтказването на аудио обработката ще "
      "предоотврати възможни грешки, но в\nконвертирания файл ще липсва звук!\n\n\t\t\t Отказ на аудио обработката?",
      boxes.shown.at(0));
}

TEST_F(SoundTrackRun, Mp3IsDecodedByLameWithItsOutputBetweenTheDashedLines) {
  const std::string avi = input.file("mp3 clip ä.avi");  // a blank and a non-ASCII letter reach the tool unchanged
  makeSoundAvi(avi, {"-c:a", "libmp3lame", "-ac", "2"});
  Learned learned = learn(avi, false, boxes);
  SoundTrack& track = learned.track;
  const std::string report = rendered(track);
  const std::string head = kStart + kMp3Copied + kToolStart, tail = "\n" + kDashes;
  ASSERT_GT(report.size(), head.size() + tail.size());
  EXPECT_EQ(head, report.substr(0, head.size()));
  EXPECT_EQ(tail, report.substr(report.size() - tail.size()));
  EXPECT_NE(std::string::npos, report.find("Frame#", head.size())) << report;
  ASSERT_TRUE(track.carried.has_value());
  EXPECT_EQ((SoundFormat{1, 2, 44100, 176400, 4, 16, {}}), track.carried->format);
  // A second of sound, give or take the decoder's delay.
  EXPECT_NEAR(44100.0, static_cast<double>(allSamples(*track.carried->samples).size() / 4), 2000.0);
  EXPECT_EQ(1u, temporary.list().size());  // the decoded WAV; the copied MP3 is gone already
  EXPECT_TRUE(boxes.shown.empty());

  quarn::platform::RecordingConsole console;
  reportSoundExtraction(track, console);
  EXPECT_EQ(report, console.text());
  EXPECT_TRUE(track.report.empty());
  removeAll(track);
}

TEST_F(SoundTrackRun, Mp3WithoutAWorkingLameIsReportedAndLeavesNothing) {
  const struct {
    const char* name;
    std::string script;
    std::string report;
  } cases[] = {
      {"no lame on PATH", "", kStart + kMp3Copied + "\n lame ne e nameren - " + kMp3Failed},
      {"lame fails", "#!/bin/sh\necho 'bad input' >&2\nexit 1\n",
       kStart + kMp3Copied + kToolStart + "bad input\n\n" + kDashes + " lame zavurshi s greshka - " + kMp3Failed},
      {"lame writes something else", "#!/bin/sh\necho garbage > \"$3\"\n",
       kStart + kMp3Copied + kToolStart + "\n" + kDashes + " lame ne suzdade wave fail - " + kMp3Failed},
      {"lame runs out of room: its WAV claims 10 MB over 1 KB",
       "#!/bin/sh\nprintf 'RIFF\\044\\000\\240\\000WAVEfmt \\020\\000\\000\\000\\001\\000\\002\\000\\104\\254\\000\\000"
       "\\020\\261\\002\\000\\004\\000\\020\\000data\\000\\000\\240\\000' > \"$3\"\ni=0\nwhile [ $i -lt 250 ]; do printf '\\000\\000\\000\\000'; i=$((i+1)); done >> \"$3\"\n",
       kStart + kMp3Copied + kToolStart + "\n" + kDashes + " wave failut e po-kratuk ot obqveniq - " + kMp3Failed},
  };
  const std::string avi = input.file("clip.avi");
  writeFile(avi, oneAudioStream(mp3Format(), pattern(418, 1)));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    useLame(c.script);
    Learned learned = learn(avi, true, boxes);
    SoundTrack& track = learned.track;
    EXPECT_EQ(c.report, rendered(track));
    EXPECT_FALSE(track.carried.has_value());
    EXPECT_TRUE(temporary.list().empty());
    removeAll(track);
  }
}

TEST_F(SoundTrackRun, CarriesATrackOverTenMebibytesWhole) {
  Bytes data;
  RiffBuilder b = aviHeader({{"vids", Bytes(40, 0)}, {"auds", waveFormat(1, 2, 44100, 4, 16)}});
  b.list("LIST", "movi");
  for (uint32_t i = 0; i < 170; ++i) {  // 170 chunks of 64 KiB: 11.1 MB
    const Bytes chunk = pattern(65536, i);
    b.chunk("00dc", {1}).chunk("01wb", chunk);
    data.insert(data.end(), chunk.begin(), chunk.end());
  }
  const std::string avi = input.file("long.avi");
  writeFile(avi, b.bytes());
  Learned learned = learn(avi, true, boxes);
  SoundTrack& track = learned.track;
  EXPECT_EQ(kStart + kPcm + kCopied, rendered(track));
  ASSERT_TRUE(track.carried.has_value());
  EXPECT_EQ(data, allSamples(*track.carried->samples));
  removeAll(track);
}

TEST_F(SoundTrackRun, AFormatTheWriterRefusesIsReportedAsUnsupported) {
  const std::string avi = input.file("clip.avi");
  // 16-bit stereo PCM whose block is not one sample of each channel.
  writeFile(avi, oneAudioStream(waveFormat(1, 2, 44100, 6, 16), pattern(400, 2)));
  Learned learned = learn(avi, true, boxes);
  SoundTrack& track = learned.track;
  EXPECT_EQ(kStart + kPcm + kUnsupported, rendered(track));
  EXPECT_FALSE(track.carried.has_value());
  removeAll(track);
}
