// The inflater: stream edge cases, zlib round trips, and the fast decoder
// held to the bit-by-bit reference on valid, damaged and random streams.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "codecs/png_inflater.h"
#include "support/png_fixture.h"
#include "support/reference_inflater.h"

using quarn::codecs::PngByteSink;
using quarn::codecs::InflateEnd;
using quarn::codecs::PngInflater;
using quarn::codecs::SinkAnswer;
using namespace quarn::testing;

namespace {

// Records every byte handed over; refuses the `limit`-th one.
class RecordingSink : public PngByteSink {
 public:
  explicit RecordingSink(size_t limit = SIZE_MAX) : limit_(limit) {}
  SinkAnswer PutByte(uint8_t b) override {
    got.push_back(b);
    return got.size() < limit_ ? SinkAnswer::kMore : SinkAnswer::kStop;
  }
  std::vector<uint8_t> got;

 private:
  size_t limit_;
};

// The same, taking runs as the decoder does: any run length must be fine.
class RunSink : public RecordingSink {
 public:
  using RecordingSink::RecordingSink;
  size_t PutBytes(const uint8_t* bytes, size_t count) override {
    ++runs;
    return PngByteSink::PutBytes(bytes, count);
  }
  int runs = 0;
};

struct Outcome {
  InflateEnd result;
  std::vector<uint8_t> got;
  std::string message;
};

Outcome inflate(const std::vector<uint8_t>& stream, size_t limit = SIZE_MAX) {
  RunSink sink(limit);
  quarn::platform::RecordingConsole console;
  const InflateEnd r = PngInflater(sink, console).Inflate(stream.size(), stream.data());
  return {r, sink.got, console.text()};
}

Outcome reference(const std::vector<uint8_t>& stream, size_t limit = SIZE_MAX) {
  Outcome o{InflateEnd::kCut, {}, {}};
  const ReferenceInflateResult r = referenceInflate(stream.data(), stream.size(), [&](uint8_t b) {
    o.got.push_back(b);
    return o.got.size() < limit ? SinkAnswer::kMore : SinkAnswer::kStop;
  });
  o.result = r.result;
  o.message = r.message;
  return o;
}

void expectSameAsReference(const std::vector<uint8_t>& stream, const std::string& what, size_t limit = SIZE_MAX) {
  const Outcome fast = inflate(stream, limit), slow = reference(stream, limit);
  EXPECT_EQ(slow.result, fast.result) << what;
  EXPECT_EQ(slow.message, fast.message) << what;
  ASSERT_EQ(slow.got.size(), fast.got.size()) << what;
  EXPECT_TRUE(slow.got == fast.got) << what;
}

// Builds deflate streams bit by bit: values least significant bit first,
// Huffman codes most significant bit first.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t> start = {0x78, 0x01}) : bytes_(std::move(start)) {}
  void bits(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) bit((value >> i) & 1);
  }
  void code(uint32_t code, int n) {
    for (int i = n - 1; i >= 0; --i) bit((code >> i) & 1);
  }
  // Fixed literal/length code of `symbol`.
  void fixed(int symbol) {
    if (symbol < 144) code(48 + symbol, 8);
    else if (symbol < 256) code(256 + symbol, 9);
    else if (symbol < 280) code(symbol - 256, 7);
    else code(192 + symbol - 280, 8);
  }
  void align() {
    while (used_ != 0) bit(0);
  }
  void byte(uint8_t b) { bits(b, 8); }
  std::vector<uint8_t> done() const { return bytes_; }

 private:
  void bit(uint32_t b) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() |= uint8_t(b << used_);
    used_ = (used_ + 1) % 8;
  }
  std::vector<uint8_t> bytes_;
  int used_ = 0;
};

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed, unsigned alphabet = 256) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = (i > 40 && rng() % 3 == 0) ? v[i - 1 - rng() % 40] : uint8_t(rng() % alphabet);
  return v;
}

}  // namespace

TEST(Inflate, AnEmptyFixedBlockEndsTheStreamWithNothing) {
  BitWriter w;
  w.bits(1, 1);  // BFINAL
  w.bits(1, 2);  // fixed codes
  w.fixed(256);
  const Outcome o = inflate(w.done());
  EXPECT_EQ(InflateEnd::kFinished, o.result);
  EXPECT_TRUE(o.got.empty());
}

