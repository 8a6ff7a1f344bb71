#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace quarn::platform {

void Console::print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = formatText(format, args);
  va_end(args);
  write(text);
}

std::string formatText(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatText(format, args);
  va_end(args);
  return text;
}

namespace {

class StandardConsole final : public Console {
 public:
  void write(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
};

}  // namespace

Console& standardConsole() {
  static StandardConsole console;
  return console;
}

bool standardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void clearScreen() {
  if (!standardOutputIsTerminal()) return;
  // Home the cursor, clear the screen and the scroll-back, as "clear" does.
  std::fputs("\033[H\033[2J\033[3J", stdout);
  std::fflush(stdout);
}

void discardPendingInput() {
  if (!standardInputIsTerminal()) return;
  tcflush(STDIN_FILENO, TCIFLUSH);
}

void pauseForReader(int milliseconds) {
  if (milliseconds <= 0 || !standardOutputIsTerminal()) return;
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace quarn::platform
