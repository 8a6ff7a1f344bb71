// temp_dir.h: a fresh directory per test, removed with everything in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;
  // Names of the entries, sorted.
  std::vector<std::string> list() const;

 private:
  std::string path_;
};

// The one "quarn_converted..." entry of `dir` (a test failure when there
// are more), "" when there is none.
std::string onlyOutput(const TempDir& dir);

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace quarn::testing
