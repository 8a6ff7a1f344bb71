// progress_display.h: the two-line progress block a video conversion shows
// once a second (frame, total, speed, time left), then the closing banner
// with the time the frames took. It runs on its own thread, reads only what
// the frame loop publishes, and never talks back.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/terminal.h"
#include "video/frame_loop.h"

namespace quarn::video {

// Written by the frame loop only; the display reads them without a lock (a
// value one step old only makes one block a second late).
struct ProgressCounters {
  std::atomic<int32_t> currentFrame{0};   // 0-based position of the frame being converted
  std::atomic<int32_t> totalFrames{0};    // frames in the input's video stream; set before start()
};

// The hand-over from the frame loop to the display thread: every field is
// read and written under `mutex`, and `changed` is notified after a change.
struct ProgressSignal {
  static constexpr int64_t kNotYet = -1;

  std::mutex mutex;
  std::condition_variable changed;
  int64_t startedAt = kNotYet;  // clock reading when writing started
  int64_t endedAt = kNotYet;    // clock reading when the frame loop ended
  bool closing = true;          // with the end: print the closing banner (false: the loop failed)
};

// The time left at the current speed; unknown when nothing moved in the last
// second, or when less than a whole second (or nothing) is left.
struct TimeLeft {
  bool known = false;
  int32_t hours = 0, minutes = 0, seconds = 0;  // hours may pass 99
};
TimeLeft timeLeft(int32_t totalFrames, int32_t framesDone, int32_t framesPerSecond);

// The two lines, without a final line end; trailing blanks cover what a
// longer earlier block left. `frameNumber` is 1-based.
std::string progressBlock(int32_t frameNumber, int32_t totalFrames, int32_t framesPerSecond, const TimeLeft& left);

// The display thread's body; returns 0. Waits until writing starts (or the
// loop ends without it: then prints nothing at all), hides the cursor,
// redraws the block once a second while the terminal has cursor control,
// and when the loop ends prints the closing lines over the block, unless the
// end came without `closing`. Never sleeps past the loop's end.
int showProgress(ProgressCounters& counters, ProgressSignal& signal, platform::Terminal& terminal,
                 platform::Clock& clock);

// What the frame loop drives. Messages the loop prints while the display is
// up go through the same terminal, so the next block still lands on its own.
class ProgressDisplay {
 public:
  // All three must outlive the display.
  ProgressDisplay(ProgressCounters& counters, platform::Terminal& terminal, platform::Clock& clock);
  ~ProgressDisplay();  // abandon() unless finish() or abandon() came
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // Starts the thread, idle until writingStarted(). Call once, after
  // totalFrames is set. If no thread can be had, the closing lines are
  // printed by finish() itself.
  void start();

  // The first converted frame is about to be written: the time counts from
  // now.
  void writingStarted();

  // The loop is done: the display wakes at once, prints
  // its closing lines (nothing when writing never started), and its thread
  // is joined before this returns.
  void finish();

  // The loop ends by a failure: as finish() without the closing banner; the
  // cursor is visible again, on a fresh line below the block. Also done
  // when the process ends through exit() while the display is up.
  void abandon();

 private:
  void end(bool closing);

  ProgressCounters& counters_;
  platform::Terminal& terminal_;
  platform::Clock& clock_;
  ProgressSignal signal_;
  std::thread thread_;
  bool running_ = false;  // start() came, and the end has not
  int exitCleanup_ = 0;
};

// The frame loop's progress shown on `terminal` by a display of its own.
class DisplayedProgress final : public FrameLoopProgress {
 public:
  DisplayedProgress(platform::Terminal& terminal, platform::Clock& clock) : display_(counters_, terminal, clock) {}
  void start(int64_t totalFrames) override;
  void frameAt(int64_t position) override;
  void writingStarted() override { display_.writingStarted(); }
  void finish() override { display_.finish(); }
  void abandon() override { display_.abandon(); }

 private:
  ProgressCounters counters_;
  ProgressDisplay display_;
};

}  // namespace quarn::video
