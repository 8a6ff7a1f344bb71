#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

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

struct Cleanup {
  std::function<void()> action;
  bool undo = false;  // runs on both ways out; otherwise at exit() only
};

// Lives for the whole process and is never destroyed, so the interruption's
// thread may use it while static destructors run.
struct Registry {
  std::mutex mutex;
  std::map<int, Cleanup> cleanups;
  int next = 1;
  std::string terminalRestore;
};

Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

void writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Holding the lock.
void runUndoActions(Registry& r) {
  for (auto it = r.cleanups.rbegin(); it != r.cleanups.rend(); ++it) {
    if (it->second.undo) it->second.action();
  }
  std::erase_if(r.cleanups, [](const auto& entry) { return entry.second.undo; });
}

// The way out through exit(). The undo actions run under the lock, as an
// interruption would run them, so the two never both run one; the rest may
// take locks of their own (and forget their entries), so it runs without.
void runAtExit() {
  Registry& r = registry();
  std::map<int, Cleanup> rest;
  {
    std::lock_guard lock(r.mutex);
    runUndoActions(r);
    rest.swap(r.cleanups);
  }
  for (auto it = rest.rbegin(); it != rest.rend(); ++it) it->second.action();
  restoreTerminalNow();
}

void runAtExitOnceNeeded() {
  static const bool installed = std::atexit(runAtExit) == 0;
  (void)installed;
}

int add(Registry& r, std::function<void()> action, bool undo) {
  const int handle = r.next++;
  r.cleanups.emplace(handle, Cleanup{std::move(action), undo});
  return handle;
}

}  // namespace

int registerCleanup(std::function<void()> action) {
  runAtExitOnceNeeded();
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return add(r, std::move(action), false);
}

int registerUndo(const std::function<std::function<void()>()>& make) {
  runAtExitOnceNeeded();
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::function<void()> action = make();
  return action ? add(r, std::move(action), true) : 0;
}

void unregisterCleanup(int handle) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.cleanups.erase(handle);
}

void undoNow(int handle) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const auto it = r.cleanups.find(handle);
  if (it == r.cleanups.end() || !it->second.undo) return;
  it->second.action();
  r.cleanups.erase(it);
}

void setTerminalRestore(std::string sequence) {
  runAtExitOnceNeeded();
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.terminalRestore = std::move(sequence);
}

void restoreTerminalNow() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::fflush(stdout);
  writeAll(STDOUT_FILENO, r.terminalRestore);
  r.terminalRestore.clear();
}

void undoAllAndHold() {
  Registry& r = registry();
  r.mutex.lock();  // never unlocked: the process ends
  runUndoActions(r);
  writeAll(STDOUT_FILENO, r.terminalRestore);
}

void endProcess(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(code);
}

}  // namespace quarn::platform