TEST(Inflate, StoredBytesComeOutUnchangedAndLaterBlocksCopyFromThem) {
  BitWriter w;
  w.bits(0, 1);
  w.bits(0, 2);  // stored
  w.align();
  const uint8_t stored[] = {5, 0, 0xFA, 0xFF, 'q', 'u', 'a', 'r', 'n'};  // LEN 5, NLEN, data
  for (uint8_t b : stored) w.byte(b);
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed(258);      // length 4
  w.code(4, 5);      // distance code 4: 5 + 1 extra bit
  w.bits(0, 1);      // distance 5
  w.fixed(256);
  const Outcome o = inflate(w.done());
  EXPECT_EQ(InflateEnd::kFinished, o.result);
  EXPECT_EQ(std::string("quarnquar"), std::string(o.got.begin(), o.got.end()));
}

TEST(Inflate, ALongestCopyAtDistanceOneRepeatsThePreviousByte) {
  BitWriter w;
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed('x');
  w.fixed(285);  // 258
  w.code(0, 5);  // distance 1
  w.fixed(256);
  const Outcome o = inflate(w.done());
  EXPECT_EQ(InflateEnd::kFinished, o.result);
  EXPECT_EQ(std::vector<uint8_t>(259, 'x'), o.got);

  // A sink stopping inside the copy ends the call on that byte.
  for (size_t limit : {1, 2, 100, 259}) {
    const Outcome stopped = inflate(w.done(), limit);
    EXPECT_EQ(InflateEnd::kCut, stopped.result) << limit;
    EXPECT_EQ(std::vector<uint8_t>(limit, 'x'), stopped.got) << limit;
  }
}

TEST(Inflate, ASmallWindowWrapsDistancesInsideIt) {
  // CINFO 0: a window of 256 bytes. 300 distinct-ish literals, then a copy
  // reaching 261 bytes back, which the ring turns into 5.
  BitWriter w({0x08, 0x1D});
  w.bits(1, 1);
  w.bits(1, 2);
  std::vector<uint8_t> want;
  for (int i = 0; i < 300; ++i) {
    w.fixed(i % 251);
    want.push_back(uint8_t(i % 251));
  }
  w.fixed(257);  // length 3
  w.code(16, 5); // distance code 16: 257 + 7 extra bits
  w.bits(4, 7);  // 261
  for (int i = 0; i < 3; ++i) want.push_back(want[want.size() - 5]);
  w.fixed(256);
  const Outcome o = inflate(w.done());
  EXPECT_EQ(InflateEnd::kFinished, o.result);
  EXPECT_EQ(want, o.got);
  expectSameAsReference(w.done(), "CINFO 0");
}

TEST(Inflate, ADistanceBeforeTheFirstByteReadsTheClearedWindow) {
  BitWriter w;
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed('a');
  w.fixed(257);   // length 3
  w.code(6, 5);   // distance code 6: 9 + 2 extra bits
  w.bits(1, 2);   // 10
  w.fixed(256);
  const Outcome o = inflate(w.done());
  EXPECT_EQ(InflateEnd::kFinished, o.result);
  EXPECT_EQ((std::vector<uint8_t>{'a', 0, 0, 0}), o.got);
  // Distance codes 30 and 31 are taken as they come, inside the window.
  BitWriter far;
  far.bits(1, 1);
  far.bits(1, 2);
  far.fixed('b');
  far.fixed(258);
  far.code(31, 5);
  far.bits(16383, 14);  // 65536
  far.fixed(256);
  expectSameAsReference(far.done(), "distance code 31");
  EXPECT_EQ(InflateEnd::kFinished, inflate(far.done()).result);
}

TEST(Inflate, RefusedHeadersOutputNothing) {
  const Outcome method15 = inflate({0x7F, 0x9C, 0x03, 0x00});
  EXPECT_EQ(InflateEnd::kCut, method15.result);
  EXPECT_EQ("\nNepoznat metod za kompresiq! (15)\n", method15.message);
  EXPECT_TRUE(method15.got.empty());

  std::vector<uint8_t> dictionary = zlibCompress({1, 2, 3}, 6);
  dictionary[1] |= 32;
  const Outcome preset = inflate(dictionary);
  EXPECT_EQ(InflateEnd::kCut, preset.result);
  EXPECT_EQ("", preset.message);
  EXPECT_TRUE(preset.got.empty());

  EXPECT_EQ(InflateEnd::kCut, inflate({}).result);
  EXPECT_EQ(InflateEnd::kCut, inflate({0x78}).result);
  EXPECT_EQ(InflateEnd::kCut, inflate({0x78, 0x9C}).result);
}

TEST(Inflate, BlockType3StopsButKeepsWhatCameBefore) {
  BitWriter w;
  w.bits(0, 1);
  w.bits(1, 2);
  w.fixed('h');
  w.fixed('i');
  w.fixed(256);
  w.bits(1, 1);
  w.bits(3, 2);
  w.bits(0, 16);
  const Outcome o = inflate(w.done());
  EXPECT_EQ(InflateEnd::kCut, o.result);
  EXPECT_EQ((std::vector<uint8_t>{'h', 'i'}), o.got);
}

