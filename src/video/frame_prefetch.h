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

#include "engine/bitmap_buffer.h"
#include "platform/avi_reader.h"

namespace quarn::video {

class FramePrefetch {
 public:
  // From now on only this object uses `reader` (its decoder is open). Each
  // frame is decoded into a buffer of `bufferSize` bytes at `pixelOffset`;
  // at most `ahead` frames wait beside the one the caller holds.
  FramePrefetch(platform::AviVideoReader& reader, size_t bufferSize, size_t pixelOffset, size_t ahead = 2);
  ~FramePrefetch();  // stops decoding and waits for the thread
  FramePrefetch(const FramePrefetch&) = delete;
  FramePrefetch& operator=(const FramePrefetch&) = delete;

  // False when the buffers or the thread cannot be had: next() must not be
  // called then.
  bool ready() const { return ready_; }

  // The next position's outcome; with kFrame its picture is in `frame`,
  // which stays the caller's until the following next(). After kEnd every
  // call gives kEnd.
  platform::AviFrameStatus next(engine::BitmapBuffer*& frame);

 private:
  struct Decoded {
    engine::BitmapBuffer buffer;
    platform::AviFrameStatus status = platform::AviFrameStatus::kEnd;
  };
  void decodeAhead();

  platform::AviVideoReader& reader_;
  size_t pixelOffset_;
  bool ready_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<engine::BitmapBuffer> free_;  // buffers waiting to be decoded into
  std::deque<Decoded> decoded_;             // in position order
  Decoded held_;                            // the caller's
  bool stop_ = false;
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace quarn::video
