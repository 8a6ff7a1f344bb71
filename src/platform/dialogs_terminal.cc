// Message boxes as text on the terminal the user typed the command in.
#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/dialogs.h"

namespace quarn::platform {
namespace {

class TerminalBoxes final : public MessageBoxes {
 public:
  BoxAnswer show(std::string_view caption, std::string_view text, BoxStyle style) override {
    std::string box = "\n [" + std::string(caption) + "]\n" + std::string(text) + "\n";
    if (asksYesOrNo(style)) box += " [Да/Не]: ";
    std::fwrite(box.data(), 1, box.size(), stdout);
    std::fflush(stdout);
    if (!asksYesOrNo(style)) return BoxAnswer::kOk;
    std::string line;
    readLine(line);
    return isYesAnswer(line) ? BoxAnswer::kYes : BoxAnswer::kNo;
  }

  std::optional<size_t> choose(std::string_view caption, std::string_view text,
                               const std::vector<ChoiceItem>& items) override {
    std::string list = "\n [" + std::string(caption) + "]\n" + std::string(text) + "\n";
    for (size_t i = 0; i < items.size(); ++i) {
      list += formatText(" %3zu. %s - %s\n", i + 1, items[i].code.c_str(), items[i].description.c_str());
    }
    write(list);
    while (true) {
      write(" Номер или код (празно = отказ): ");
      std::string line;
      const bool read = readLine(line);
      if (line.find_first_not_of(" \t\r") == std::string::npos) return std::nullopt;
      if (const std::optional<size_t> picked = pickChoice(line, items)) return picked;
      if (!read) return std::nullopt;
    }
  }

 private:
  static void write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

  // False at the end of the input.
  static bool readLine(std::string& line) {
    int c = std::getchar();
    for (; c != EOF && c != '\n'; c = std::getchar()) line.push_back(static_cast<char>(c));
    return c != EOF;
  }
};

}  // namespace

std::unique_ptr<MessageBoxes> makeTerminalBoxes() { return std::make_unique<TerminalBoxes>(); }

}  // namespace quarn::platform
