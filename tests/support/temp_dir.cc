#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quarn::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarn-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

std::vector<std::string> TempDir::list() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string onlyOutput(const TempDir& dir) {
  std::string found;
  for (const std::string& name : dir.list()) {
    if (name.rfind("quarn_converted", 0) == 0) {
      EXPECT_TRUE(found.empty()) << "two outputs: " << found << ", " << name;
      found = name;
    }
  }
  return found;
}

bool isOutputName(const std::string& name, const std::string& extension, const std::string& suffix) {
  const std::string prefix = "quarn_converted";
  const std::string tail = suffix + extension;
  if (name.size() != prefix.size() + 10 + tail.size() || name.rfind(prefix, 0) != 0) return false;
  if (name.compare(prefix.size() + 10, std::string::npos, tail) != 0) return false;
  return name.find_first_not_of("0123456789", prefix.size()) == prefix.size() + 10;
}

void occupyOutputNames(const TempDir& dir, const std::string& extension, const std::vector<std::string>& suffixes) {
  const long now = static_cast<long>(std::time(nullptr));
  for (long t = now; t < now + 60; ++t) {
    for (const std::string& suffix : suffixes) {
      writeFile(dir.file("quarn_converted" + std::to_string(t) + suffix + extension), kOldOutput);
    }
  }
}

bool splitExistingOutputMessage(const std::string& out, std::string& before, std::string& path) {
  const std::string head = " greshka! Fail\n ";
  const std::string tail = " \n sashtestvuva i nqma da se prezapishe!";
  if (out.size() < tail.size() || out.compare(out.size() - tail.size(), tail.size(), tail) != 0) return false;
  const size_t start = out.rfind(head, out.size() - tail.size());
  if (start == std::string::npos) return false;
  before = out.substr(0, start);
  path = out.substr(start + head.size(), out.size() - tail.size() - start - head.size());
  return true;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace quarn::testing
