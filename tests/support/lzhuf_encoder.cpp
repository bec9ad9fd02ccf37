#include "support/lzhuf_encoder.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace kestran::testing {

namespace {

using lzhuf::kLongestMatch;
using lzhuf::kShortestMatch;
using lzhuf::kWindowMask;
using lzhuf::kWindowSize;

// The distance code of each upper-six-bit value: the leading bits of the first byte
// the decoder reads, taken from the decoder's own tables so both sides agree.
struct DistanceEncoding {
    std::uint8_t code[64];
    std::uint8_t length[64];
    DistanceEncoding() {
        bool seen[64] = {};
        for (unsigned b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            const unsigned upper = lzhuf::distanceCode(byte);
            if (seen[upper]) continue;
            seen[upper] = true;
            length[upper] = lzhuf::distanceCodeLength(byte);
            code[upper] = static_cast<std::uint8_t>(b >> (8 - length[upper]));
        }
    }
};

const DistanceEncoding& distanceEncoding() {
    static const DistanceEncoding encoding;
    return encoding;
}

}  // namespace

LzhufWriter::LzhufWriter(std::int32_t frequencyLimit) : tree_(frequencyLimit) { lzhuf::initialWindow(window_); }

void LzhufWriter::putBits(unsigned value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        bitBuffer_ = (bitBuffer_ << 1) | ((value >> i) & 1u);
        if (++bitCount_ == 8) {
            out_.push_back(static_cast<std::uint8_t>(bitBuffer_));
            bitBuffer_ = 0;
            bitCount_ = 0;
        }
    }
}

void LzhufWriter::putSymbol(int symbol) {
    // Walk from the symbol's leaf up to the root; each node is its parent's left (0)
    // or right (1) child. The decoder reads these bits from the root down.
    int path[AdaptiveHuffmanTree::kNodeCount];
    int depth = 0;
    for (int node = tree_.parent(symbol + AdaptiveHuffmanTree::kNodeCount); node != AdaptiveHuffmanTree::kRoot;) {
        const int up = tree_.parent(node);
        path[depth++] = node == tree_.son(up) ? 0 : 1;
        node = up;
    }
    while (depth > 0) putBits(static_cast<unsigned>(path[--depth]), 1);
    tree_.update(symbol);
    ++symbols_;
}

void LzhufWriter::putDistance(unsigned distance) {
    const DistanceEncoding& encoding = distanceEncoding();
    const unsigned upper = distance >> 6;
    putBits(encoding.code[upper], encoding.length[upper]);
    putBits(distance & 0x3Fu, 6);
}

void LzhufWriter::emit(std::uint8_t byte) {
    decoded_.push_back(byte);
    window_[writePosition_] = byte;
    writePosition_ = (writePosition_ + 1) & kWindowMask;
}

void LzhufWriter::literal(std::uint8_t byte) {
    putSymbol(byte);
    emit(byte);
}

void LzhufWriter::match(unsigned distance, unsigned length) {
    if (length < kShortestMatch || length > kLongestMatch) throw std::invalid_argument("match length out of range");
    if (distance >= kWindowSize) throw std::invalid_argument("match distance out of range");
    putSymbol(static_cast<int>(length) + lzhuf::kMatchSymbolBias);
    putDistance(distance);
    const unsigned start = (writePosition_ - distance - 1) & kWindowMask;
    for (unsigned k = 0; k < length; ++k) emit(window_[(start + k) & kWindowMask]);
}

std::vector<std::uint8_t> LzhufWriter::finish() {
    if (bitCount_ > 0) putBits(0, 8 - bitCount_);
    return std::move(out_);
}

namespace {

// Greedy LZ77 parse with one step of lazy evaluation over hash chains of 3-byte
// prefixes. A match goes back 1 to kWindowSize bytes, and only into plain itself.
class MatchFinder {
public:
    explicit MatchFinder(const std::vector<std::uint8_t>& plain) : plain_(plain) {
        std::fill(std::begin(head_), std::end(head_), kNone);
    }

    struct Match {
        std::size_t back = 0;
        unsigned length = 0;
    };

    // Records position pos (needs 3 bytes from pos) in the chains.
    void insert(std::size_t pos) {
        if (pos + kShortestMatch > plain_.size()) return;
        const unsigned h = hash(pos);
        prev_[pos & kWindowMask] = head_[h];
        head_[h] = static_cast<std::int64_t>(pos);
    }

    // The longest match for the bytes at pos among positions inserted before it.
    Match longest(std::size_t pos) const {
        Match best;
        if (pos + kShortestMatch > plain_.size()) return best;
        const unsigned most = static_cast<unsigned>(std::min<std::size_t>(kLongestMatch, plain_.size() - pos));
        int chain = kMaxChain;
        for (std::int64_t cand = head_[hash(pos)]; cand != kNone && chain-- > 0; cand = prev_[cand & kWindowMask]) {
            const std::size_t back = pos - static_cast<std::size_t>(cand);
            if (back > kWindowSize) break;
            unsigned length = 0;
            while (length < most && plain_[static_cast<std::size_t>(cand) + length] == plain_[pos + length]) ++length;
            if (length > best.length) {
                best = {back, length};
                if (length == most) break;
            }
        }
        if (best.length < kShortestMatch) best = {};
        return best;
    }

private:
    static constexpr int kHashBits = 15;
    static constexpr int kMaxChain = 256;
    static constexpr std::int64_t kNone = -1;

    unsigned hash(std::size_t pos) const {
        const unsigned v = (unsigned{plain_[pos]} << 16) | (unsigned{plain_[pos + 1]} << 8) | plain_[pos + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const std::vector<std::uint8_t>& plain_;
    std::int64_t head_[1u << kHashBits];
    std::int64_t prev_[kWindowSize] = {};
};

}  // namespace

std::vector<std::uint8_t> lzhufEncode(const std::vector<std::uint8_t>& plain, std::int32_t frequencyLimit) {
    LzhufWriter writer(frequencyLimit);
    auto finder = std::make_unique<MatchFinder>(plain);
    std::size_t pos = 0;
    MatchFinder::Match current = finder->longest(pos);
    while (pos < plain.size()) {
        finder->insert(pos);
        const MatchFinder::Match next = finder->longest(pos + 1);
        if (current.length == 0 || next.length > current.length) {
            writer.literal(plain[pos]);
            ++pos;
            current = next;
            continue;
        }
        writer.match(static_cast<unsigned>(current.back - 1), current.length);
        for (std::size_t k = 1; k < current.length; ++k) finder->insert(pos + k);
        pos += current.length;
        current = finder->longest(pos);
    }
    return writer.finish();
}

}  // namespace kestran::testing
