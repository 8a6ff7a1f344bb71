#include "codecs/png_inflater.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace quarn::codecs {

size_t PngByteSink::PutBytes(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (PutByte(bytes[i]) != SinkAnswer::kMore) return i;
  }
  return count;
}

namespace {

static_assert(std::endian::native == std::endian::little, "the bit reader loads little-endian words");

constexpr int kLiteralLengthSymbols = 288;  // fixed code; a dynamic one has HLIT + 257 <= 288
constexpr int kDistanceSymbols = 32;
constexpr int kCodeLengthSymbols = 19;
constexpr int kMaxCodeLength = 15;
constexpr int32_t kInnerSymbol = 2147483647;
constexpr uint32_t kEndOfBlock = 256;
constexpr uint32_t kFirstIgnoredSymbol = 286;  // 286 and 287 are decoded and skipped
constexpr uint8_t kMethodDeflate = 8;
constexpr uint8_t kPresetDictionary = 32;  // FLG bit 5

// ---- Code construction ---------------------------------------------------

// RFC 1951 3.2.2. Over-subscribed lengths give codes wider than their
// length; only their low `length` bits are used, as the tree insertion does.
void AssignCanonicalCodes(const uint8_t* lengths, int n, uint32_t* codes) {
  std::array<uint32_t, kMaxCodeLength + 1> count{}, next{};
  int longest = 0;
  for (int i = 0; i < n; ++i) {
    ++count[lengths[i]];
    longest = std::max<int>(longest, lengths[i]);
  }
  count[0] = 0;
  uint32_t code = 0;
  for (int b = 1; b <= longest; ++b) {
    code = (code + count[b - 1]) << 1;
    next[b] = code;
  }
  for (int i = 0; i < n; ++i) {
    if (lengths[i] != 0) codes[i] = next[lengths[i]]++;
  }
}

// The binary code tree, nodes in one array, root at 0. A later symbol on
// the same path overwrites an earlier one; a code passing through a leaf
// turns it into an inner node. Neither is checked, as in the walk it stands
// for: what matters is which bit sequences end where.
struct CodeTree {
  struct Node {
    int32_t child[2] = {-1, -1};
    int32_t symbol = kInnerSymbol;
  };
  std::vector<Node> nodes;

  bool isLeaf(int32_t i) const { return nodes[i].child[0] < 0 && nodes[i].child[1] < 0; }
};

void BuildCodeTree(const uint8_t* lengths, const uint32_t* codes, int n, CodeTree& tree) {
  tree.nodes.assign(1, CodeTree::Node{});
  for (int s = 0; s < n; ++s) {
    const int length = lengths[s];
    int32_t node = 0;
    for (int i = length - 1; i >= 0; --i) {
      const int bit = (codes[s] >> i) & 1;
      if (tree.nodes[node].child[bit] < 0) {
        tree.nodes[node].child[bit] = static_cast<int32_t>(tree.nodes.size());
        tree.nodes.emplace_back();
      }
      node = tree.nodes[node].child[bit];
    }
    if (length != 0) tree.nodes[node].symbol = s;
  }
}

// A lookup table equivalent to walking the tree bit by bit: indexed by the
// next bits of the stream (first bit read in bit 0), each entry says what
// the walk meets and after how many bits. Paths longer than the root width
// continue in a second-level table of their own.
class CodeTable {
 public:
  enum Kind : uint8_t { kLeaf = 0, kAbsent = 1, kSecondLevel = 2 };
  struct Entry {
    uint16_t value;  // symbol, or offset of the second-level table
    uint8_t length;  // bits consumed within this level
    uint8_t kind;    // Kind; for kSecondLevel the table's width in the high nibble
  };

