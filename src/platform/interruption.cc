#include "platform/interruption.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "platform/process.h"

namespace quarn::platform {
namespace {

// The interrupting signals but those the caller set to be ignored (nohup,
// a script's background job): blocked, such a signal would wait in the
// queue for the thread, which would then end the run it was meant to spare.
sigset_t interruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    if (!ignoredByCaller(signal)) sigaddset(&set, signal);
  }
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

bool ignoredByCaller(int signal) {
  struct sigaction current {};
  return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
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

}  // namespace quarn::platform
