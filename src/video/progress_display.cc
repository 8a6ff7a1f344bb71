#include "video/progress_display.h"

#include <algorithm>

#include <system_error>

#include "platform/process.h"

namespace quarn::video {
namespace {

constexpr int64_t kSecond = 1000;  // ms

std::string rule() { return " " + std::string(76, '='); }

void printClosingLines(platform::Terminal& terminal, int64_t elapsedMs) {
  terminal.returnToBlock();
  terminal.write(rule() + "\n");
  terminal.write(" Vsichki kadri bqha obraboteni!" + std::string(48, ' '));
  terminal.showCursor();
  terminal.write(platform::formatText("\n Obrabotvaneto ~otne: %.4f sekundi.    \n", elapsedMs / 1000.0));
  terminal.write(rule());
  terminal.releaseBlock();
}

}  // namespace

TimeLeft timeLeft(int32_t totalFrames, int32_t framesDone, int32_t framesPerSecond) {
  if (framesPerSecond <= 0) return {};
  // Whole seconds, the remainder dropped; a stream longer than its header
  // said leaves a negative count, which is as unknown as none.
  const int64_t remaining = (int64_t{totalFrames} - framesDone) / framesPerSecond;
  if (remaining <= 0) return {};
  TimeLeft left;
  left.known = true;
  left.hours = static_cast<int32_t>(remaining / 3600);
  left.minutes = static_cast<int32_t>(remaining % 3600 / 60);
  left.seconds = static_cast<int32_t>(remaining % 60);
  return left;
}

std::string progressBlock(int32_t frameNumber, int32_t totalFrames, int32_t framesPerSecond, const TimeLeft& left) {
  if (!left.known) {
    return platform::formatText(
        " Obrabotka na kadur: %d ot obshto %d.\n Skorost: %d kadura v sekunda. Ostavashto vreme: ??:??:??     ",
        frameNumber, totalFrames, framesPerSecond);
  }
  return platform::formatText(
      " Obrabotka na kadur: %d ot obshto %d.\n Skorost: %d kadura v sekunda. Ostavashto vreme: %02d:%02d:%02d     ",
      frameNumber, totalFrames, framesPerSecond, left.hours, left.minutes, left.seconds);
}

int showProgress(ProgressCounters& counters, ProgressSignal& signal, platform::Terminal& terminal,
                 platform::Clock& clock) {
  std::unique_lock lock(signal.mutex);
  const auto ended = [&] { return signal.endedAt != ProgressSignal::kNotYet; };
  clock.waitUntil(signal.changed, lock, platform::Clock::kNoDeadline,
                  [&] { return signal.startedAt != ProgressSignal::kNotYet || ended(); });
  if (signal.startedAt == ProgressSignal::kNotYet || (ended() && !signal.closing)) return 0;

  lock.unlock();
  terminal.hideCursor();
  terminal.anchorBlock();
  lock.lock();
  // Without cursor control there are no blocks: only the loop's end matters.
  const bool redraws = terminal.controlsCursor();
  int32_t before = 0, speed = 0;
  TimeLeft left;
  for (int64_t next = signal.startedAt + kSecond, shown = 0;; next += kSecond, ++shown) {
    if (clock.waitUntil(signal.changed, lock, redraws ? next : platform::Clock::kNoDeadline, ended)) break;
    const int32_t frame = counters.currentFrame.load();
    const int32_t total = counters.totalFrames.load();
    if (shown > 0) {  // the first block has no last second to measure
      speed = frame - before;
      left = timeLeft(total, frame, speed);
    }
    before = frame;
    lock.unlock();
    terminal.redrawBlock(progressBlock(frame + 1, total, speed, left));
    lock.lock();
    // Fallen a whole second behind (a stalled terminal): keep the rhythm
    // from now rather than drawing the missed blocks in a burst.
    const int64_t now = clock.milliseconds();
    if (now >= next + kSecond) next = now;
  }
  if (!signal.closing) return 0;
  const int64_t elapsed = signal.endedAt - signal.startedAt;
  lock.unlock();
  printClosingLines(terminal, elapsed);
  return 0;
}

ProgressDisplay::ProgressDisplay(ProgressCounters& counters, platform::Terminal& terminal, platform::Clock& clock)
    : counters_(counters), terminal_(terminal), clock_(clock) {}

ProgressDisplay::~ProgressDisplay() { end(false); }

void ProgressDisplay::start() {
  if (running_) return;
  running_ = true;
  // exit() unwinds no stack: the thread would go on drawing over whatever
  // the process prints last, with the cursor hidden.
  exitCleanup_ = platform::registerCleanup([this] { abandon(); });
  try {
    thread_ = std::thread([this] { showProgress(counters_, signal_, terminal_, clock_); });
  } catch (const std::system_error&) {
    // No thread to be had: end() prints the closing lines itself.
  }
}

void ProgressDisplay::writingStarted() {
  {
    std::lock_guard lock(signal_.mutex);
    if (signal_.startedAt != ProgressSignal::kNotYet) return;
    signal_.startedAt = clock_.milliseconds();
  }
  signal_.changed.notify_all();
}

void ProgressDisplay::finish() { end(true); }

void ProgressDisplay::abandon() { end(false); }

void ProgressDisplay::end(bool closing) {
  if (!running_) return;
  running_ = false;
  bool shown = false;
  {
    std::lock_guard lock(signal_.mutex);
    signal_.endedAt = clock_.milliseconds();
    signal_.closing = closing;
    shown = signal_.startedAt != ProgressSignal::kNotYet;
  }
  signal_.changed.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  } else {
    showProgress(counters_, signal_, terminal_, clock_);
  }
  platform::unregisterCleanup(exitCleanup_);
  if (shown) terminal_.restore();
}

namespace {

// The shared counters are 32-bit; longer streams show their last value.
int32_t clampTo32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, 0, INT32_MAX));
}

}  // namespace

void DisplayedProgress::start(int64_t totalFrames) {
  counters_.totalFrames = clampTo32(totalFrames);
  display_.start();
}

void DisplayedProgress::frameAt(int64_t position) { counters_.currentFrame = clampTo32(position); }

}  // namespace quarn::video
