// Message boxes as zenity dialogs on the graphical display.
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/dialogs.h"

namespace quarn::platform {
namespace {

class ZenityBoxes final : public MessageBoxes {
 public:
  explicit ZenityBoxes(std::string zenity) : zenity_(std::move(zenity)) {}

  BoxAnswer show(std::string_view caption, std::string_view text, BoxStyle style) override {
    std::vector<std::string> args = {zenity_};
    switch (style) {
      case BoxStyle::kWarningOk:
        args.emplace_back("--warning");
        break;
      case BoxStyle::kErrorOk:
        args.emplace_back("--error");
        break;
      case BoxStyle::kQuestionYesNo:
      case BoxStyle::kWarningYesNo:
        args.emplace_back("--question");
        args.emplace_back("--ok-label=Да");
        args.emplace_back("--cancel-label=Не");
        if (style == BoxStyle::kWarningYesNo) args.emplace_back("--icon-name=dialog-warning");
        break;
    }
    args.push_back("--title=" + std::string(caption));
    args.push_back("--text=" + std::string(text));
    args.emplace_back("--no-markup");
    const bool accepted = run(args);
    if (!asksYesOrNo(style)) return BoxAnswer::kOk;
    return accepted ? BoxAnswer::kYes : BoxAnswer::kNo;
  }

 private:
  std::optional<size_t> choose(std::string_view caption, std::string_view text,
                               const std::vector<ChoiceItem>& items) override {
    std::vector<std::string> args = {zenity_, "--list", "--title=" + std::string(caption),
                                     "--text=" + std::string(text), "--column=Код", "--column=Кодек",
                                     "--print-column=1", "--hide-header", "--width=640", "--height=480"};
    for (const ChoiceItem& item : items) {
      args.push_back(item.code);
      args.push_back(item.description);
    }
    const ChildResult result = runChild(args, ChildOutput::kCaptureStandardOutput, ChildLimits::forDialog());
    if (!result.started || result.exitStatus != 0) return std::nullopt;
    std::string code = result.output;
    while (!code.empty() && (code.back() == '\n' || code.back() == '\r')) code.pop_back();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].code == code) return i;
    }
    return std::nullopt;
  }

  // True when zenity ran and was closed with its OK / Yes button. GTK's
  // chatter is not the program's text.
  static bool run(const std::vector<std::string>& args) {
    const ChildResult result = runChild(args, ChildOutput::kDiscard, ChildLimits::forDialog());
    return result.started && result.exitStatus == 0;
  }

  std::string zenity_;
};

}  // namespace

std::unique_ptr<MessageBoxes> makeZenityBoxes(std::string zenityPath) {
  return std::make_unique<ZenityBoxes>(std::move(zenityPath));
}

}  // namespace quarn::platform
