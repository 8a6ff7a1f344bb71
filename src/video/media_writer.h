// media_writer.h: the result of a run on a video of today's containers. It
// is created before the first frame (so an unusable result is known at
// once), takes its codec with the first converted frame, and carries the
// input's other streams between the pictures, each at its own time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/media_reader.h"
#include "platform/media_writer_backend.h"
#include "platform/output_file.h"
#include "video/frame_writer.h"

namespace quarn::video {

struct MediaWriter final : FrameWriter {
  // With `showChooser` the user picks among the codecs the result's
  // container takes; a picked codec keeps the quality given (0: the
  // encoder's default).
  WriteResult setVideoCompression(const platform::PixelView& frame, CompressOptions& options, bool showChooser,
                                  platform::MessageBoxes& chooser) override;
  // The picture shown at `time`, in the reader's unit.
  WriteResult addVideoFrame(const platform::PixelView& frame, int64_t time) override;

  platform::OutputFile file;
  std::unique_ptr<platform::MediaWriterBackend> backend;
  platform::ResultContainer container = platform::ResultContainer::kMatroska;
  bool streamsMade = false;  // codec set up, header written
  int64_t frameCount = 0;
  bool failed = false;       // one-way: nothing more is written
};

// Creates the result file exclusively; kExists and kFailed leave `writer`
// empty and anything at `path` as it was. `input` outlives the writer.
platform::CreateStatus createMediaWriter(const std::string& path, platform::ResultContainer container,
                                         platform::MediaReader& input, std::unique_ptr<MediaWriter>& writer);

// Writes what is left and closes the file: kOk leaves a complete file,
// anything else removes it. kBadFormat: no frame was ever written.
WriteResult closeMediaWriter(std::unique_ptr<MediaWriter>& writer);

// The chooser's items for `container`: each usable codec, then the input's
// own codec family ("0000"), with the code each stands for.
std::vector<platform::ChoiceItem> mediaCodecChoices(platform::ResultContainer container,
                                                    std::vector<platform::FourCC>& fourccs);

// The console lines about the streams beside the video: each sound stream
// carried or encoded, each stream left out, or the missing sound.
std::string streamReport(const std::vector<platform::StreamNote>& streams, platform::ResultContainer container);

}  // namespace quarn::video
