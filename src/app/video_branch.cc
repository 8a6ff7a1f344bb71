#include "app/video_branch.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

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

// The video stream's rate from its own header: the demuxer puts a rate of
// its choosing in place of a 0, and such a file must be refused instead.
platform::FrameRate headerRate(video::ByteSource& chunks, const platform::VideoFacts& facts) {
  video::RiffReader riff(chunks);
  if (const std::optional<platform::FrameRate> header = video::firstVideoStreamRate(riff)) {
    if (!header->known()) return {};
  }
  return facts.rate;
}

}  // namespace

engine::RunOutcome runVideoBranch(const RunOptions& runOptions, platform::Console& console,
                                  platform::MessageBoxes& boxes) {
  RunOptions options = runOptions;
  // The input is opened once: its frames come through FFmpeg, and what its
  // chunks say directly (the stream header's rate, the sound) is read here.
  const std::unique_ptr<video::FileSource> file = video::FileSource::open(options.inputPath);
  std::unique_ptr<platform::AviVideoReader> reader;
  const platform::AviOpenStatus opened =
      file ? platform::AviVideoReader::open(dup(file->descriptor()), reader)
           : (errno == ENOMEM ? platform::AviOpenStatus::kOutOfMemory : platform::AviOpenStatus::kFileOpen);
  if (opened != platform::AviOpenStatus::kOpened) {
    console.write(" greshka pri zarejdaneto!\n");
    console.write(platform::aviOpenFailureText(opened));
    return engine::RunOutcome::kInputFailed;
  }
  video::ByteSource& chunks = *file;
  const platform::VideoFacts* facts = reader->video();
  const platform::FrameRate rate = facts != nullptr ? headerRate(chunks, *facts) : platform::FrameRate{};
  const int32_t width = facts != nullptr ? static_cast<int32_t>(facts->width) : 0;

  std::unique_ptr<video::AviWriter> writer;
  const int64_t length = facts != nullptr ? facts->length : 0;
  if (!resultCreated(video::createAviWriter(options.outputPath, rate, length, writer), console, options.outputPath)) {
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
  video::FrameLoop loop{*reader, rate,     *writer,  options.conversionSettings(), options.compressOptions,
                        boxes,   terminal, progress, engine::kConverted};
  video::VideoEnding ending = video::openVideoStream(loop);
  if (ending != video::VideoEnding::kFinished) endVideoRun(terminal, ending, &writer->file);

  // The sound is learned once the video is known to be readable, before the
  // first frame: it is written between the frames. Its texts come after the
  // frames.
  video::SoundTrack sound = video::prepareSoundTrack(chunks, options.fullCommandLine, boxes);
  if (sound.carried) video::setAviWriterSound(*writer, std::move(*sound.carried));
  ending = video::convertVideoFrames(loop);
  if (ending != video::VideoEnding::kFinished) endVideoRun(terminal, ending, &writer->file);

  video::reportSoundExtraction(sound, terminal);
  const engine::RunOutcome outcome =
      outcomeOfClosedVideo(video::closeAviWriter(writer), loop, terminal, options.outputPath);
  video::removeTemporaryFiles(sound, terminal);
  return outcome;
}

}  // namespace quarn::app
