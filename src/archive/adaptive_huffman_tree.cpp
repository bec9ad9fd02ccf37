#include "archive/adaptive_huffman_tree.h"

namespace kestran {

namespace {
constexpr std::int32_t kSentinelFrequency = 0xFFFF;
}

AdaptiveHuffmanTree::AdaptiveHuffmanTree(std::int32_t frequencyLimit) : frequencyLimit_(frequencyLimit) {
    for (int s = 0; s < kSymbolCount; ++s) {
        freq_[s] = 1;
        son_[s] = s + kNodeCount;
        parent_[s + kNodeCount] = s;
    }
    for (int i = 0, j = kSymbolCount; j <= kRoot; i += 2, ++j) {
        freq_[j] = freq_[i] + freq_[i + 1];
        son_[j] = i;
        parent_[i] = parent_[i + 1] = j;
    }
    freq_[kNodeCount] = kSentinelFrequency;
    parent_[kRoot] = 0;
}

void AdaptiveHuffmanTree::rebuild() {
    // Gather the leaves at the front, halving their weights, in their present order.
    int j = 0;
    for (int i = 0; i < kNodeCount; ++i) {
        if (son_[i] >= kNodeCount) {
            freq_[j] = (freq_[i] + 1) / 2;
            son_[j] = son_[i];
            ++j;
        }
    }
    // Join neighbouring pairs, inserting each new inner node where its weight belongs.
    for (int i = 0, inner = kSymbolCount; inner < kNodeCount; i += 2, ++inner) {
        const std::int32_t f = freq_[i] + freq_[i + 1];
        int k = inner - 1;
        while (f < freq_[k]) --k;
        ++k;
        for (int m = inner; m > k; --m) {
            freq_[m] = freq_[m - 1];
            son_[m] = son_[m - 1];
        }
        freq_[k] = f;
        son_[k] = i;
    }
    for (int i = 0; i < kNodeCount; ++i) {
        const int k = son_[i];
        parent_[k] = i;
        if (k < kNodeCount) parent_[k + 1] = i;
    }
}

}  // namespace kestran
