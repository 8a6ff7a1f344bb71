#include "video/avi_writer.h"

#include <algorithm>

#include "platform/video_encoders.h"

namespace quarn::video {
namespace {

constexpr const char* kChooserCaption = "Компресия на видеото";
constexpr const char* kChooserText = "Изберете компресиращ кодек:";
constexpr const char* kUncompressedName = "Full Frames (Uncompressed)";
constexpr const char* kUncompressedCode = "0000";
// Sound goes into the file in chunks of at most this many bytes.
constexpr size_t kSoundChunk = 1 << 20;

// The sound bytes, in whole sample frames, that lie before the end of the
// frame at `position`: (position + 1) x samplesPerSec x scale / rate sample
// frames, rounded down.
uint64_t soundBytesUpTo(int64_t position, const FrameRate& rate, const SoundFormat& format) {
  const unsigned __int128 frames =
      static_cast<unsigned __int128>(position + 1) * format.samplesPerSec * rate.scale / rate.rate;
  const unsigned __int128 bytes = frames * format.blockAlign;
  return bytes > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(bytes);
}

// Writes the sound up to byte `target`, in whole sample frames. False when
// the file refused it; a track that ends early ends the sound there, and a
// partial sample frame at its end is no sound.
bool writeSoundTo(AviWriter& w, uint64_t target) {
  if (!w.sound || w.soundEnded) return true;
  SoundSamples& samples = *w.sound->samples;
  const size_t block = w.sound->format.blockAlign;
  while (w.soundBytesWritten < target) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(target - w.soundBytesWritten, kSoundChunk));
    want -= want % block;
    if (want == 0) return true;
    w.soundBlock.resize(want);
    size_t got = 0;
    while (got < want) {
      const size_t n = samples.read(w.soundBlock.data() + got, want - got);
      if (n == 0) break;
      got += n;
    }
    got -= got % block;
    if (got > 0 && w.backend->writeSound(w.soundBlock.data(), got) != platform::AviWriteStatus::kOk) return false;
    w.soundBytesWritten += got;
    if (got < want) {
      w.soundEnded = true;
      return true;
    }
  }
  return true;
}

WriteResult failWith(AviWriter& w, WriteResult result) {
  w.failed = true;
  return result;
}

// The sound that belongs before the end of the frame at `position` (all
// that is left: INT64_MAX), of every track.
bool writeSoundBefore(AviWriter& w, int64_t position) {
  const uint64_t bytes =
      !w.sound ? 0 : position == INT64_MAX ? UINT64_MAX : soundBytesUpTo(position, w.rate, w.sound->format);
  return writeSoundTo(w, bytes) && w.backend->writeCopiedSound(position) == platform::AviWriteStatus::kOk;
}

// Every packet the encoder has given, each after the sound that belongs
// before its frame's end.
WriteResult writePackets(AviWriter& w) {
  while (const std::optional<int64_t> position = w.backend->nextPacket()) {
    if (!writeSoundBefore(w, *position) || w.backend->writePacket() != platform::AviWriteStatus::kOk) {
      return failWith(w, WriteResult::kFileWrite);
    }
  }
  return WriteResult::kOk;
}

// Declares the streams and writes the file header.
WriteResult makeStreams(AviWriter& w, const platform::PixelView& frame, const CompressOptions& options) {
  platform::AviVideoTrack track;
  track.fourcc = options.fccHandler;
  track.width = frame.width;
  track.height = frame.height;
  track.rate = w.rate;
  track.quality = options.dwQuality;
  track.expectedFrames = w.expectedFrames;
  switch (w.backend->begin(track, w.sound ? &w.sound->format : nullptr, w.copiedSound.get())) {
    case platform::AviWriteStatus::kOk:
      break;
    case platform::AviWriteStatus::kCodecUnusable:
      return failWith(w, WriteResult::kCompressor);
    case platform::AviWriteStatus::kWriteFailed:
      return failWith(w, WriteResult::kFileWrite);
  }
  w.streamsMade = true;
  return WriteResult::kOk;
}

WriteResult checkFrame(const AviWriter* w, const platform::PixelView* frame) {
  if (w == nullptr) return WriteResult::kBadHandle;
  if (frame == nullptr || frame->rows == nullptr || frame->width == 0 || frame->height == 0) {
    return WriteResult::kBadParam;
  }
  if (w->failed) return WriteResult::kError;
  return WriteResult::kOk;
}

}  // namespace

