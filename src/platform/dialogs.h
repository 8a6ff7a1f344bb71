// dialogs.h: the program's message boxes. Texts and captions are UTF-8.
// Which backend shows them is decided once, at first use, from what the
// process has: a terminal on standard input, else a graphical display with
// zenity, else only standard error.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::platform {

enum class BoxStyle {
  kWarningOk,      // OK button, warning icon
  kErrorOk,        // OK button, error icon
  kQuestionYesNo,  // Yes and No buttons, question icon
  kWarningYesNo,   // Yes and No buttons, warning icon
};

inline bool asksYesOrNo(BoxStyle style) {
  return style == BoxStyle::kQuestionYesNo || style == BoxStyle::kWarningYesNo;
}

enum class BoxAnswer { kOk, kYes, kNo };

// One line of a list to choose from: what it is, and the short code that
// also selects it.
struct ChoiceItem {
  std::string description;
  std::string code;
};

// The item `answer` picks: its number (1-based) or its code (exact, then in
// any letter case). nullopt for anything else.
std::optional<size_t> pickChoice(std::string_view answer, const std::vector<ChoiceItem>& items);

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Blocks until answered. Only kYes means yes; every box that cannot be
  // answered counts as kNo (Yes/No) or kOk (OK boxes).
  virtual BoxAnswer show(std::string_view caption, std::string_view text, BoxStyle style) = 0;

  // Lets the user pick one of `items`; nullopt when the choice is cancelled
  // (an empty answer, a closed dialog) or cannot be asked, as by default.
  virtual std::optional<size_t> choose(std::string_view caption, std::string_view text,
                                       const std::vector<ChoiceItem>& items) {
    (void)caption, (void)text, (void)items;
    return std::nullopt;
  }
};

enum class BoxBackend { kTerminal, kZenity, kStandardError };

// The rule for picking a backend, apart from the process state it reads.
BoxBackend chooseBoxBackend(bool inputIsTerminal, bool haveDisplay, bool haveZenity);

// "da", "d", "y", "yes" or "Да" in any letter case, blanks around ignored.
bool isYesAnswer(std::string_view line);

// The backend this process uses, chosen on first call.
MessageBoxes& systemMessageBoxes();

std::unique_ptr<MessageBoxes> makeTerminalBoxes();
std::unique_ptr<MessageBoxes> makeZenityBoxes(std::string zenityPath);
std::unique_ptr<MessageBoxes> makeStandardErrorBoxes();

// Full path of an executable named `name` on PATH, or "" when there is none.
std::string findOnPath(std::string_view name);

}  // namespace quarn::platform
