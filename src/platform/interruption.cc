#include "platform/interruption.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace quarn::platform {
namespace {

// The state the waiting thread acts on. It lives for the whole process and
// is never destroyed, so the thread may use it while static destructors run.
struct InterruptState {
  std::mutex mutex;
  std::map<int, std::string> files;
  int next = 1;
  std::string terminalRestore;
};

InterruptState& state() {
  static InterruptState* s = new InterruptState;
  return *s;
}

sigset_t interruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

void writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void endBySignal(int signal) {
  InterruptState& s = state();
  {
    // Held to the end: no file can be created or finished any more, so
    // nothing made after this point escapes removal.
    s.mutex.lock();
    for (const auto& [handle, path] : s.files) unlink(path.c_str());
    writeAll(STDOUT_FILENO, s.terminalRestore);
  }
  // Die of the signal itself: the default action, delivered to this thread.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signal, &byDefault, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(statusForSignal(signal));  // not reached
}

}  // namespace

void restoreTerminalNow() {
  InterruptState& s = state();
  std::lock_guard lock(s.mutex);
  std::fflush(stdout);
  writeAll(STDOUT_FILENO, s.terminalRestore);
  s.terminalRestore.clear();
}

void installInterruptHandling() {
  static std::once_flag once;
  std::call_once(once, [] {
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
      int signal = 0;
      while (sigwait(&set, &signal) != 0) {
      }
      endBySignal(signal);
    }).detach();
  });
}

int createRegisteredFile(const std::function<int(std::string& path)>& create, int& handle) {
  InterruptState& s = state();
  std::lock_guard lock(s.mutex);
  std::string path;
  const int fd = create(path);
  if (fd >= 0) {
    handle = s.next++;
    s.files.emplace(handle, std::move(path));
  }
  return fd;
}

void unregisterFile(int handle) {
  InterruptState& s = state();
  std::lock_guard lock(s.mutex);
  s.files.erase(handle);
}

void setTerminalRestore(std::string sequence) {
  static const bool atExit = std::atexit(restoreTerminalNow) == 0;
  (void)atExit;
  InterruptState& s = state();
  std::lock_guard lock(s.mutex);
  s.terminalRestore = std::move(sequence);
}

}  // namespace quarn::platform
