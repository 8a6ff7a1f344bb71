#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "app/cpu_features.h"
#include "platform/console.h"

extern char** environ;

namespace quarn::testing {

std::string quarnBinary() {
  if (const char* b = std::getenv("QUARN_BINARY")) return b;
  // build/tests/quarn_tests -> build/quarn
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "quarn";
  std::string path(self, static_cast<size_t>(n));
  path.resize(path.rfind('/'));
  return path.substr(0, path.rfind('/')) + "/quarn";
}

namespace {

std::vector<std::string> buildEnvironment(const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq == nullptr) continue;
    env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
  }
  // A clean base: no display, so no graphical dialog appears by accident.
  env.erase("DISPLAY");
  env.erase("WAYLAND_DISPLAY");
  for (const auto& [k, v] : extra) {
    if (v.empty()) {
      env.erase(k);
    } else {
      env[k] = v;
    }
  }
  std::vector<std::string> out;
  for (const auto& [k, v] : env) out.push_back(k + "=" + v);
  return out;
}

}  // namespace

ProgramResult runProgram(const std::string& program, const ProgramRun& run) {
  int in[2], out[2], err[2];
  if (run.terminalInput) {
    // in[1] is the terminal's master side, in[0] the child's terminal.
    if (openpty(&in[1], &in[0], nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    fcntl(in[1], F_SETFD, FD_CLOEXEC);
    fcntl(in[0], F_SETFD, FD_CLOEXEC);
  } else if (pipe2(in, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  if (!run.workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, run.workingDirectory.c_str());

  std::vector<std::string> args = {program};
  args.insert(args.end(), run.args.begin(), run.args.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings = buildEnvironment(run.env);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  // As a shell starts a program in the foreground: the interrupting
  // signals act, whatever the suite's own caller ignores.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, signal);
  posix_spawnattr_setsigdefault(&attributes, &interrupts);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) {
    close(in[1]);
    close(out[0]);
    close(err[0]);
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
  }

  ProgramResult result;
  if (run.started) run.started(pid);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(run.timeoutSeconds));
  size_t written = 0;
  std::string input = run.input;
  size_t step = 0, searchFrom = 0;
  if (run.input.empty() && !run.terminalInput && run.dialogue.empty()) {
    close(in[1]);
    in[1] = -1;
  }
  pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
  int open = 2;
  while (open > 0) {
    const nfds_t n = fds[2].fd >= 0 && in[1] >= 0 ? 3 : 2;
    int wait = -1;
    if (run.timeoutSeconds > 0 && !result.timedOut) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        kill(pid, SIGKILL);
        result.timedOut = true;
      } else {
        wait = static_cast<int>(left);
      }
    }
    const int ready = poll(fds, n, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      char buf[65536];
      const ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        (i == 0 ? result.out : result.err).append(buf, static_cast<size_t>(got));
        while (i == 0 && step < run.dialogue.size()) {
          const size_t at = result.out.find(run.dialogue[step].first, searchFrom);
          if (at == std::string::npos) break;
          searchFrom = at + run.dialogue[step].first.size();
          input += run.dialogue[step++].second;
          fds[2].fd = in[1];
        }
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
    if (in[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t put = written < input.size() ? write(in[1], input.data() + written, input.size() - written) : 0;
      if (put > 0) written += static_cast<size_t>(put);
      if (put <= 0 || written == input.size()) {
        // A terminal stays open (closing it would hang the child up); a pipe
        // is closed so that the child sees the end of its input, unless
        // more of the dialogue is to come.
        if (!run.terminalInput && step == run.dialogue.size()) {
          close(in[1]);
          in[1] = -1;
        }
        fds[2].fd = -1;
      }
    }
  }
  if (in[1] >= 0) close(in[1]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

std::string testHelper(const std::string& name) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/') + 1) + name;
}

ProgramResult runMeasuringPeakMemory(const std::string& program, ProgramRun run, long& peakKb) {
  const std::string helper = testHelper("peak_memory");
  char report[] = "/tmp/quarn-peak-XXXXXX";
  const int fd = mkstemp(report);
  if (fd < 0) throw std::runtime_error("cannot measure peak memory");
  close(fd);
  run.args.insert(run.args.begin(), {report, program});
  const ProgramResult result = runProgram(helper, run);
  std::FILE* f = std::fopen(report, "r");
  peakKb = -1;
  if (f != nullptr) {
    if (std::fscanf(f, "%ld", &peakKb) != 1) peakKb = -1;
    std::fclose(f);
  }
  unlink(report);
  return result;
}

bool sanitizedBuild() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#else
  return false;
#endif
}

ProgramResult runProgramLimited(const std::string& program, ProgramRun run, uint64_t bytes) {
  if (sanitizedBuild()) return runProgram(program, run);
  std::vector<std::string> args = {"-c", "ulimit -v " + std::to_string(bytes / 1024) + " && exec \"$0\" \"$@\"",
                                   program};
  args.insert(args.end(), run.args.begin(), run.args.end());
  run.args = args;
  return runProgram("/bin/sh", run);
}

char processState(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(in, text);
  const size_t end = text.rfind(')');
  return end != std::string::npos && end + 2 < text.size() ? text[end + 2] : 'X';
}

bool stillRuns(int pid, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (true) {
    const char state = processState(pid);
    if (state == 'X' || state == 'Z') return false;
    if (std::chrono::steady_clock::now() >= deadline) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string expectedPreamble() {
  platform::RecordingConsole console;
  console.write("\n Ostrel quarn ver.-1.15 (2010)\n http://www.ostrel.example/quarn\n\n");
  console.write(" Molq izchakaite ....\n");
  app::CpuFeatures features;
  app::detectCpuFeatures(features);
  app::printProcessorLines(console, app::deriveProcessorFlags(features), app::runtimeFloatingPointIsSse2());
  return console.text();
}

ProgramResult runInterruptedWhileWriting(ProgramRun run, int signal, bool& interrupted, const std::string& program) {
  const char* asan = std::getenv("ASAN_OPTIONS");
  run.timeoutSeconds = 120;
  run.env["LD_PRELOAD"] = testHelper("libstop_in_result.so");
  // The helper comes before a sanitizer's runtime.
  run.env["ASAN_OPTIONS"] = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
  std::atomic<bool> stopped{false};
  std::thread watcher;
  run.started = [&](int pid) {
    watcher = std::thread([&, pid] {
      for (;;) {
        const char state = processState(pid);
        if (state == 'T') break;
        if (state == 'Z' || state == 'X') return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      stopped = true;
      kill(pid, signal);
      kill(pid, SIGCONT);
    });
  };
  const ProgramResult r = runProgram(program, run);
  if (watcher.joinable()) watcher.join();
  interrupted = stopped;
  return r;
}

}  // namespace quarn::testing
