#include "video/frame_prefetch.h"

#include <system_error>

namespace quarn::video {

FramePrefetch::FramePrefetch(platform::AviVideoReader& reader, size_t bufferSize, size_t pixelOffset,
                             size_t ahead)
    : reader_(reader), pixelOffset_(pixelOffset) {
  // The caller's buffer, the ones waiting, and the one being decoded into.
  for (size_t i = 0; i < ahead + 2; ++i) {
    engine::BitmapBuffer buffer;
    if (!engine::tryResize(buffer, bufferSize)) return;
    free_.push_back(std::move(buffer));
  }
  held_.buffer = std::move(free_.back());
  free_.pop_back();
  try {
    thread_ = std::thread(&FramePrefetch::decodeAhead, this);
  } catch (const std::system_error&) {
    return;
  }
  ready_ = true;
}

FramePrefetch::~FramePrefetch() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void FramePrefetch::decodeAhead() {
  while (true) {
    engine::BitmapBuffer buffer;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || !free_.empty(); });
      if (stop_) return;
      buffer = std::move(free_.back());
      free_.pop_back();
    }
    const platform::AviFrameStatus status = reader_.nextFrame(buffer.data() + pixelOffset_);
    {
      std::lock_guard lock(mutex_);
      decoded_.push_back({std::move(buffer), status});
    }
    changed_.notify_all();
    if (status == platform::AviFrameStatus::kEnd) return;
  }
}

platform::AviFrameStatus FramePrefetch::next(engine::BitmapBuffer*& frame) {
  std::unique_lock lock(mutex_);
  frame = &held_.buffer;
  if (ended_) return platform::AviFrameStatus::kEnd;
  free_.push_back(std::move(held_.buffer));
  changed_.notify_all();
  changed_.wait(lock, [this] { return !decoded_.empty(); });
  held_ = std::move(decoded_.front());
  decoded_.pop_front();
  ended_ = held_.status == platform::AviFrameStatus::kEnd;
  return held_.status;
}

}  // namespace quarn::video