  void build(const CodeTree& tree, int rootBits) {
    rootBits_ = rootBits;
    entries_.assign(size_t{1} << rootBits, Entry{0, 1, kAbsent});
    // The root is always left through one bit: a tree without codes stops
    // at its first bit as an absent child.
    fill(tree, tree.nodes[0].child[0], 1, 0, 0, rootBits);
    fill(tree, tree.nodes[0].child[1], 1, 1, 0, rootBits);
  }

  // Looks up the next symbol; the caller has at least 15 bits in `bits`.
  // False for an absent child. `consumed` is the code's length.
  bool decode(uint64_t bits, uint32_t& symbol, unsigned& consumed) const {
    Entry e = entries_[bits & ((1u << rootBits_) - 1)];
    consumed = 0;
    if (e.kind >= kSecondLevel) {
      const unsigned width = e.kind >> 4;
      consumed = e.length;
      e = entries_[e.value + ((bits >> e.length) & ((1u << width) - 1))];
    }
    if (e.kind == kAbsent) return false;
    consumed += e.length;
    symbol = e.value;
    return true;
  }

 private:
  static int depthBelow(const CodeTree& tree, int32_t node) {
    if (node < 0 || tree.isLeaf(node)) return 0;
    return 1 + std::max(depthBelow(tree, tree.nodes[node].child[0]), depthBelow(tree, tree.nodes[node].child[1]));
  }

  void put(size_t base, int width, int depth, uint32_t pattern, Entry e) {
    for (uint32_t high = 0; high < (1u << (width - depth)); ++high) entries_[base + (pattern | (high << depth))] = e;
  }

  // `node` is reached after `depth` bits of this level, which read `pattern`.
  void fill(const CodeTree& tree, int32_t node, int depth, uint32_t pattern, size_t base, int width) {
    if (node < 0) {
      put(base, width, depth, pattern, Entry{0, uint8_t(depth), kAbsent});
      return;
    }
    if (tree.isLeaf(node)) {
      put(base, width, depth, pattern, Entry{uint16_t(tree.nodes[node].symbol), uint8_t(depth), kLeaf});
      return;
    }
    if (depth == width) {
      const int below = depthBelow(tree, node);
      const size_t offset = entries_.size();
      entries_.resize(offset + (size_t{1} << below), Entry{0, 1, kAbsent});
      entries_[base + pattern] = Entry{uint16_t(offset), uint8_t(width), uint8_t(kSecondLevel | (below << 4))};
      fill(tree, tree.nodes[node].child[0], 1, 0, offset, below);
      fill(tree, tree.nodes[node].child[1], 1, 1, offset, below);
      return;
    }
    fill(tree, tree.nodes[node].child[0], depth + 1, pattern, base, width);
    fill(tree, tree.nodes[node].child[1], depth + 1, pattern | (1u << depth), base, width);
  }

  std::vector<Entry> entries_;
  int rootBits_ = 1;
};

void buildTable(const uint8_t* lengths, int n, int rootBits, CodeTree& tree, CodeTable& table) {
  uint32_t codes[kLiteralLengthSymbols + kDistanceSymbols] = {};
  AssignCanonicalCodes(lengths, n, codes);
  BuildCodeTree(lengths, codes, n, tree);
  table.build(tree, rootBits);
}

// ---- Bit reader ------------------------------------------------------------

// Bits least significant first from a 64-bit buffer. Past the end of the
// input it supplies zeros without reading; whoever consumes bits checks
// overrun() before acting on them, which is where a bit-by-bit reader would
// have found the end of valid data.
class BitReader {
 public:
  BitReader(const uint8_t* bytes, size_t length, size_t start) : in_(bytes), length_(length), loaded_(start) {}

