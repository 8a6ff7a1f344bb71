#include "app/video_branch.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <numeric>

#include "app/video_endings.h"
#include "engine/auto_depth.h"
#include "engine/console_lines.h"
#include "platform/avi_reader.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "video/avi_audio.h"
#include "video/avi_writer.h"
#include "video/byte_source.h"
#include "video/frame_loop.h"
#include "video/progress_display.h"
#include "video/sound_track.h"

namespace quarn::app {
namespace {

constexpr const char* kHintCaption = "Изберете кодек";
constexpr const char* kHintText =
    "\tМоля, изберете компресиращ кодек!\n\n Препоръчителни:\n\n Microsoft Video 1 (quality 90 или повече)  -\n "
    "сравнително добра скорост, лошо качество, ниска компресия;\n\n IntelYUV\t-\n добра скорост, не много добро "
    "качество, ниска компресия;\n\n Cinepak Codec by Radius  -\n бавна скорост, средно качество, прилична "
    "компресия;\n\n Intel Indeo(R) Video R3.2 / 4.5 (quality 85 или повече) -\n добра скорост, ниско до средно "
    "качество, ниска компресия;\n\n TechSmith Screen Capture -\n добра скорост, високо качество, слаба "
    "компресия;\n\n Helix YV12 YUV Codec -\n висока скорост, ниско до средно качество, слаба компресия;\n\n XviD "
    "MPEG4 -\n добра скорост, средно-добро качество, висока компресия;\n\n Microsoft MPEG-4 VKI Codec V1/V2/V3 "
    "-\n добра скорост, добро качество, висока компресия;\n\n Full Frames (Uncompressed) -\n висока скорост, "
    "отлично качество, липсва компресия;\n\n Обърнете внимание, че компресията разваля 3D качеството.\n\n Съвет: "
    "за конвертиране на големи видео файлове използвайте кодек с висока компресия.";

// The video stream's rate from its own header, exactly, where the result
// can keep it: the demuxer puts a rate of its choosing in place of a 0, and
// approximates terms past 31 bits; an AVI result holds no rate above 1000
// frames a second. A rate that cannot be kept is refused (unknown), never
// changed.
platform::FrameRate headerRate(video::ByteSource& chunks, const platform::VideoFacts& facts) {
  video::RiffReader riff(chunks);
  const std::optional<platform::FrameRate> header = video::firstVideoStreamRate(riff);
  if (!header) return facts.rate;
  if (!header->known()) return {};
  const uint32_t common = std::gcd(header->rate, header->scale);
  const platform::FrameRate reduced{header->rate / common, header->scale / common};
  constexpr uint32_t kMaxFramesPerSecond = 1000;
  if (reduced.rate > INT32_MAX || reduced.scale > INT32_MAX ||
      uint64_t{reduced.rate} > uint64_t{kMaxFramesPerSecond} * reduced.scale) {
    return {};
  }
  return reduced;
}

// The frames the video has: the positions its index lists, or without an
// index those its chunks reach.
int64_t framesOf(video::ByteSource& chunks, const platform::VideoFacts& facts) {
  if (facts.length >= 0) return facts.length;
  video::RiffReader riff(chunks);
  return video::videoPositionsInChunks(riff).value_or(0);
}

}  // namespace

engine::RunOutcome runVideoBranch(const RunOptions& runOptions, platform::Console& console,
                                  platform::MessageBoxes& boxes) {
  RunOptions options = runOptions;
  // The input is opened once: its frames come through FFmpeg, and what its
  // chunks say directly (the stream header's rate, the sound) is read here.
  const std::unique_ptr<video::FileSource> file = video::FileSource::open(options.inputPath);
  const int openError = errno;
  std::unique_ptr<platform::AviVideoReader> reader;
  platform::AviOpenStatus opened =
      openError == ENOMEM ? platform::AviOpenStatus::kOutOfMemory : platform::AviOpenStatus::kFileOpen;
  if (file) {
    video::RiffReader riff(*file);
    opened = platform::AviVideoReader::open(dup(file->descriptor()), reader, video::soundFormatStandIns(riff));
  }
  if (opened != platform::AviOpenStatus::kOpened) {
    console.write(" greshka pri zarejdaneto!\n");
    console.write(platform::aviOpenFailureText(opened));
    return engine::RunOutcome::kInputFailed;
  }
  video::ByteSource& chunks = *file;
  const platform::VideoFacts* facts = reader->video();
  const platform::FrameRate rate = facts != nullptr ? headerRate(chunks, *facts) : platform::FrameRate{};
  const int64_t frames = facts != nullptr ? framesOf(chunks, *facts) : 0;
  const int32_t width = facts != nullptr ? static_cast<int32_t>(facts->width) : 0;

  std::unique_ptr<video::AviWriter> writer;
  if (!resultCreated(video::createAviWriter(options.outputPath, rate, frames, writer), console, options.outputPath)) {
    return engine::RunOutcome::kOutputFailed;
  }

  if (!options.fullCommandLine) boxes.show(kHintCaption, kHintText, platform::BoxStyle::kWarningOk);
  if (options.autoDepth) {
    options.depth = engine::autoDepthForVideo(width);
    options.autoDepth = false;
  }
  engine::printSettingsLines(console, options.negativeDepth ? -options.depth : options.depth,
                             options.colourOptimisation, options.plus3D);

  // From here on the console is the terminal the progress block is drawn
  // on, so the loop's own messages and the block keep out of each other's way.
  platform::Terminal& terminal = platform::standardTerminal();
  video::DisplayedProgress progress(terminal, platform::monotonicClock());
  video::FrameLoop loop{*reader, rate,  frames,   *writer, options.conversionSettings(), options.compressOptions,
                        boxes,   terminal, progress, engine::kConverted};
  video::VideoEnding ending = video::openVideoStream(loop);
  if (ending != video::VideoEnding::kFinished) endVideoRun(terminal, ending, &writer->file);

  // The sound is learned once the video is known to be readable, before the
  // first frame: it is written between the frames. Its texts come after the
  // frames.
  video::SoundTrack sound = video::prepareSoundTrack(chunks, file->descriptor(), options.fullCommandLine, boxes);
  if (sound.carried) video::setAviWriterSound(*writer, std::move(*sound.carried));
  video::setAviWriterCopiedSound(*writer, std::move(sound.copied));
  ending = video::convertVideoFrames(loop);
  if (ending != video::VideoEnding::kFinished) endVideoRun(terminal, ending, &writer->file);

  video::reportSoundExtraction(sound, terminal);
  const engine::RunOutcome outcome =
      outcomeOfClosedVideo(video::closeAviWriter(writer), loop, terminal, options.outputPath);
  video::removeTemporaryFiles(sound, terminal);
  return outcome;
}

}  // namespace quarn::app
