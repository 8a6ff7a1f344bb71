// Message boxes as zenity dialogs on the graphical display.
#include <fcntl.h>
#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/dialogs.h"

extern char** environ;

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
        args.emplace_back("--question");
        args.emplace_back("--ok-label=Да");
        args.emplace_back("--cancel-label=Не");
        break;
    }
    args.push_back("--title=" + std::string(caption));
    args.push_back("--text=" + std::string(text));
    args.emplace_back("--no-markup");
    const bool accepted = run(args);
    if (style != BoxStyle::kQuestionYesNo) return BoxAnswer::kOk;
    return accepted ? BoxAnswer::kYes : BoxAnswer::kNo;
  }

 private:
  // True when zenity ran and was closed with its OK / Yes button.
  static bool run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // GTK's chatter is not the program's text.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::string zenity_;
};

}  // namespace

std::unique_ptr<MessageBoxes> makeZenityBoxes(std::string zenityPath) {
  return std::make_unique<ZenityBoxes>(std::move(zenityPath));
}

}  // namespace quarn::platform
