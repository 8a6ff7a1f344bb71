#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "platform/interruption.h"
#include "platform/process.h"

extern char** environ;

namespace quarn::platform {
namespace {

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    sigset_t none, interrupts;
    sigemptyset(&none);
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGPIPE);
    // An interruption the caller ignores is ignored by the whole run.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      if (!ignoredByCaller(signal)) sigaddset(&interrupts, signal);
    }
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &interrupts);
    // Its own group: it and whatever it starts can be ended together.
    posix_spawnattr_setpgroup(&attributes_, 0);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

using Clock = std::chrono::steady_clock;

constexpr size_t kMostInAPipe = size_t{1} << 20;  // Linux's largest pipe by default (pipe-max-size)

// The last bytes of the output, and how many came before them. Trimmed
// once the excess is as large as what is kept, so that memory stays
// within twice the kept size and each byte is moved about once.
class OutputTail {
 public:
  explicit OutputTail(size_t limit) : limit_(limit) {}

  void append(const char* bytes, size_t size) {
    kept_.append(bytes, size);
    if (kept_.size() > limit_ && kept_.size() - limit_ >= std::max<size_t>(limit_, kBlock)) trim();
  }

  void finish(ChildResult& result) {
    trim();
    result.output = std::move(kept_);
    result.outputLeftOut = leftOut_;
  }

  static constexpr size_t kBlock = 64 << 10;  // bytes taken from the pipe at once

 private:
  void trim() {
    if (kept_.size() <= limit_) return;
    const size_t excess = kept_.size() - limit_;
    kept_.erase(0, excess);
    leftOut_ += excess;
  }

  const size_t limit_;
  std::string kept_;
  uint64_t leftOut_ = 0;
};

// Takes what the pipe holds now, up to `most` bytes; false once it has
// ended (the last writer closed it, or it failed).
bool readAvailable(int fd, OutputTail& tail, size_t most, bool& gotBytes) {
  char block[OutputTail::kBlock];
  for (size_t taken = 0; taken < most;) {
    const ssize_t n = read(fd, block, sizeof block);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
    tail.append(block, static_cast<size_t>(n));
    gotBytes = true;
    taken += static_cast<size_t>(n);
  }
  return true;
}

// A descriptor that becomes readable when the process ends; -1 where the
// system has none, and then the wait looks again every few milliseconds.
int processDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// True once the child has ended; it stays a zombie, so its process group
// cannot be taken by another before it is ended.
bool hasEnded(pid_t pid) {
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno != EINTR) return true;  // not ours to wait on any more: nothing to wait for
  }
  return info.si_pid == pid;
}

// The size of the file the child writes; -1 while there is none.
int64_t sizeOf(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

// Waits until the child ends or makes no progress for `limits.silence`,
// reading the output as it comes. True when it stopped for the silence.
bool waitWithLimits(pid_t pid, int readEnd, const ChildLimits& limits, OutputTail& tail) {
  using std::chrono::milliseconds;
  const int pidFd = processDescriptor(pid);
  const bool limited = limits.silence.count() > 0;
  int64_t fileSize = sizeOf(limits.watchedFile);
  Clock::time_point lastProgress = Clock::now();
  bool silent = false;
  while (!hasEnded(pid)) {
    const Clock::time_point now = Clock::now();
    if (limited && now - lastProgress >= limits.silence) {
      silent = true;
      break;
    }
    int wait = pidFd >= 0 ? -1 : 20;
    if (limited) {
      // The watched file is looked at every second.
      const auto left = std::chrono::duration_cast<milliseconds>(lastProgress + limits.silence - now).count();
      const int until = static_cast<int>(std::clamp<int64_t>(left, 1, 1000));
      wait = wait < 0 ? until : std::min(wait, until);
    }
    pollfd fds[2];
    nfds_t count = 0;
    if (readEnd >= 0) fds[count++] = {readEnd, POLLIN, 0};
    if (pidFd >= 0) fds[count++] = {pidFd, POLLIN, 0};
    const int ready = poll(fds, count, wait);
    if (ready < 0 && errno != EINTR) break;
    bool progress = false;
    if (readEnd >= 0 && ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
        !readAvailable(readEnd, tail, kMostInAPipe, progress)) {
      readEnd = -1;  // every writer has closed it
    }
    if (limited && !progress) {
      const int64_t size = sizeOf(limits.watchedFile);
      progress = size != fileSize;
      fileSize = size;
    }
    if (progress) lastProgress = Clock::now();
  }
  if (pidFd >= 0) close(pidFd);
  return silent;
}

}  // namespace

ChildResult runChild(const std::vector<std::string>& args, ChildOutput output, const ChildLimits& limits) {
  ChildResult result;
  if (args.empty()) return result;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const bool capture = output != ChildOutput::kDiscard;
  int pipeEnds[2] = {-1, -1};
  if (capture && pipe2(pipeEnds, O_CLOEXEC) != 0) return result;
  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (capture) {
    posix_spawn_file_actions_adddup2(&setup.actions_, pipeEnds[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  if (output == ChildOutput::kCapture) {
    posix_spawn_file_actions_adddup2(&setup.actions_, pipeEnds[1], STDERR_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  // Started while no way out can run: the group is known from the start.
  pid_t pid = 0;
  int spawned = -1;
  const int group = registerUndo([&]() -> std::function<void()> {
    spawned = posix_spawnp(&pid, argv[0], &setup.actions_, &setup.attributes_, argv.data(), environ);
    if (spawned != 0) return {};
    return [pid] { kill(-pid, SIGKILL); };
  });
  if (capture) {
    close(pipeEnds[1]);
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
  }
  if (spawned != 0) {
    if (capture) close(pipeEnds[0]);
    return result;
  }

  OutputTail tail(limits.keptOutput);
  result.endedForSilence = waitWithLimits(pid, pipeEnds[0], limits, tail);
  undoNow(group);
  if (capture) {
    // What the ended group left in the pipe; a writer that escaped the
    // group (a new session of its own) may keep it open, so no more than
    // a pipe holds is taken.
    bool unused = false;
    readAvailable(pipeEnds[0], tail, kMostInAPipe, unused);
    close(pipeEnds[0]);
  }
  tail.finish(result);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  result.started = true;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string outputForUser(const ChildResult& result) {
  if (result.outputLeftOut == 0) return result.output;
  return " ... (propusnati " + std::to_string(result.outputLeftOut) + " baita ot izhoda)\n" + result.output;
}

}  // namespace quarn::platform
