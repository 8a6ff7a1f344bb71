// Message boxes as text on the terminal the user typed the command in.
#include <cstdio>
#include <string>

#include "platform/dialogs.h"

namespace quarn::platform {
namespace {

class TerminalBoxes final : public MessageBoxes {
 public:
  BoxAnswer show(std::string_view caption, std::string_view text, BoxStyle style) override {
    std::string box = "\n [" + std::string(caption) + "]\n" + std::string(text) + "\n";
    if (style == BoxStyle::kQuestionYesNo) box += " [Да/Не]: ";
    std::fwrite(box.data(), 1, box.size(), stdout);
    std::fflush(stdout);
    if (style != BoxStyle::kQuestionYesNo) return BoxAnswer::kOk;
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) line.push_back(static_cast<char>(c));
    return isYesAnswer(line) ? BoxAnswer::kYes : BoxAnswer::kNo;
  }
};

}  // namespace

std::unique_ptr<MessageBoxes> makeTerminalBoxes() { return std::make_unique<TerminalBoxes>(); }

}  // namespace quarn::platform
