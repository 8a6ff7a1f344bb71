// Message boxes where nobody can answer: the text goes to standard error and
// every question is answered No.
#include <cstdio>
#include <string>

#include "platform/dialogs.h"

namespace quarn::platform {
namespace {

class StandardErrorBoxes final : public MessageBoxes {
 public:
  BoxAnswer show(std::string_view caption, std::string_view text, BoxStyle style) override {
    std::string box;
    box.append("[").append(caption).append("]\n").append(text).append("\n");
    std::fwrite(box.data(), 1, box.size(), stderr);
    std::fflush(stderr);
    return asksYesOrNo(style) ? BoxAnswer::kNo : BoxAnswer::kOk;
  }

  // Nobody can pick: the choice is cancelled.
  std::optional<size_t> choose(std::string_view caption, std::string_view text,
                               const std::vector<ChoiceItem>&) override {
    show(caption, text, BoxStyle::kWarningOk);
    return std::nullopt;
  }
};

}  // namespace

std::unique_ptr<MessageBoxes> makeStandardErrorBoxes() { return std::make_unique<StandardErrorBoxes>(); }

}  // namespace quarn::platform
