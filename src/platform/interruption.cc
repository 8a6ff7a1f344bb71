#include "platform/interruption.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "platform/process.h"

namespace quarn::platform {
namespace {

sigset_t interruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

[[noreturn]] void endBySignal(int signal) {
  // Nothing can be made or registered after this: nothing escapes.
  undoAllAndHold();
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

}  // namespace quarn::platform
