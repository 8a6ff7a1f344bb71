// Cursor control for blocks redrawn in place, checked on a pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/terminal.h"
#include "support/screen.h"

using namespace quarn;
using quarn::testing::PseudoTerminal;
using quarn::testing::Screen;

namespace {

// "\n" as the terminal receives it.
std::string onTheWire(std::string_view text) {
  std::string bytes;
  for (const char c : text) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return bytes;
}

std::string lines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

}  // namespace

TEST(Terminal, BlockRedrawnInPlaceLeavesWhatPrintingOnlyTheLastWould) {
  struct Case {
    const char* what;
    int rows, columns, linesBefore;
    std::vector<std::string> blocks;
    std::string between;  // written after each redraw but the last, as a frame loop's message is
  };
  const Case cases[] = {
      {"middle of the screen", 8, 40, 1, {"first 1\nsecond 1", "first 22\nsecond 22", "first 333\nsecond 333"}, ""},
      {"last line: the screen scrolls", 6, 40, 5, {"first 1\nsecond 1", "first 22\nsecond 22", "first 333\nsecond 333"}, ""},
      {"full screen before", 6, 40, 9, {"a\nb", "c\nd"}, ""},
      {"lines wrap", 6, 10, 5, {"0123456789AB\nxyz", "abcdefghijKL\nuvwxyz0123456789!"}, ""},
      {"lines one short of the width, as wide, one past", 7, 10, 6,
       {"012345678\n0123456789\n0123456789A\nx", "abcdefghi\nabcdefghij\nabcdefghijK\ny"}, ""},
      {"shorter blocks leave nothing behind", 6, 10, 5, {"0123456789ABCDEF\n0123456789ABCDEF", "short\nx"}, ""},
      {"text between redraws", 6, 40, 5, {"first 1\nsecond 1", "first 22\nsecond 22", "first 333\nsecond 333"},
       " \nne moje da se dekompresira"},
      {"text between redraws wraps and scrolls", 5, 10, 4, {"abc\ndef", "ghi\njkl"}, " \nne moje da se dekompresira"},
  };
  for (const Case& c : cases) {
    PseudoTerminal pty(c.rows, c.columns);
    const auto terminal = pty.terminal();
    ASSERT_TRUE(terminal->controlsCursor());
    terminal->write(lines(c.linesBefore));
    terminal->hideCursor();
    terminal->anchorBlock();
    for (size_t i = 0; i < c.blocks.size(); ++i) {
      terminal->redrawBlock(c.blocks[i]);
      if (i + 1 < c.blocks.size()) terminal->write(c.between);
    }
    Screen screen(c.rows, c.columns);
    screen.feed(pty.drain());

    // Lines are counted from the first that scrolled off, so a line keeps
    // its number when the screen scrolls.
    const auto cursorLine = [](const Screen& s) { return s.scrolled() + s.cursorRow(); };
    Screen printed(c.rows, c.columns);
    printed.feed(onTheWire(lines(c.linesBefore)));
    const int blockLine = cursorLine(printed);
    printed.feed(onTheWire(c.blocks.back()));
    EXPECT_EQ(printed.transcript(), screen.transcript()) << c.what;
    EXPECT_EQ(blockLine, cursorLine(screen)) << c.what;
    EXPECT_EQ(0, screen.cursorColumn()) << c.what;
    EXPECT_FALSE(screen.cursorVisible()) << c.what;
    EXPECT_TRUE(screen.unknownSequences().empty()) << c.what;

    // Given back: the cursor visible, on a new line under the block.
    terminal->restore();
    screen.feed(pty.drain());
    printed.feed("\r\n");
    EXPECT_EQ(printed.transcript(), screen.transcript()) << c.what;
    EXPECT_EQ(cursorLine(printed), cursorLine(screen)) << c.what;
    EXPECT_EQ(0, screen.cursorColumn()) << c.what;
    EXPECT_TRUE(screen.cursorVisible()) << c.what;
  }
}

TEST(Terminal, NoControlSequencesOnATerminalThatTakesNone) {
  for (const char* term : {"dumb", ""}) {  // "": no TERM at all
    PseudoTerminal pty(6, 40);
    EXPECT_EXIT(
        {
          pty.takeStandardOutput();
          setenv("TERM", term, 1);
          platform::Terminal& terminal = platform::standardTerminal();
          terminal.hideCursor();
          terminal.anchorBlock();
          terminal.redrawBlock("block");
          terminal.write("text\n");
          terminal.returnToBlock();
          terminal.restore();
          std::exit(terminal.controlsCursor() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "")
        << term;
    EXPECT_EQ("text\r\n", pty.drain()) << term;
  }
}
