// console.h: where the program's console text goes, and the few things a
// console window is asked to do (clear, forget typed-ahead input, stay open
// long enough to be read).
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace quarn::platform {

// Text for the user. Every message is written in one call, in order; nothing
// is added (no line ends, no translation).
class Console {
 public:
  virtual ~Console() = default;
  virtual void write(std::string_view text) = 0;

  // printf-style convenience over write().
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// Standard output through the C runtime, flushed after every message so that
// the text of a step is visible while the next step works.
Console& standardConsole();

// Collects everything written; for tests.
class RecordingConsole final : public Console {
 public:
  void write(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

std::string formatText(const char* format, va_list args);
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

bool standardInputIsTerminal();
bool standardOutputIsTerminal();

// Clears the terminal window; does nothing when standard output is not a
// terminal, so redirected output carries no control sequences.
void clearScreen();

// Drops whatever the user typed ahead; only when standard input is a terminal.
void discardPendingInput();

// Waits so that a console window opened for this run stays readable. Only
// when standard output is a terminal: scripts and tests never wait.
void pauseForReader(int milliseconds);

}  // namespace quarn::platform
