// command_line.h: turns the process arguments into the run settings, with
// the start-of-run dialogue: the usage box, the drag-and-drop questions and
// the output-format question for inputs with a JPEG or BMP result. Sets the
// process priority.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/run_options.h"
#include "platform/console.h"
#include "platform/dialogs.h"
#include "platform/process.h"

namespace quarn::app {

// What the parser needs of the world; tests pass fakes.
struct ParserServices {
  platform::MessageBoxes& boxes;
  platform::Console& console;                               // help screen, codec list
  std::function<void(platform::PriorityClass)> setPriority;
  std::function<int64_t()> secondsSince1970;
  std::function<void(platform::Console&)> listVideoCodecs;  // "?k"
};

enum class ParseResult {
  kGoOn,        // options filled
  kCannotOpen,  // the input cannot be opened for reading (also: path too long)
  kFinished,    // usage box, help screen or codec list shown: end with 0
};

ParseResult parseCommandLine(int argc, const char* const* argv, RunOptions& options, ParserServices& services);

// Pieces of the parser with rules of their own.
int32_t atoiLike(const char* text);                       // C atoi, as the C runtime does it
uint32_t fourCCFromKodekId(std::string_view kodekId);     // "0000" gives "DIB "; short ids padded with blanks
platform::PriorityClass priorityFromLetter(std::string_view prioritet);
InputKind inputKindOf(std::string_view path);             // from the last four characters, any case
const char* extensionFor(InputKind kind, bool jpegOutput);  // nullptr for Unsupported and Media

}  // namespace quarn::app
