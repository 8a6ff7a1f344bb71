#include "platform/dialogs.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "platform/console.h"

namespace quarn::platform {

BoxBackend chooseBoxBackend(bool inputIsTerminal, bool haveDisplay, bool haveZenity) {
  if (inputIsTerminal) return BoxBackend::kTerminal;
  if (haveDisplay && haveZenity) return BoxBackend::kZenity;
  return BoxBackend::kStandardError;
}

namespace {

std::string_view trimBlanks(std::string_view s) {
  const char* blanks = " \t\r\n\v\f";
  const size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

std::string asciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

bool isYesAnswer(std::string_view line) {
  const std::string word = asciiLower(trimBlanks(line));
  if (word == "da" || word == "d" || word == "y" || word == "yes") return true;
  // "Да" in UTF-8: Д is D0 94 (д D0 B4), а is D0 B0 (А D0 90).
  return word.size() == 4 && static_cast<unsigned char>(word[0]) == 0xD0 &&
         (static_cast<unsigned char>(word[1]) == 0x94 || static_cast<unsigned char>(word[1]) == 0xB4) &&
         static_cast<unsigned char>(word[2]) == 0xD0 &&
         (static_cast<unsigned char>(word[3]) == 0xB0 || static_cast<unsigned char>(word[3]) == 0x90);
}

std::optional<size_t> pickChoice(std::string_view answer, const std::vector<ChoiceItem>& items) {
  const std::string_view word = trimBlanks(answer);
  if (word.empty()) return std::nullopt;
  if (word.find_first_not_of("0123456789") == std::string_view::npos && word.size() < 9) {
    const size_t number = std::stoul(std::string(word));
    if (number >= 1 && number <= items.size()) return number - 1;
    return std::nullopt;
  }
  // Codes shorter than four characters end in blanks ("DVR ").
  std::string padded(word);
  if (padded.size() < 4) padded.resize(4, ' ');
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].code == padded) return i;
  }
  const std::string lower = asciiLower(padded);
  for (size_t i = 0; i < items.size(); ++i) {
    if (asciiLower(items[i].code) == lower) return i;
  }
  return std::nullopt;
}

std::string findOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::string_view dirs(path);
  while (true) {
    const size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    if (dir.empty()) dir = ".";
    std::string candidate(dir);
    candidate.append("/").append(name);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string_view::npos) return {};
    dirs.remove_prefix(colon + 1);
  }
}

MessageBoxes& systemMessageBoxes() {
  static const std::unique_ptr<MessageBoxes> boxes = [] {
    const bool display = isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
    const std::string zenity = display ? findOnPath("zenity") : std::string();
    switch (chooseBoxBackend(standardInputIsTerminal(), display, !zenity.empty())) {
      case BoxBackend::kTerminal:
        return makeTerminalBoxes();
      case BoxBackend::kZenity:
        return makeZenityBoxes(zenity);
      case BoxBackend::kStandardError:
        return makeStandardErrorBoxes();
    }
    return makeStandardErrorBoxes();
  }();
  return *boxes;
}

}  // namespace quarn::platform
