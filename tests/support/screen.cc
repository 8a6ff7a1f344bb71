#include "support/screen.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "platform/tty_terminal.h"

namespace quarn::testing {

Screen::Screen(int rows, int columns) : rows_(rows), columns_(columns), cells_(rows, std::string(columns, ' ')) {}

void Screen::lineFeed() {
  wrapPending_ = false;
  if (row_ + 1 < rows_) {
    ++row_;
    return;
  }
  scrolledOff_.push_back(cells_.front());
  cells_.erase(cells_.begin());
  cells_.emplace_back(columns_, ' ');
}

void Screen::control(const std::string& parameters, char final) {
  const int n = std::max(1, std::atoi(parameters.c_str()));
  wrapPending_ = false;
  if (parameters == "?25" && (final == 'l' || final == 'h')) {
    cursorVisible_ = final == 'h';
  } else if (final == 'A' && parameters.find_first_not_of("0123456789") == std::string::npos) {
    row_ = std::max(0, row_ - n);  // stops at the top, never scrolls
  } else if (final == 'B' && parameters.find_first_not_of("0123456789") == std::string::npos) {
    row_ = std::min(rows_ - 1, row_ + n);
  } else if (final == 'J' && parameters.empty()) {
    cells_[row_].replace(column_, columns_ - column_, columns_ - column_, ' ');
    for (int r = row_ + 1; r < rows_; ++r) cells_[r].assign(columns_, ' ');
  } else {
    unknown_.push_back(parameters + final);
  }
}

void Screen::feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (inSequence_) {
      if (sequence_.empty() && c != '[') {
        unknown_.push_back(std::string(1, c));
        inSequence_ = false;
      } else if (c >= 0x40 && c <= 0x7E && !sequence_.empty()) {
        control(sequence_.substr(1), c);
        inSequence_ = false;
      } else {
        sequence_ += c;
      }
      continue;
    }
    if (c == '\033') {
      inSequence_ = true;
      sequence_.clear();
    } else if (c == '\r') {
      column_ = 0;
      wrapPending_ = false;
    } else if (c == '\n') {
      lineFeed();
    } else {
      if (wrapPending_) {
        column_ = 0;
        lineFeed();
      }
      cells_[row_][column_] = c;
      if (column_ + 1 < columns_) {
        ++column_;
      } else {
        wrapPending_ = true;
      }
    }
  }
}

std::vector<std::string> Screen::transcript() const {
  std::vector<std::string> lines = scrolledOff_;
  lines.insert(lines.end(), cells_.begin(), cells_.end());
  for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

PseudoTerminal::PseudoTerminal(int rows, int columns) {
  winsize size{};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(columns);
  if (openpty(&terminal_, &program_, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty failed");
  fcntl(terminal_, F_SETFL, fcntl(terminal_, F_GETFL) | O_NONBLOCK);
  fcntl(terminal_, F_SETFD, FD_CLOEXEC);
  fcntl(program_, F_SETFD, FD_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal() {
  close(program_);
  close(terminal_);
}

void PseudoTerminal::takeStandardOutput() const {
  dup2(program_, STDOUT_FILENO);
  setenv("TERM", "xterm", 1);
}

std::unique_ptr<platform::Terminal> PseudoTerminal::terminal() const { return platform::makeTtyTerminal(program_); }

std::string PseudoTerminal::drain() {
  // The terminal side receives output a moment after the program side wrote
  // it; a mark written last shows when everything before it has arrived.
  constexpr std::string_view kMark = "<drained>";
  if (write(program_, kMark.data(), kMark.size()) != static_cast<ssize_t>(kMark.size())) return {};
  std::string received;
  while (received.size() < kMark.size() || received.compare(received.size() - kMark.size(), kMark.size(), kMark) != 0) {
    pollfd ready{terminal_, POLLIN, 0};
    if (poll(&ready, 1, 10000) <= 0) throw std::runtime_error("pseudo-terminal: output did not arrive");
    char buffer[4096];
    const ssize_t n = read(terminal_, buffer, sizeof buffer);
    if (n > 0) received.append(buffer, static_cast<size_t>(n));
  }
  received.resize(received.size() - kMark.size());
  return received;
}

}  // namespace quarn::testing
