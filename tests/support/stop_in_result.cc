// stop_in_result.so, preloaded into a run of the program (LD_PRELOAD):
// once the run has written the first 64 KB of its result file (a
// "quarn_converted..." file it created), it stops itself (SIGSTOP), so that
// a test can interrupt it in the middle of writing its result whatever the
// machine's load. When it goes on, the writing thread first waits a few
// seconds, so that a signal sent meanwhile takes effect before the result
// could be finished. Nothing else changes.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

int resultFd = -1;
size_t written = 0;
bool stopped = false;

bool isResult(const char* path) {
  const char* name = std::strrchr(path, '/');
  return std::strncmp(name != nullptr ? name + 1 : path, "quarn_converted", 15) == 0;
}

// The C library's own `symbol` ("open" or "open64"), noting the result.
int openNoting(const char* symbol, const char* path, int flags, va_list args) {
  using Open = int (*)(const char*, int, ...);
  const auto real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, symbol));
  const mode_t mode = (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
  const int fd = real(path, flags, mode);
  if (fd >= 0 && (flags & O_CREAT) != 0 && isResult(path)) resultFd = fd;
  return fd;
}

// Stops the process once 64 KB of the result are written.
void noteWritten(int fd, size_t bytes) {
  if (stopped || resultFd < 0 || fd != resultFd) return;
  written += bytes;
  if (written >= (size_t{1} << 16)) {
    stopped = true;
    raise(SIGSTOP);
    sleep(5);
  }
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = openNoting("open", path, flags, args);
  va_end(args);
  return fd;
}

extern "C" int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = openNoting("open64", path, flags, args);
  va_end(args);
  return fd;
}

// Written through stdio (the picture writers) or straight to the
// descriptor (libraries with their own buffering).
extern "C" size_t fwrite(const void* data, size_t size, size_t count, std::FILE* stream) {
  using Write = size_t (*)(const void*, size_t, size_t, std::FILE*);
  static const auto real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "fwrite"));
  const size_t done = real(data, size, count, stream);
  noteWritten(fileno(stream), done * size);
  return done;
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  using Write = ssize_t (*)(int, const void*, size_t);
  static const auto real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  const ssize_t done = real(fd, data, size);
  if (done > 0) noteWritten(fd, static_cast<size_t>(done));
  return done;
}