  void refill() {
    if (loaded_ + 8 <= length_) {
      uint64_t word;
      std::memcpy(&word, in_ + loaded_, 8);
      bits_ |= word << count_;
      loaded_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    while (count_ <= 56) {
      const uint64_t byte = loaded_ < length_ ? in_[loaded_] : 0;
      bits_ |= byte << count_;
      ++loaded_;
      count_ += 8;
    }
  }
  void ensure(unsigned n) {
    if (count_ < n) refill();
  }
  uint64_t peek() const { return bits_; }
  void drop(unsigned n) {
    bits_ >>= n;
    count_ -= n;
  }
  uint32_t take(unsigned n) {
    const uint32_t v = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    drop(n);
    return v;
  }
  // Bits taken so far, counted from the start of the input.
  uint64_t position() const { return uint64_t{loaded_} * 8 - count_; }
  bool overrun() const { return position() > uint64_t{length_} * 8; }
  bool atEnd() const { return position() >= uint64_t{length_} * 8; }

  // Skips to the next byte boundary and hands the byte index over.
  size_t alignToByte() const { return static_cast<size_t>((position() + 7) / 8); }
  void restartAt(size_t byteIndex) {
    loaded_ = byteIndex;
    bits_ = 0;
    count_ = 0;
  }

 private:
  const uint8_t* in_;
  size_t length_;
  size_t loaded_;  // bytes moved into the buffer, zeros past the end included
  uint64_t bits_ = 0;
  unsigned count_ = 0;
};

// ---- Output ----------------------------------------------------------------

// The window as a linear buffer: the last kHistory bytes stay in front of
// the write position (zeros before the first output byte, as in a cleared
// window), and the bytes decoded since the last flush follow them. Every
// distance is first reduced to the ring of 2^(CINFO + 8) bytes the format
// describes, so a window smaller than a distance repeats as a ring would.
class Output {
 public:
  static constexpr size_t kHistory = 65536;  // the largest distance codes 30 and 31 reach
  static constexpr size_t kChunk = 256 * 1024;
  static constexpr size_t kRoom = 258 + 8;  // one match and the copy loop's overshoot

  Output(PngByteSink& sink, uint32_t windowMask) : sink_(sink), windowMask_(windowMask), buffer_(kHistory + kChunk + kRoom) {}

  // Makes room for one symbol's output; false when the sink stopped.
  bool reserve() {
    if (pos_ + kRoom <= kHistory + kChunk) return true;
    if (!flush()) return false;
    std::memmove(buffer_.data(), buffer_.data() + pos_ - kHistory, kHistory);
    pos_ = flushed_ = kHistory;
    return true;
  }
  size_t space() const { return kHistory + kChunk - pos_; }

  void literal(uint8_t byte) { buffer_[pos_++] = byte; }
  void bytes(const uint8_t* from, size_t n) {
    std::memcpy(buffer_.data() + pos_, from, n);
    pos_ += n;
  }

  void copy(uint32_t distance, uint32_t length) {
    const size_t d = ((distance - 1) & windowMask_) + 1;
    uint8_t* to = buffer_.data() + pos_;
    const uint8_t* from = to - d;
    if (d >= 8) {
      for (uint32_t i = 0; i < length; i += 8) std::memcpy(to + i, from + i, 8);
    } else if (d == 1) {
      std::memset(to, *from, length);
    } else {
      for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
    }
    pos_ += length;
  }

  // Hands everything decoded since the last flush to the sink.
  bool flush() {
    const size_t n = pos_ - flushed_;
    if (n == 0) return true;
    const size_t accepted = sink_.PutBytes(buffer_.data() + flushed_, n);
    flushed_ = pos_;
    return accepted == n;
  }

