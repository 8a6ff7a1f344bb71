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

// "quarn_converted", the time in ten digits, `suffix` ("", "_2"), then
// `extension` (".bmp").
bool isOutputName(const std::string& name, const std::string& extension, const std::string& suffix = "");

// Puts a small "old" file at the output name of every second of the next
// minute with each of `suffixes` ("" for the plain name).
void occupyOutputNames(const TempDir& dir, const std::string& extension, const std::vector<std::string>& suffixes);
inline const std::vector<uint8_t> kOldOutput = {'o', 'l', 'd'};

// Splits a console text that ends in the message of an existing output
// into what came before the message and the path it shows; false when
// the text does not end so.
bool splitExistingOutputMessage(const std::string& out, std::string& before, std::string& path);

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace quarn::testing
