// frame_prefetch.h: decoding the next frames on a thread of its own while
// the current one is converted and written, so that the two halves of the
// work run side by side on two processors.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/video_reader.h"
#include "platform/pixels.h"

namespace quarn::video {

class FramePrefetch {
 public:
  // From now on only this object uses `reader` (its decoder is open). At
  // most `ahead` decoded frames wait beside the one the caller holds; the
  // pictures get their memory from the reader, once frames decode.
  explicit FramePrefetch(platform::VideoReader& reader, size_t ahead = 1);
  ~FramePrefetch();  // stops decoding and waits for the thread
  FramePrefetch(const FramePrefetch&) = delete;
  FramePrefetch& operator=(const FramePrefetch&) = delete;

  // False when no thread can be had: next() must not be called then.
  bool ready() const { return thread_.joinable(); }

  // The next frame's outcome; with kFrame its picture is `frame`, which
  // stays the caller's (and may be changed by it) until the following
  // next(), and its time `time`. After kEnd every call gives kEnd.
  platform::FrameStatus next(platform::PixelView& frame, int64_t& time);

 private:
  struct Decoded {
    platform::Picture picture;
    platform::FrameStatus status = platform::FrameStatus::kEnd;
  };
  void decodeAhead();

  platform::VideoReader& reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<platform::Picture> free_;  // pictures waiting to be decoded into
  std::deque<Decoded> decoded_;          // in position order
  Decoded held_;                         // the caller's
  bool stop_ = false;
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace quarn::video
