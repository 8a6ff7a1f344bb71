#include "support/reference_inflater.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace quarn::testing {
namespace {

struct Node {
  std::unique_ptr<Node> child[2];
  int32_t symbol = 2147483647;
  bool leaf() const { return !child[0] && !child[1]; }
};

struct Stop {};  // thrown out of any read past the end or dead code path

class Reader {
 public:
  Reader(const uint8_t* b, size_t n) : b_(b), n_(n) {}
  int bit() {
    if (index_ >= n_) throw Stop{};
    const int v = (b_[index_] & mask_) ? 1 : 0;
    mask_ <<= 1;
    if (mask_ == 256) {
      mask_ = 1;
      ++index_;
    }
    return v;
  }
  uint32_t bits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint32_t(bit()) << i;
    return v;
  }
  size_t index_ = 2;
  unsigned mask_ = 1;

 private:
  const uint8_t* b_;
  size_t n_;
};

void canonical(const int* lengths, int n, uint32_t* codes) {
  int longest = 0;
  for (int i = 0; i < n; ++i) longest = std::max(longest, lengths[i]);
  std::vector<uint32_t> count(longest + 1), next(longest + 1);
  for (int i = 0; i < n; ++i) ++count[lengths[i]];
  count[0] = 0;
  uint32_t code = 0;
  for (int b = 1; b <= longest; ++b) {
    code = (code + count[b - 1]) << 1;
    next[b] = code;
  }
  for (int i = 0; i < n; ++i)
    if (lengths[i]) codes[i] = next[lengths[i]]++;
}

std::unique_ptr<Node> tree(const int* lengths, const uint32_t* codes, int n) {
  auto root = std::make_unique<Node>();
  for (int s = 0; s < n; ++s) {
    if (!lengths[s]) continue;
    Node* node = root.get();
    for (int i = lengths[s] - 1; i >= 0; --i) {
      const int b = (codes[s] >> i) & 1;
      if (!node->child[b]) node->child[b] = std::make_unique<Node>();
      node = node->child[b].get();
    }
    node->symbol = s;
  }
  return root;
}

int walk(const Node& root, Reader& in, size_t length) {
  const Node* node = &root;
  do {
    node = node->child[in.bit()].get();
    if (!node) throw Stop{};
    if (!node->leaf() && in.index_ >= length) throw Stop{};
  } while (!node->leaf());
  return node->symbol;
}

}  // namespace

ReferenceInflateResult referenceInflate(const uint8_t* b, size_t length,
                                        const std::function<codecs::SinkAnswer(uint8_t)>& sink) {
  ReferenceInflateResult r;
  if (length < 2) return r;
  if ((b[0] & 15) != 8) {
    char text[64];
    std::snprintf(text, sizeof text, "\nNepoznat metod za kompresiq! (%d)\n", b[0] & 15);
    r.message = text;
    return r;
  }
  if (b[1] & 32) return r;
  const size_t windowSize = size_t{1} << ((b[0] >> 4) + 8);
  std::vector<uint8_t> window(windowSize, 0);
  size_t pos = 0;
  auto emit = [&](uint8_t v) {
    window[pos] = v;
    pos = (pos + 1) & (windowSize - 1);
    if (sink(v) != codecs::SinkAnswer::kMore) throw Stop{};
  };
  Reader in(b, length);
  try {
    for (;;) {
      const int final = in.bit();
      const int type = int(in.bits(2));
      if (in.index_ >= length) return r;
      if (type == 0) {
        if (in.mask_ != 1) {
          ++in.index_;
          in.mask_ = 1;
        }
        if (in.index_ >= length || length - in.index_ < 4) return r;
        const size_t len = b[in.index_] | (b[in.index_ + 1] << 8);
        in.index_ += 4;
        for (size_t i = 0; i < len; ++i) {
          if (in.index_ >= length) return r;
          emit(b[in.index_++]);
        }
      } else if (type == 3) {
        return r;
      } else {
        int lengths[322] = {};
        uint32_t codes[322] = {};
        int hlit = 288, hdist = 0;
        std::unique_ptr<Node> lit, dist;
        if (type == 1) {
          for (int s = 0; s < 288; ++s) {
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
            codes[s] = s < 144 ? 48 + s : s < 256 ? 256 + s : s < 280 ? s - 256 : 192 + (s - 280);
          }
          lit = tree(lengths, codes, 288);
        } else {
          hlit = int(in.bits(5)) + 257;
          hdist = int(in.bits(5)) + 1;
          const int hclen = int(in.bits(4)) + 4;
          static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
          int cl[19] = {};
          uint32_t cc[19] = {};
          for (int i = 0; i < hclen; ++i) cl[order[i]] = int(in.bits(3));
          canonical(cl, 19, cc);
          const auto clTree = tree(cl, cc, 19);
          const int total = hlit + hdist;
          for (int n = 0; n < total;) {
            const int sym = walk(*clTree, in, length);
            if (sym < 16) {
              lengths[n++] = sym;
              continue;
            }
            int rep, val = 0;
            if (sym == 16) {
              if (n == 0) return r;
              val = lengths[n - 1];
              rep = 3 + int(in.bits(2));
            } else if (sym == 17) {
              rep = 3 + int(in.bits(3));
            } else {
              rep = 11 + int(in.bits(7));
            }
            if (n + rep > total) return r;
            while (rep--) lengths[n++] = val;
          }
          canonical(lengths, hlit, codes);
          canonical(lengths + hlit, hdist, codes + hlit);
          lit = tree(lengths, codes, hlit);
          dist = tree(lengths + hlit, codes + hlit, hdist);
        }
        for (;;) {
          const int sym = walk(*lit, in, length);
          if (sym < 256) {
            emit(uint8_t(sym));
          } else if (sym == 256) {
            break;
          } else if (sym <= 285) {
            uint32_t len;
            if (sym <= 264) {
              len = uint32_t(sym - 254);
            } else if (sym == 285) {
              len = 258;
            } else {
              const int k = (sym - 265) / 4 + 1;
              len = uint32_t(((sym - 1) % 4) * (1 << k) + (1 << (k + 2)) + 3) + in.bits(k);
            }
            int code = 0;
            if (type == 1) {
              for (int i = 0; i < 5; ++i) code = (code << 1) | in.bit();
            } else {
              code = walk(*dist, in, length);
            }
            uint32_t d;
            if (code < 4) {
              d = uint32_t(code + 1);
            } else {
              const int k = (code - 2) / 2;
              d = uint32_t(((code & 1) ? (1 << k) : 0) + (1 << (k + 1)) + 1) + in.bits(k);
            }
            for (uint32_t i = 0; i < len; ++i) emit(window[(pos - d) & (windowSize - 1)]);
          }
          if (in.index_ >= length) return r;
        }
      }
      if (final) {
        r.result = codecs::InflateEnd::kFinished;
        return r;
      }
    }
  } catch (const Stop&) {
  }
  return r;
}

}  // namespace quarn::testing
