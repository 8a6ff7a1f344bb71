// Arbitrary bytes as a zlib stream through the inflater and through the
// bit-by-bit reference: both must hand the sink the same bytes and agree on
// the result. The first byte sets where the sink stops (0: never).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/png_inflater.h"
#include "support/reference_inflater.h"

namespace {

class Sink : public quarn::codecs::PngByteSink {
 public:
  explicit Sink(size_t limit) : limit_(limit) {}
  quarn::codecs::SinkAnswer PutByte(uint8_t b) override {
    got.push_back(b);
    return got.size() != limit_ ? quarn::codecs::SinkAnswer::kMore : quarn::codecs::SinkAnswer::kStop;
  }
  std::vector<uint8_t> got;

 private:
  size_t limit_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t limit = size_t{data[0]} * 37;
  ++data;
  --size;
  Sink fast(limit);
  quarn::platform::RecordingConsole console;
  const quarn::codecs::InflateEnd result = quarn::codecs::PngInflater(fast, console).Inflate(size, data);
  std::vector<uint8_t> slow;
  const quarn::testing::ReferenceInflateResult want = quarn::testing::referenceInflate(data, size, [&](uint8_t b) {
    slow.push_back(b);
    return slow.size() != limit ? quarn::codecs::SinkAnswer::kMore : quarn::codecs::SinkAnswer::kStop;
  });
  if (want.result != result || want.message != console.text() || slow != fast.got) std::abort();
  return 0;
}
