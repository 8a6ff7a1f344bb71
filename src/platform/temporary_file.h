// temporary_file.h: a file this run needs only while it runs (sound on its
// way between the input, a decoder and the result). It is made under a name
// no file had, in the system's temporary directory, and removed by its
// owner, at exit() and on interruption: never anything else.
#pragma once

#include <string>
#include <string_view>

namespace quarn::platform {

class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile();  // removes the file

  // Creates a new, empty file "quarn-XXXXXX<suffix>" exclusively in
  // $TMPDIR (or /tmp), open for reading and writing. False when it cannot
  // be made; nothing is left behind then.
  bool create(std::string_view suffix);

  const std::string& path() const { return path_; }
  int descriptor() const { return fd_; }  // -1 before create() and after remove()

  // Closes and removes the file now.
  void remove();

 private:
  std::string path_;
  int fd_ = -1;
  int cleanup_ = 0;  // removes the file on every way out
};

// The directory temporary files go to: $TMPDIR when it is set, else /tmp.
std::string temporaryDirectory();

}  // namespace quarn::platform
