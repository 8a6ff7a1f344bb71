// screen.h: enough of a VT100-style terminal to see what a program's output
// leaves on the screen: printing with late wrapping, carriage return, line
// feed with scrolling, relative cursor moves, erasing below, cursor
// visibility. Sequences it does not know are collected, so a test can insist
// there were none. And a pseudo-terminal to run output through one.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal.h"

namespace quarn::testing {

class Screen {
 public:
  Screen(int rows, int columns);

  // Bytes as the terminal receives them (after the line discipline turned
  // "\n" into "\r\n").
  void feed(std::string_view bytes);

  // The lines that scrolled off the top, then the screen's rows; trailing
  // blanks and trailing empty rows dropped.
  std::vector<std::string> transcript() const;

  int scrolled() const { return static_cast<int>(scrolledOff_.size()); }  // lines gone off the top
  int cursorRow() const { return row_; }
  int cursorColumn() const { return column_; }
  bool cursorVisible() const { return cursorVisible_; }
  const std::vector<std::string>& unknownSequences() const { return unknown_; }

 private:
  void lineFeed();
  void control(const std::string& parameters, char final);

  int rows_, columns_;
  std::vector<std::string> cells_, scrolledOff_;
  int row_ = 0, column_ = 0;
  bool wrapPending_ = false, cursorVisible_ = true;
  std::string sequence_;  // an escape sequence being read
  bool inSequence_ = false;
  std::vector<std::string> unknown_;
};

// A pseudo-terminal of the given size with the usual line discipline; the
// program side is `programSide()`, what reached the terminal comes out of
// drain(). The side stays open in this process (so a child that wrote to it
// may have ended). Output of more than a few kilobytes must be drained as
// it goes.
class PseudoTerminal {
 public:
  PseudoTerminal(int rows, int columns);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int programSide() const { return program_; }
  // Cursor control on the program side, as the program has it on a
  // terminal (without the giving back at exit: that is standard output's).
  std::unique_ptr<platform::Terminal> terminal() const;
  // In a child that is about to draw: standard output goes to the program
  // side, and TERM names a terminal that takes cursor control.
  void takeStandardOutput() const;
  std::string drain();  // everything written to the program side so far

 private:
  int terminal_ = -1, program_ = -1;
};

}  // namespace quarn::testing