platform::CreateStatus createAviWriter(const std::string& path, FrameRate rate, int64_t expectedFrames,
                                       std::unique_ptr<AviWriter>& writer,
                                       std::unique_ptr<platform::AviWriterBackend> backend) {
  auto made = std::make_unique<AviWriter>();
  const platform::CreateStatus status = made->file.create(path);
  if (status != platform::CreateStatus::kCreated) return status;
  made->backend = backend ? std::move(backend) : platform::AviWriterBackend::create(made->file.stream());
  made->rate = rate;
  made->expectedFrames = expectedFrames;
  writer = std::move(made);
  return status;
}

void setAviWriterSound(AviWriter& writer, SoundToCarry sound) {
  if (writer.streamsMade || !sound.samples) return;
  writer.sound = std::move(sound);
}

void setAviWriterCopiedSound(AviWriter& writer, std::unique_ptr<platform::SoundCopy> copied) {
  if (writer.streamsMade) return;
  writer.copiedSound = std::move(copied);
}

WriteResult setVideoCompression(AviWriter* writer, const platform::PixelView* frame, CompressOptions& options,
                              bool showChooser, platform::MessageBoxes& chooser) {
  if (const WriteResult checked = checkFrame(writer, frame); checked != WriteResult::kOk) return checked;
  if (writer->streamsMade) return WriteResult::kCompressor;
  if (showChooser) {
    std::vector<platform::FourCC> fourccs;
    const std::vector<platform::ChoiceItem> items = codecChoices(fourccs);
    const std::optional<size_t> picked = chooser.choose(kChooserCaption, kChooserText, items);
    if (!picked) return failWith(*writer, WriteResult::kUserAbort);
    options.fccHandler = fourccs[*picked];
    if (options.dwQuality == 0) options.dwQuality = kChooserQuality;
  }
  return makeStreams(*writer, *frame, options);
}

WriteResult addVideoFrame(AviWriter* writer, const platform::PixelView* frame) {
  if (const WriteResult checked = checkFrame(writer, frame); checked != WriteResult::kOk) return checked;
  if (!writer->streamsMade) {
    CompressOptions uncompressed;
    uncompressed.fccHandler = platform::kFourCCDib;
    if (const WriteResult made = makeStreams(*writer, *frame, uncompressed); made != WriteResult::kOk) return made;
  }
  if (writer->backend->encode(*frame, writer->frameCount) != platform::AviWriteStatus::kOk) {
    return failWith(*writer, WriteResult::kFileWrite);
  }
  ++writer->frameCount;
  return writePackets(*writer);
}

WriteResult closeAviWriter(std::unique_ptr<AviWriter>& writer) {
  if (!writer) return WriteResult::kBadHandle;
  AviWriter& w = *writer;
  WriteResult result = WriteResult::kOk;
  if (!w.streamsMade || w.frameCount == 0) {
    result = WriteResult::kBadFormat;
  } else if (w.failed) {
    result = WriteResult::kError;
  } else if (w.backend->flushPictures() != platform::AviWriteStatus::kOk || writePackets(w) != WriteResult::kOk ||
             !writeSoundBefore(w, INT64_MAX) || w.backend->finish() != platform::AviWriteStatus::kOk) {
    result = WriteResult::kFileWrite;
  }
  w.backend.reset();
  result = keepOrDiscard(w.file, result);
  writer.reset();
  return result;
}

WriteResult AviWriter::setVideoCompression(const platform::PixelView& frame, CompressOptions& options,
                                           bool showChooser, platform::MessageBoxes& chooser) {
  return video::setVideoCompression(this, &frame, options, showChooser, chooser);
}

WriteResult AviWriter::addVideoFrame(const platform::PixelView& frame, int64_t) {
  return video::addVideoFrame(this, &frame);
}

std::vector<platform::ChoiceItem> codecChoices(std::vector<platform::FourCC>& fourccs) {
  std::vector<platform::ChoiceItem> items;
  fourccs.clear();
  for (const platform::VideoEncoderEntry& e : platform::usableVideoEncoders()) {
    items.push_back({e.description, platform::fourCCText(e.fourcc)});
    fourccs.push_back(e.fourcc);
  }
  items.push_back({kUncompressedName, kUncompressedCode});
  fourccs.push_back(platform::kFourCCDib);
  return items;
}

}  // namespace quarn::video
