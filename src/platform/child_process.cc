#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/interruption.h"

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
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
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

}  // namespace

ChildResult runChild(const std::vector<std::string>& args, ChildOutput output) {
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
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, argv[0], &setup.actions_, &setup.attributes_, argv.data(), environ);
  if (capture) {
    close(pipeEnds[1]);
    if (spawned == 0) {
      char block[4096];
      while (true) {
        const ssize_t n = read(pipeEnds[0], block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.output.append(block, static_cast<size_t>(n));
      }
    }
    close(pipeEnds[0]);
  }
  if (spawned != 0) return result;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  result.started = true;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace quarn::platform
