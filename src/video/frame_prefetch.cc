#include "video/frame_prefetch.h"

#include <system_error>

namespace quarn::video {

FramePrefetch::FramePrefetch(platform::VideoReader& reader, size_t ahead) : reader_(reader) {
  // The ones waiting, and the one being decoded into; the caller's is held_.
  free_.resize(ahead + 1);
  try {
    thread_ = std::thread(&FramePrefetch::decodeAhead, this);
  } catch (const std::system_error&) {
  }
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
    platform::Picture picture;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || !free_.empty(); });
      if (stop_) return;
      picture = std::move(free_.back());
      free_.pop_back();
    }
    const platform::FrameStatus status = reader_.nextFrame(picture);
    const bool last = status == platform::FrameStatus::kEnd || status == platform::FrameStatus::kOutOfMemory;
    {
      std::lock_guard lock(mutex_);
      decoded_.push_back({std::move(picture), status});
    }
    changed_.notify_all();
    if (last) return;
  }
}

platform::FrameStatus FramePrefetch::next(platform::PixelView& frame, int64_t& time) {
  std::unique_lock lock(mutex_);
  if (ended_) return platform::FrameStatus::kEnd;
  free_.push_back(std::move(held_.picture));
  changed_.notify_all();
  changed_.wait(lock, [this] { return !decoded_.empty(); });
  held_ = std::move(decoded_.front());
  decoded_.pop_front();
  ended_ = held_.status == platform::FrameStatus::kEnd || held_.status == platform::FrameStatus::kOutOfMemory;
  frame = held_.picture.view();
  time = held_.picture.time();
  return held_.status;
}

}  // namespace quarn::video