TEST(Inflate, IgnoredSymbolsAndTrailingBytes) {
  BitWriter w;
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed('a');
  w.fixed(286);
  w.fixed(287);
  w.fixed('b');
  w.fixed(256);
  std::vector<uint8_t> stream = w.done();
  stream.insert(stream.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0xFF});
  const Outcome o = inflate(stream);
  EXPECT_EQ(InflateEnd::kFinished, o.result);
  EXPECT_EQ((std::vector<uint8_t>{'a', 'b'}), o.got);
}

TEST(Inflate, ZlibStreamsOfEveryKindComeBackWhole) {
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED};
  for (size_t size : {size_t{0}, size_t{1}, size_t{1000}, size_t{70000}, size_t{400000}}) {
    for (unsigned alphabet : {2u, 256u}) {
      const std::vector<uint8_t> data = randomBytes(size, uint32_t(size + alphabet), alphabet);
      for (int level : {0, 1, 6, 9}) {
        for (int strategy : strategies) {
          if (size > 100000 && level == 9 && strategy == Z_FILTERED) continue;  // slow to make, nothing new
          const Outcome o = inflate(zlibCompress(data, level, strategy));
          EXPECT_EQ(InflateEnd::kFinished, o.result) << size << " " << level << " " << strategy;
          EXPECT_TRUE(data == o.got) << size << " " << level << " " << strategy;
        }
      }
    }
  }
}

TEST(Inflate, StopsWhereTheBitByBitDecoderStops) {
  std::mt19937 rng(12345);
  const std::vector<uint8_t> data = randomBytes(5000, 3, 40);
  for (int level : {0, 1, 9}) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
      const std::vector<uint8_t> good = zlibCompress(data, level, strategy);
      for (size_t cut = 0; cut <= good.size(); cut += 1 + cut / 16) {
        expectSameAsReference(std::vector<uint8_t>(good.begin(), good.begin() + cut), "cut " + std::to_string(cut));
      }
      for (int i = 0; i < 150; ++i) {
        std::vector<uint8_t> bad = good;
        const int flips = 1 + int(rng() % 3);
        for (int f = 0; f < flips; ++f) bad[2 + rng() % (bad.size() - 2)] ^= uint8_t(1u << (rng() % 8));
        expectSameAsReference(bad, "flipped " + std::to_string(i), i % 3 ? SIZE_MAX : 1 + rng() % 6000);
      }
    }
  }
}

TEST(Inflate, OddCodesBehaveAsTheTreeWalk) {
  // Dynamic blocks with random code lengths: incomplete and over-subscribed
  // codes, empty distance codes, any window size.
  std::mt19937 rng(777);
  for (int i = 0; i < 3000; ++i) {
    BitWriter w({uint8_t(((rng() % 8) << 4) | 8), 0x01});
    w.bits(rng() % 2, 1);
    w.bits(2, 2);
    const int hlit = int(rng() % 32), hdist = int(rng() % 32);
    w.bits(hlit, 5);
    w.bits(hdist, 5);
    w.bits(15, 4);  // all 19 code-length lengths
    // Code-length code: 0..15 with 4 bits each (a complete code), 16..18 absent.
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int s : order) w.bits(s < 16 ? 4 : 0, 3);
    const int shape = int(rng() % 4);
    for (int n = 0; n < hlit + 257 + hdist + 1; ++n) {
      int length;
      switch (shape) {
        case 0: length = int(rng() % 16); break;                     // wildly over-subscribed
        case 1: length = rng() % 4 ? 0 : int(4 + rng() % 12); break; // sparse, mostly incomplete
        case 2: length = rng() % 8 ? 9 : int(rng() % 16); break;     // nearly complete
        default: length = int(rng() % 2 ? 0 : 8 + rng() % 8); break;
      }
      w.code(uint32_t(length), 4);
    }
    for (int b = 0; b < 400; ++b) w.bits(rng(), 8);
    expectSameAsReference(w.done(), "shape " + std::to_string(shape) + " case " + std::to_string(i));
  }
}

TEST(Inflate, RandomBytesBehaveAsTheTreeWalk) {
  std::mt19937 rng(99);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> stream(2 + rng() % 300);
    for (uint8_t& b : stream) b = uint8_t(rng());
    stream[0] = uint8_t((stream[0] & 0xF0) | 8);
    stream[1] &= ~32;
    expectSameAsReference(stream, "random " + std::to_string(i), rng() % 2 ? SIZE_MAX : rng() % 50);
  }
}