 private:
  PngByteSink& sink_;
  uint32_t windowMask_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = kHistory;
  size_t flushed_ = kHistory;
};

// ---- Lengths and distances ---------------------------------------------------

struct BaseAndExtra {
  uint16_t base;
  uint8_t extra;
};

// DecodeLength's rule for symbols 257..285, as a table.
constexpr std::array<BaseAndExtra, 29> makeLengthTable() {
  std::array<BaseAndExtra, 29> t{};
  for (int s = 257; s <= 285; ++s) {
    BaseAndExtra& e = t[s - 257];
    if (s <= 264) {
      e = {uint16_t(s - 254), 0};
    } else if (s == 285) {
      e = {258, 0};
    } else {
      const int k = (s - 265) / 4 + 1;
      e = {uint16_t(((s - 1) % 4) * (1 << k) + (1 << (k + 2)) + 3), uint8_t(k)};
    }
  }
  return t;
}

// DecodeDistance's rule for codes 0..31; 30 and 31 are accepted.
constexpr std::array<BaseAndExtra, 32> makeDistanceTable() {
  std::array<BaseAndExtra, 32> t{};
  for (int c = 0; c < 32; ++c) {
    if (c < 4) {
      t[c] = {uint16_t(c + 1), 0};
    } else {
      const int k = (c - 2) / 2;
      t[c] = {uint16_t(((c & 1) ? (1 << k) : 0) + (1 << (k + 1)) + 1), uint8_t(k)};
    }
  }
  return t;
}

constexpr std::array<BaseAndExtra, 29> kLengths = makeLengthTable();
constexpr std::array<BaseAndExtra, 32> kDistances = makeDistanceTable();

// ---- Blocks ------------------------------------------------------------------

void BuildFixedCodes(uint8_t* lengths) {
  for (int s = 0; s < kLiteralLengthSymbols; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
}

class BlockDecoder {
 public:
  BlockDecoder(BitReader& in, Output& out) : in_(in), out_(out) {}

  // Reads HLIT, HDIST, HCLEN and the code lengths, and builds both tables.
  bool ReadDynamicCodes() {
    in_.ensure(14);
    const int hlit = static_cast<int>(in_.take(5)) + 257;
    const int hdist = static_cast<int>(in_.take(5)) + 1;
    const int hclen = static_cast<int>(in_.take(4)) + 4;
    static constexpr uint8_t kOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                           11, 4, 12, 3, 13, 2, 14, 1, 15};
    uint8_t codeLengthLengths[kCodeLengthSymbols] = {};
    for (int i = 0; i < hclen; ++i) {
      in_.ensure(3);
      codeLengthLengths[kOrder[i]] = static_cast<uint8_t>(in_.take(3));
    }
    if (in_.overrun()) return false;
    buildTable(codeLengthLengths, kCodeLengthSymbols, 7, tree_, codeLengthTable_);

    uint8_t lengths[kLiteralLengthSymbols + kDistanceSymbols] = {};
    const int total = hlit + hdist;
    for (int n = 0; n < total;) {
      in_.ensure(15 + 7);
      uint32_t symbol;
      unsigned used;
      if (!codeLengthTable_.decode(in_.peek(), symbol, used)) return false;
      in_.drop(used);
      int repeat;
      uint8_t value = 0;
      if (symbol < 16) {
        lengths[n++] = static_cast<uint8_t>(symbol);
        if (in_.overrun()) return false;
        continue;
      } else if (symbol == 16) {
        if (n == 0) return false;
        value = lengths[n - 1];
        repeat = 3 + static_cast<int>(in_.take(2));
      } else if (symbol == 17) {
        repeat = 3 + static_cast<int>(in_.take(3));
      } else {
        repeat = 11 + static_cast<int>(in_.take(7));
      }
      if (in_.overrun() || n + repeat > total) return false;
      std::fill(lengths + n, lengths + n + repeat, value);
      n += repeat;
    }
    buildTable(lengths, hlit, 10, tree_, literalTable_);
    buildTable(lengths + hlit, hdist, 8, tree_, distanceTable_);
    return true;
  }

  void useFixedCodes() {
    uint8_t lengths[kLiteralLengthSymbols];
    BuildFixedCodes(lengths);
    buildTable(lengths, kLiteralLengthSymbols, 9, tree_, literalTable_);
    // Five bits read most significant first: the tree of 32 five-bit codes.
    uint8_t distanceLengths[kDistanceSymbols];
    std::fill(std::begin(distanceLengths), std::end(distanceLengths), 5);
    buildTable(distanceLengths, kDistanceSymbols, 5, tree_, distanceTable_);
  }

  enum class Outcome { kEndOfBlock, kStop };

  Outcome decodeSymbols() {
    for (;;) {
      if (!out_.reserve()) return Outcome::kStop;
      in_.ensure(49);  // the longest symbol: 15 + 5 length bits, 15 + 14 distance bits
      uint32_t symbol;
      unsigned used;
      if (!literalTable_.decode(in_.peek(), symbol, used)) return Outcome::kStop;
      in_.drop(used);
      if (in_.overrun()) return Outcome::kStop;
      if (symbol < 256) {
        out_.literal(static_cast<uint8_t>(symbol));
        continue;
      }
      if (symbol == kEndOfBlock) return Outcome::kEndOfBlock;
      if (symbol >= kFirstIgnoredSymbol) continue;
      const BaseAndExtra& l = kLengths[symbol - 257];
      const uint32_t length = l.base + in_.take(l.extra);
      uint32_t code;
      if (!distanceTable_.decode(in_.peek(), code, used)) return Outcome::kStop;
      in_.drop(used);
      const uint32_t distance = kDistances[code].base + in_.take(kDistances[code].extra);
      if (in_.overrun()) return Outcome::kStop;
      out_.copy(distance, length);
    }
  }

 private:
  BitReader& in_;
  Output& out_;
  CodeTree tree_;
  CodeTable codeLengthTable_, literalTable_, distanceTable_;
};

// Stored block: LEN, NLEN (not compared) and LEN bytes from the next byte
// boundary. False when the input ends before the block does; the bytes
// that were there have been output.
bool copyStoredBlock(const uint8_t* bytes, size_t length, BitReader& in, Output& out) {
  size_t at = in.alignToByte();
  if (at >= length || length - at < 4) return false;
  size_t remaining = bytes[at] | (size_t{bytes[at + 1]} << 8);
  at += 4;
  const size_t present = std::min(remaining, length - at);
  size_t left = present;
  while (left > 0) {
    if (!out.reserve()) return false;
    const size_t n = std::min(left, out.space());
    out.bytes(bytes + at, n);
    at += n;
    left -= n;
  }
  in.restartAt(at);
  return present == remaining;
}

}  // namespace

InflateEnd PngInflater::Inflate(size_t length, const uint8_t* bytes) {
  if (length < 2) return InflateEnd::kCut;
  const uint8_t cmf = bytes[0], flg = bytes[1];
  if ((cmf & 15) != kMethodDeflate) {
    console_.print("\nNepoznat metod za kompresiq! (%d)\n", cmf & 15);
    return InflateEnd::kCut;
  }
  if (flg & kPresetDictionary) return InflateEnd::kCut;
  const uint32_t windowMask = (uint32_t{1} << ((cmf >> 4) + 8)) - 1;

  BitReader in(bytes, length, 2);
  Output out(sink_, windowMask);
  BlockDecoder block(in, out);
  bool finalReached = false;
  for (;;) {
    in.ensure(3);
    const bool final = in.take(1) != 0;
    const uint32_t type = in.take(2);
    if (in.atEnd()) break;
    bool ended = false;
    if (type == 0) {
      ended = copyStoredBlock(bytes, length, in, out);
    } else if (type == 1 || type == 2) {
      if (type == 1) {
        block.useFixedCodes();
      } else if (!block.ReadDynamicCodes()) {
        break;
      }
      ended = block.decodeSymbols() == BlockDecoder::Outcome::kEndOfBlock;
    }
    if (!ended) break;
    if (final) {
      finalReached = true;
      break;
    }
  }
  return out.flush() && finalReached ? InflateEnd::kFinished : InflateEnd::kCut;
}

}  // namespace quarn::codecs
