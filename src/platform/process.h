// process.h: the running process: its priority, its own program file, and
// the one way it ends early.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quarn::platform {

enum class PriorityClass { kNormal, kAboveNormal, kHigh, kRealtime };

// The nice value each class stands for: 0, -5, -10, -15.
int niceValueFor(PriorityClass priority);

// Applies the class to the process (and every thread it starts later). A
// refusal by the system (raising priority needs privileges) is ignored.
void setProcessPriority(PriorityClass priority);

// The program file's own path, from /proc/self/exe; nullopt when unknown.
std::optional<std::string> programPath();

// Work that must still happen when the process ends before its normal
// return: also when a library ends it through exit(). Returns a handle for
// unregisterCleanup. Clean-ups run in reverse order of registration.
int registerCleanup(std::function<void()> action);
void unregisterCleanup(int handle);

// Ends the process with `code` after the registered clean-ups, with all
// buffered console output written.
[[noreturn]] void endProcess(int code);

}  // namespace quarn::platform
