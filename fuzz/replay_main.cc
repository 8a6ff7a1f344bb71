// Runs a fuzz target on the files named on the command line, without
// libFuzzer: for reproducing and debugging a crash.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s: %zu bytes\n", argv[i], bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  return 0;
}
