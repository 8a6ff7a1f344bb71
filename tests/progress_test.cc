// The progress display: its arithmetic, its texts and their order on a clock
// the test moves, and what a real terminal is left with.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/interruption.h"
#include "platform/process.h"
#include "support/screen.h"
#include "video/progress_display.h"

using namespace quarn;
using quarn::testing::PseudoTerminal;
using quarn::testing::Screen;
using video::ProgressCounters;
using video::ProgressDisplay;
using video::ProgressSignal;

namespace {

// Time moves only as the test says: through events scheduled ahead (each
// runs inside the wait that reaches it, as if the frame loop had done it
// meanwhile), or through set() from another thread. With no event left, a
// wait stands still until set() reaches its deadline or the waiter is ended.
class FakeClock final : public platform::Clock {
 public:
  static constexpr int64_t kNotWaiting = -1;

  explicit FakeClock(int64_t now) : now_(now) {}
  void at(int64_t when, std::function<void()> action) { events_.push_back({when, std::move(action)}); }
  int64_t milliseconds() override { return now_; }

  void set(int64_t now) {
    std::mutex* mutex = waiterMutex_;
    if (mutex == nullptr) {
      now_ = now;
      return;
    }
    {
      std::lock_guard lock(*mutex);
      now_ = now;
    }
    waiterWakes_.load()->notify_all();
  }

  bool waitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, int64_t deadline,
                 const std::function<bool()>& done) override {
    waiterMutex_ = lock.mutex();
    waiterWakes_ = &changed;
    while (!done()) {
      if (next_ < events_.size() && events_[next_].when <= deadline) {
        now_ = std::max<int64_t>(now_, events_[next_].when);
        events_[next_++].action();
      } else if (deadline <= now_) {
        return false;
      } else if (next_ < events_.size()) {
        now_ = deadline;
        return false;
      } else {
        stuckAt_ = deadline;
        changed.wait(lock);
        stuckAt_ = kNotWaiting;
      }
    }
    return true;
  }

  // Until a wait with this deadline stands still.
  void awaitStuckAt(int64_t deadline) const {
    for (int i = 0; i < 10000 && stuckAt_ != deadline; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(deadline, stuckAt_.load());
  }

 private:
  struct Event {
    int64_t when;
    std::function<void()> action;
  };
  std::atomic<int64_t> now_;
  std::vector<Event> events_;
  size_t next_ = 0;
  std::atomic<int64_t> stuckAt_{kNotWaiting};
  std::atomic<std::mutex*> waiterMutex_{nullptr};
  std::atomic<std::condition_variable*> waiterWakes_{nullptr};
};

// Writes the cursor controls as marks among the text.
class RecordingTerminal final : public platform::Terminal {
 public:
  void write(std::string_view text) override { log_.append(text); }
  bool controlsCursor() const override { return true; }
  void hideCursor() override { log_ += "[hide]"; }
  void showCursor() override { log_ += "[show]"; }
  void anchorBlock() override { log_ += "[anchor]"; }
  void returnToBlock() override { log_ += "[return]"; }
  void redrawBlock(std::string_view text) override { (log_ += "[block]").append(text); }
  void releaseBlock() override { log_ += "[release]"; }
  void restore() override { log_ += "[restore]"; }
  const std::string& log() const { return log_; }

 private:
  std::string log_;
};

const std::string kRule = " " + std::string(76, '=');

std::string closingLines(const char* seconds, const char* cursorShown = "") {
  return kRule + "\n Vsichki kadri bqha obraboteni!" + std::string(48, ' ') + cursorShown +
         "\n Obrabotvaneto ~otne: " + seconds + " sekundi.    \n" + kRule;
}

std::string block(int frame, int total, int speed, const char* left) {
  return " Obrabotka na kadur: " + std::to_string(frame) + " ot obshto " + std::to_string(total) +
         ".\n Skorost: " + std::to_string(speed) + " kadura v sekunda. Ostavashto vreme: " + left + "     ";
}

}  // namespace

