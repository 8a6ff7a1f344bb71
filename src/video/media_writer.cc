#include "video/media_writer.h"

namespace quarn::video {
namespace {

constexpr const char* kChooserCaption = "Компресия на видеото";
constexpr const char* kChooserText = "Изберете компресиращ кодек:";
constexpr const char* kOwnFamilyName = "Кодекът на входящото видео";
constexpr const char* kOwnFamilyCode = "0000";

WriteResult failWith(MediaWriter& w, WriteResult result) {
  w.failed = true;
  return result;
}

bool usable(const MediaWriter& w, const platform::PixelView& frame) {
  return frame.rows != nullptr && frame.width != 0 && frame.height != 0 && !w.failed;
}

}  // namespace

platform::CreateStatus createMediaWriter(const std::string& path, platform::ResultContainer container,
                                         platform::MediaReader& input, std::unique_ptr<MediaWriter>& writer) {
  auto made = std::make_unique<MediaWriter>();
  const platform::CreateStatus status = made->file.create(path);
  if (status != platform::CreateStatus::kCreated) return status;
  made->backend = platform::MediaWriterBackend::create(made->file.stream(), container, input);
  made->container = container;
  writer = std::move(made);
  return status;
}

WriteResult MediaWriter::setVideoCompression(const platform::PixelView& frame, CompressOptions& options,
                                             bool showChooser, platform::MessageBoxes& chooser) {
  if (!usable(*this, frame)) return failed ? WriteResult::kError : WriteResult::kBadParam;
  if (streamsMade) return WriteResult::kCompressor;
  if (showChooser) {
    std::vector<platform::FourCC> fourccs;
    const std::vector<platform::ChoiceItem> items = mediaCodecChoices(container, fourccs);
    const std::optional<size_t> picked = chooser.choose(kChooserCaption, kChooserText, items);
    if (!picked) return failWith(*this, WriteResult::kUserAbort);
    options.fccHandler = fourccs[*picked];
  }
  platform::MediaVideoTrack track;
  track.fourcc = options.fccHandler;
  track.width = frame.width;
  track.height = frame.height;
  track.quality = options.dwQuality;
  switch (backend->begin(track)) {
    case platform::MediaWriteStatus::kOk:
      break;
    case platform::MediaWriteStatus::kCodecUnusable:
      return failWith(*this, WriteResult::kCompressor);
    case platform::MediaWriteStatus::kWriteFailed:
      return failWith(*this, WriteResult::kFileWrite);
  }
  streamsMade = true;
  return WriteResult::kOk;
}

WriteResult MediaWriter::addVideoFrame(const platform::PixelView& frame, int64_t time) {
  if (!usable(*this, frame)) return failed ? WriteResult::kError : WriteResult::kBadParam;
  if (!streamsMade) return WriteResult::kBadFormat;
  if (backend->encode(frame, time) != platform::MediaWriteStatus::kOk) return failWith(*this, WriteResult::kFileWrite);
  ++frameCount;
  return WriteResult::kOk;
}

WriteResult closeMediaWriter(std::unique_ptr<MediaWriter>& writer) {
  if (!writer) return WriteResult::kBadHandle;
  MediaWriter& w = *writer;
  WriteResult result = WriteResult::kOk;
  if (!w.streamsMade || w.frameCount == 0) {
    result = WriteResult::kBadFormat;
  } else if (w.failed) {
    result = WriteResult::kError;
  } else if (w.backend->finish() != platform::MediaWriteStatus::kOk) {
    result = WriteResult::kFileWrite;
  }
  w.backend.reset();
  result = keepOrDiscard(w.file, result);
  writer.reset();
  return result;
}

std::vector<platform::ChoiceItem> mediaCodecChoices(platform::ResultContainer container,
                                                    std::vector<platform::FourCC>& fourccs) {
  std::vector<platform::ChoiceItem> items;
  fourccs.clear();
  for (const platform::MediaCodecEntry& e : platform::usableMediaCodecs(container)) {
    items.push_back({e.description, platform::fourCCText(e.fourcc)});
    fourccs.push_back(e.fourcc);
  }
  items.push_back({kOwnFamilyName, kOwnFamilyCode});
  fourccs.push_back(platform::kFourCCDib);
  return items;
}

std::string streamReport(const std::vector<platform::StreamNote>& streams, platform::ResultContainer container) {
  using Fate = platform::StreamNote::Fate;
  std::string text;
  bool sound = false;
  for (const platform::StreamNote& s : streams) {
    if (s.type == "audio" && s.fate != Fate::kLeftOut) {
      sound = true;
      text += "\n Izvlichane na audio dannite ... tip - " + s.codec +
              (s.fate == Fate::kCopied ? " - kopirano!" : " - prekodirano v " + s.encodedAs + "!");
    } else if (s.fate == Fate::kCopied) {
      text += "\n Prenasqne na potok " + std::to_string(s.index) + " (" + s.type + ", " + s.codec + ") - kopirano!";
    } else {
      // Why it is left out: one picture stream is converted, cover art is
      // not carried, anything else the container does not take.
      const std::string why = s.type == "video"        ? "konvertira se samo parviqt video potok!"
                              : s.type == "attachment" ? "oblojkata ne se prenasq!"
                                                       : std::string(platform::resultExtension(container)) +
                                                             " ne go poddurja!";
      text += "\n Potok " + std::to_string(s.index) + " (" + s.type + ", " + s.codec + ") e propusnat - " + why;
    }
  }
  if (!sound) text = "\n Izvlichane na audio dannite ... lipsvat audio danni!" + text;
  return text + "\n";
}

}  // namespace quarn::video
