#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/process.h"
#include "platform/terminal.h"
#include "platform/tty_terminal.h"

namespace quarn::platform {
namespace {

constexpr std::string_view kHideCursor = "\033[?25l";
constexpr std::string_view kShowCursor = "\033[?25h";
// What the block and text written over it left, wrapped on a width the
// terminal may have changed since, goes before the new text.
constexpr std::string_view kEraseBelow = "\033[J";
constexpr int kDefaultColumns = 80;  // what a terminal that reports no size most likely has

std::string cursorMove(int rows, char direction) {
  return rows > 0 ? "\033[" + std::to_string(rows) + direction : std::string();  // 0 would still move one row
}

// Tracks where the cursor is relative to the block's first line, from the
// text written. Terminals wrap late: after a character in the last column the
// cursor stays there, and only the next character starts a new row.
class TtyTerminal final : public Terminal {
 public:
  explicit TtyTerminal(int fd) : fd_(fd), restoresAtExit_(fd == STDOUT_FILENO) {}

  bool controlsCursor() const override { return true; }

  void write(std::string_view text) override {
    std::lock_guard lock(mutex_);
    put(text);
    account(text);
    registerRestore();
  }

  void hideCursor() override { setCursorVisible(false); }
  void showCursor() override { setCursorVisible(true); }

  void anchorBlock() override {
    std::lock_guard lock(mutex_);
    // Text may have reached this line without passing through here; from
    // column 0 on, every move is counted.
    put("\r");
    anchored_ = true;
    row_ = bottom_ = column_ = 0;
    wroteSinceAnchor_ = false;
    registerRestore();
  }

  void returnToBlock() override {
    std::lock_guard lock(mutex_);
    put(toClearedBlock());
    registerRestore();
  }

  void redrawBlock(std::string_view text) override {
    std::lock_guard lock(mutex_);
    std::string bytes = toClearedBlock();
    bytes += text;
    account(text);
    bytes += toBlockStart();
    put(bytes);
    registerRestore();
  }

  void releaseBlock() override {
    std::lock_guard lock(mutex_);
    anchored_ = false;
    registerRestore();
  }

  void restore() override {
    std::lock_guard lock(mutex_);
    if (restoresAtExit_) {
      // Through the process-wide record: if an exit handler gave the terminal
      // back already, it holds nothing and nothing is written twice.
      registerRestore();
      restoreTerminalNow();
    } else {
      put(restoreBytes());
    }
    hidden_ = anchored_ = wroteSinceAnchor_ = false;
    column_ = 0;
    registered_.clear();
  }

 private:
  void setCursorVisible(bool visible) {
    std::lock_guard lock(mutex_);
    put(visible ? kShowCursor : kHideCursor);
    hidden_ = !visible;
    registerRestore();
  }

  int columns() const {
    winsize size{};
    if (ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
  }

  void account(std::string_view text) {
    const int width = columns();
    for (const char ch : text) {
      const auto c = static_cast<unsigned char>(ch);
      if (c == '\n') {  // the terminal's output processing makes it "\r\n"
        ++row_;
        column_ = 0;
      } else if (c == '\r') {
        column_ = 0;
      } else if (c == '\t') {
        column_ = std::min((column_ / 8 + 1) * 8, width - 1);
      } else if (c < 0x20 || c == 0x7F || (c & 0xC0) == 0x80) {
        continue;  // no width: other controls, and UTF-8 continuation bytes
      } else {
        if (column_ >= width) {
          ++row_;
          column_ = 0;
        }
        ++column_;
      }
      wroteSinceAnchor_ = true;
      bottom_ = std::max(bottom_, row_);
    }
  }

  std::string toBlockStart() {
    std::string bytes = cursorMove(row_, 'A');
    bytes += '\r';
    row_ = column_ = 0;
    return bytes;
  }

  std::string toClearedBlock() {
    std::string bytes = toBlockStart();
    bytes += kEraseBelow;
    bottom_ = 0;
    wroteSinceAnchor_ = false;
    return bytes;
  }

  std::string restoreBytes() const {
    std::string bytes;
    if (hidden_) bytes += kShowCursor;
    if (anchored_ && wroteSinceAnchor_) {
      bytes += cursorMove(bottom_ - row_, 'B');  // the rows below exist: text was written there
      bytes += "\r\n";
    }
    return bytes;
  }

  void registerRestore() {
    if (!restoresAtExit_) return;
    std::string bytes = restoreBytes();
    if (bytes == registered_) return;
    registered_ = bytes;
    setTerminalRestore(std::move(bytes));
  }

  void put(std::string_view bytes) {
    if (fd_ == STDOUT_FILENO) std::fflush(stdout);  // console text written before goes first
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  const int fd_;
  const bool restoresAtExit_;
  std::mutex mutex_;
  bool hidden_ = false;
  bool anchored_ = false;
  bool wroteSinceAnchor_ = false;
  int row_ = 0;     // rows below the block's first line
  int bottom_ = 0;  // the lowest row written since the anchor
  int column_ = 0;  // characters on the cursor's row; the width itself: a wrap is pending
  std::string registered_;
};

bool standardOutputTakesCursorControl() {
  const char* term = std::getenv("TERM");
  return standardOutputIsTerminal() && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

}  // namespace

std::unique_ptr<Terminal> makeTtyTerminal(int fd) { return std::make_unique<TtyTerminal>(fd); }

Terminal& standardTerminal() {
  // Never destroyed: a display thread may still use it while the process exits.
  static Terminal* terminal = standardOutputTakesCursorControl() ? makeTtyTerminal(STDOUT_FILENO).release()
                                                                 : new PlainTerminal(standardConsole());
  return *terminal;
}

}  // namespace quarn::platform
