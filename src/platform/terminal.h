// terminal.h: console text with the few cursor controls a display needs to
// redraw a block of lines in place: hide the cursor, come back to the
// block's first line, show the cursor again.
#pragma once

#include <string_view>

#include "platform/console.h"

namespace quarn::platform {

// Every operation is one step: text written from another thread never lands
// inside one. Where the block is comes from counting what went out through
// this object since the block was anchored (line ends, and lines wrapping on
// the terminal's width), so text meant to appear while a block is up must
// go through it too; the cursor is only ever moved relative to where it is,
// which stays right when the screen scrolls under the block.
class Terminal : public Console {
 public:
  // False when the output is not a terminal: then none of the calls below
  // writes anything, and write() passes text through unchanged.
  virtual bool controlsCursor() const = 0;

  // Hidden until showCursor() or restore(), or until the process ends by
  // any way (return, exit(), interruption).
  virtual void hideCursor() = 0;
  virtual void showCursor() = 0;

  // The cursor goes to column 0 of its line, the block's first line.
  virtual void anchorBlock() = 0;

  // To column 0 of the block's first line; what the block and any text
  // after it left on the screen is cleared.
  virtual void returnToBlock() = 0;

  // returnToBlock(), `text`, and back to the block's start again: so text
  // written between two redraws lands on the block and the next redraw
  // covers it.
  virtual void redrawBlock(std::string_view text) = 0;

  // The block's last text is written: the cursor stays where that text
  // left it, and nothing is redrawn any more.
  virtual void releaseBlock() = 0;

  // Gives the terminal back when a block ends without its last text: the
  // cursor visible, at the start of a line below everything written since
  // the anchor; the block is forgotten.
  virtual void restore() = 0;
};

// Text only: for output that is not a terminal, and for tests that record
// what a display prints. Forwards to `out`, which must outlive it.
class PlainTerminal final : public Terminal {
 public:
  explicit PlainTerminal(Console& out) : out_(out) {}
  void write(std::string_view text) override { out_.write(text); }
  bool controlsCursor() const override { return false; }
  void hideCursor() override {}
  void showCursor() override {}
  void anchorBlock() override {}
  void returnToBlock() override {}
  void redrawBlock(std::string_view) override {}
  void releaseBlock() override {}
  void restore() override {}

 private:
  Console& out_;
};

// Standard output: with cursor control when it is a terminal that has it
// (TERM set and not "dumb"), and then the cursor's state is also given back
// on exit() and on interruption; plain text through standardConsole()
// otherwise. Lives for the whole process.
Terminal& standardTerminal();

}  // namespace quarn::platform
