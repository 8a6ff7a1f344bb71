#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/files.h"
#include "platform/process.h"

namespace quarn::platform {

int niceValueFor(PriorityClass priority) {
  switch (priority) {
    case PriorityClass::kNormal:
      return 0;
    case PriorityClass::kAboveNormal:
      return -5;
    case PriorityClass::kHigh:
      return -10;
    case PriorityClass::kRealtime:
      return -15;
  }
  return 0;
}

void setProcessPriority(PriorityClass priority) {
  (void)setpriority(PRIO_PROCESS, 0, niceValueFor(priority));
}

std::optional<std::string> programPath() {
  std::string path(kMaxPathLength + 1, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) > kMaxPathLength) return std::nullopt;
  path.resize(static_cast<size_t>(length));
  return path;
}

namespace {

struct CleanupList {
  std::mutex mutex;
  std::map<int, std::function<void()>> actions;
  int next = 1;
};

CleanupList& cleanups() {
  static CleanupList* list = new CleanupList;  // outlives every static destructor
  return *list;
}

void runCleanups() {
  CleanupList& list = cleanups();
  std::map<int, std::function<void()>> actions;
  {
    std::lock_guard lock(list.mutex);
    actions.swap(list.actions);
  }
  for (auto it = actions.rbegin(); it != actions.rend(); ++it) it->second();
}

}  // namespace

int registerCleanup(std::function<void()> action) {
  static const bool installed = (std::atexit(runCleanups) == 0);
  (void)installed;
  CleanupList& list = cleanups();
  std::lock_guard lock(list.mutex);
  const int handle = list.next++;
  list.actions.emplace(handle, std::move(action));
  return handle;
}

void unregisterCleanup(int handle) {
  CleanupList& list = cleanups();
  std::lock_guard lock(list.mutex);
  list.actions.erase(handle);
}

void endProcess(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(code);
}

}  // namespace quarn::platform
