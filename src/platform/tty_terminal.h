// tty_terminal.h: the Terminal that controls the cursor on a terminal
// descriptor, as standardTerminal() makes it for standard output.
#pragma once

#include <memory>

#include "platform/terminal.h"

namespace quarn::platform {

// Cursor control on `fd`, which must be a terminal. Only the one on
// standard output has its state given back at exit and on interruption.
std::unique_ptr<Terminal> makeTtyTerminal(int fd);

}  // namespace quarn::platform
