// output_file.h: a result file this run creates. It never replaces anything
// already at its path, and it removes itself unless every byte reached the
// disk: a failed write, a failed close, an early end of the process (also
// through a library calling exit(), an interrupting signal) leave no
// half-written file behind.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace quarn::platform {

enum class CreateStatus { kCreated, kExists, kFailed };

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // removes the file unless commit() succeeded

  // Creates `path` exclusively. kExists when anything is at that path
  // already (that thing is left untouched); kFailed for every other reason,
  // including a path longer than kMaxPathLength.
  CreateStatus create(const std::string& path);

  // Buffered write; false once any write has failed.
  bool write(const void* data, size_t size);

  // The open stream, for libraries that write through stdio themselves.
  // Their errors are found by commit().
  std::FILE* stream() { return file_; }

  // Flushes and closes. True when every write and the close succeeded;
  // otherwise the file is removed and false is returned.
  bool commit();

  // Closes and removes the file.
  void discard();

  const std::string& path() const { return path_; }

 private:
  void closeAndRemove();

  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
  int cleanup_ = 0;  // removes the file on every way out until commit()
};

}  // namespace quarn::platform