TEST(ProgressDisplay, TimeLeftAtTheLastSecondsSpeed) {
  struct Case {
    int32_t total, done, speed;
    const char* shown;
  };
  const Case cases[] = {
      {120, 30, 30, "00:00:03"},                      // 90 left at 30 a second
      {7300, 100, 1, "02:00:00"},                     // 7200 left at 1
      {100, 90, 30, "??:??:??"},                      // fewer left than a second's worth
      {100, 99, 1, "00:00:01"},                       //
      {100, 50, 0, "??:??:??"},                       // nothing moved
      {400100, 100, 1, "111:06:40"},                  // past 99 hours
      {2147483647, 0, 1, "596523:14:07"},             // the largest count
      {100, 130, 5, "??:??:??"},                      // the stream was longer than its header said
      {3 * 3600 + 59 * 60 + 59, 0, 1, "03:59:59"},  //
  };
  for (const Case& c : cases) {
    EXPECT_EQ(block(c.done + 1, c.total, c.speed, c.shown),
              video::progressBlock(c.done + 1, c.total, c.speed, video::timeLeft(c.total, c.done, c.speed)))
        << c.total << " " << c.done << " " << c.speed;
  }
}

TEST(ProgressDisplay, TextsInTheirOrderOnceASecond) {
  enum What { kStart, kFrame, kEnd, kFail };
  struct Step {
    int64_t at;
    What what;
    int32_t frame = 0;
  };
  struct Case {
    const char* what;
    bool terminal;
    std::vector<Step> steps;
    std::string shown;
  };
  const std::vector<Step> threeSeconds = {{10000, kStart}, {10500, kFrame, 14}, {11900, kFrame, 44},
                                          {12990, kFrame, 99}, {13200, kEnd}};
  const Case cases[] = {
      {"writing never starts", true, {{500, kFrame, 3}, {800, kEnd}}, ""},
      {"done within the first second", true, {{10000, kStart}, {10100, kFrame, 3}, {10437, kEnd}},
       "[hide][anchor][return]" + closingLines("0.4370", "[show]") + "[release]"},
      {"a block each second", true, threeSeconds,
       "[hide][anchor][block]" + block(15, 100, 0, "??:??:??") + "[block]" + block(45, 100, 30, "00:00:01") +
           "[block]" + block(100, 100, 55, "??:??:??") + "[return]" + closingLines("3.2000", "[show]") +
           "[release]"},
      {"the end on a block's second draws no block", true, {{10000, kStart}, {11000, kEnd}},
       "[hide][anchor][return]" + closingLines("1.0000", "[show]") + "[release]"},
      {"the loop fails", true, {{10000, kStart}, {10500, kFrame, 14}, {11700, kFail}},
       "[hide][anchor][block]" + block(15, 100, 0, "??:??:??")},
      {"not a terminal", false, threeSeconds, closingLines("3.2000")},
  };
  for (const Case& c : cases) {
    ProgressCounters counters;
    counters.totalFrames = 100;
    ProgressSignal signal;
    FakeClock clock(0);
    for (const Step& step : c.steps) {
      clock.at(step.at, [&, step] {
        switch (step.what) {
          case kStart:
            signal.startedAt = step.at;
            break;
          case kFrame:
            counters.currentFrame = step.frame;
            break;
          case kEnd:
          case kFail:
            signal.endedAt = step.at;
            signal.closing = step.what == kEnd;
            break;
        }
      });
    }
    RecordingTerminal recording;
    platform::RecordingConsole console;
    platform::PlainTerminal plain(console);
    EXPECT_EQ(0, video::showProgress(counters, signal, c.terminal ? static_cast<platform::Terminal&>(recording) : plain,
                                     clock));
    EXPECT_EQ(c.shown, c.terminal ? recording.log() : console.text()) << c.what;
  }
}

TEST(ProgressDisplay, TheLoopNeverWaitsForTheDisplaysSecond) {
  // Time stands still after 11000: a display that waited for its next
  // second would keep finish() from returning.
  ProgressCounters counters;
  counters.totalFrames = 250;
  RecordingTerminal terminal;
  FakeClock clock(9000);
  ProgressDisplay display(counters, terminal, clock);
  display.start();
  clock.set(10000);
  display.writingStarted();
  clock.awaitStuckAt(11000);
  counters.currentFrame = 24;
  clock.set(11000);
  clock.awaitStuckAt(12000);
  clock.set(11750);  // short of the next second: any block now would be one too many
  display.finish();
  EXPECT_EQ("[hide][anchor][block]" + block(25, 250, 0, "??:??:??") + "[return]" + closingLines("1.7500", "[show]") +
                "[release][restore]",
            terminal.log());
}

TEST(ProgressDisplay, PrintsNothingWhenWritingNeverStarts) {
  ProgressCounters counters;
  RecordingTerminal terminal;
  FakeClock clock(0);
  ProgressDisplay display(counters, terminal, clock);
  display.start();
  display.finish();
  EXPECT_EQ("", terminal.log());
}

TEST(ProgressDisplay, LeftWithoutFinishingClaimsNothing) {
  ProgressCounters counters;
  RecordingTerminal terminal;
  FakeClock clock(0);
  {
    ProgressDisplay display(counters, terminal, clock);
    display.start();
    display.writingStarted();
  }  // a failure left the loop
  EXPECT_EQ(std::string::npos, terminal.log().find("Vsichki"));
  EXPECT_TRUE(terminal.log().ends_with("[restore]")) << terminal.log();
}

TEST(ProgressDisplay, OnARealTerminalTheCursorComesBackHoweverTheRunEnds) {
  enum Ending { kFinished, kExit, kSignal };
  for (const Ending ending : {kFinished, kExit, kSignal}) {
    PseudoTerminal pty(6, 100);
    const auto run = [&] {
      platform::installInterruptHandling();
      pty.takeStandardOutput();
      platform::Terminal& terminal = platform::standardTerminal();
      terminal.write("before\n\n\n\n\n");  // the block starts on the last line
      ProgressCounters counters;
      counters.totalFrames = 100;
      FakeClock clock(0);
      auto* display = new ProgressDisplay(counters, terminal, clock);  // exit() unwinds nothing
      display->start();
      display->writingStarted();
      clock.awaitStuckAt(1000);
      counters.currentFrame = 9;
      clock.set(1000);
      clock.awaitStuckAt(2000);
      if (ending == kExit) platform::endProcess(2);
      if (ending == kSignal) {
        kill(getpid(), SIGTERM);
        while (true) pause();
      }
      clock.set(2500);
      display->finish();
      std::exit(0);
    };
    if (ending == kSignal) {
      EXPECT_EXIT(run(), ::testing::KilledBySignal(SIGTERM), "");
    } else {
      EXPECT_EXIT(run(), ::testing::ExitedWithCode(ending == kExit ? 2 : 0), "");
    }
    Screen screen(6, 100);
    screen.feed(pty.drain());
    std::vector<std::string> shown = {"before", "", "", "", ""};
    if (ending == kFinished) {
      shown.insert(shown.end(), {kRule, " Vsichki kadri bqha obraboteni!", " Obrabotvaneto ~otne: 2.5000 sekundi.", kRule});
    } else {
      shown.insert(shown.end(), {" Obrabotka na kadur: 10 ot obshto 100.",
                                 " Skorost: 0 kadura v sekunda. Ostavashto vreme: ??:??:??"});
    }
    EXPECT_EQ(shown, screen.transcript()) << ending;
    EXPECT_TRUE(screen.cursorVisible()) << ending;
    EXPECT_EQ(ending == kFinished ? 77 : 0, screen.cursorColumn()) << ending;
    EXPECT_TRUE(screen.unknownSequences().empty()) << ending;
  }
}

TEST(ProgressDisplay, OutputThatIsNotATerminalGetsTheClosingLinesOnly) {
  int pipeEnds[2];
  ASSERT_EQ(0, pipe(pipeEnds));
  EXPECT_EXIT(
      {
        dup2(pipeEnds[1], STDOUT_FILENO);
        setenv("TERM", "xterm", 1);
        ProgressCounters counters;
        counters.totalFrames = 100;
        FakeClock clock(0);
        ProgressDisplay display(counters, platform::standardTerminal(), clock);
        display.start();
        display.writingStarted();
        clock.set(7000);
        display.finish();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  close(pipeEnds[1]);
  std::string out;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  close(pipeEnds[0]);
  EXPECT_EQ(closingLines("7.0000"), out);
}
