#pragma once
// The adaptive Huffman tree of the LZHUF coder that packs archive file tables:
// 314 symbols (256 literal bytes and 58 match lengths of 3 to 60), 627 nodes kept
// in order of non-decreasing weight, root at node 626. The tree is rebuilt with
// halved weights when the root's weight reaches 0x4000 (the published LZHUF coder
// uses 0x8000; archives are written with 0x4000, so that is the value here).
//
// Both directions of the coder share this model: the decoder walks down from the
// root reading one bit per level, the test-side encoder walks up from a leaf.
#include <cstdint>

namespace kestran {

class AdaptiveHuffmanTree {
public:
    static constexpr int kSymbolCount = 314;
    static constexpr int kNodeCount = 2 * kSymbolCount - 1;  // 627
    static constexpr int kRoot = kNodeCount - 1;             // 626
    static constexpr std::int32_t kFrequencyLimit = 0x4000;

    // frequencyLimit is the root weight that triggers a rebuild; archives use
    // kFrequencyLimit; other values (up to 0x8000, below the sentinel weight) exist
    // only so tests can show that the limit matters.
    explicit AdaptiveHuffmanTree(std::int32_t frequencyLimit = kFrequencyLimit);

    // For an inner node n, its children are son(n) and son(n) + 1; for a leaf,
    // son(n) is kNodeCount plus the leaf's symbol.
    int son(int node) const { return son_[node]; }
    // parent(n) for a node; parent(kNodeCount + s) is the leaf that holds symbol s.
    int parent(int index) const { return parent_[index]; }
    std::int32_t frequency(int node) const { return freq_[node]; }

    // Counts one more occurrence of a symbol, rebuilding first when the root is full.
    // Runs once per decoded symbol, so it lives here where the decoder can inline it.
    void update(int symbol) {
        if (freq_[kRoot] == frequencyLimit_) {
            rebuild();
            updateFrom(parent_[symbol + kNodeCount]);
        } else {
            updateFrom(parent_[symbol + kNodeCount]);
        }
    }

    // The same for the symbol of leaf node `leaf`, which a walk down from the root has
    // just reached: it saves looking the leaf up again. A rebuild moves the leaves, so
    // then the symbol's leaf is looked up anew.
    void updateLeaf(int leaf) {
        if (freq_[kRoot] == frequencyLimit_) {
            const int symbol = son_[leaf] - kNodeCount;
            rebuild();
            updateFrom(parent_[symbol + kNodeCount]);
        } else {
            updateFrom(leaf);
        }
    }

private:
    void updateFrom(int leaf) {
        int n = leaf;
        do {
            const std::int32_t k = ++freq_[n];
            // Keep the weights ordered: swap n with the last node whose weight is now below k.
            if (k > freq_[n + 1]) {
                // The weights are sorted (the sentinel at kNodeCount ends them), so the run
                // of nodes of the old weight ends where they first reach k. Most runs are a
                // node or two long; a few, early on when many leaves weigh the same, span
                // hundreds: search by doubling steps, then halve the gap.
                int l = n + 1;  // freq_[l] < k
                int high = l + 1;
                for (int step = 2; k > freq_[high]; step *= 2) {
                    l = high;
                    high = l + step < kNodeCount ? l + step : kNodeCount;
                }
                while (high - l > 1) {  // freq_[l] < k <= freq_[high]
                    const int middle = l + (high - l) / 2;
                    if (k > freq_[middle])
                        l = middle;
                    else
                        high = middle;
                }
                freq_[n] = freq_[l];
                freq_[l] = k;

                const int i = son_[n];
                parent_[i] = l;
                if (i < kNodeCount) parent_[i + 1] = l;

                const int j = son_[l];
                son_[l] = i;
                parent_[j] = n;
                if (j < kNodeCount) parent_[j + 1] = n;
                son_[n] = j;

                n = l;
            }
            n = parent_[n];
        } while (n != 0);
    }

    void rebuild();

    std::int32_t frequencyLimit_;
    std::int32_t freq_[kNodeCount + 1];  // [kNodeCount] is a sentinel
    std::int32_t son_[kNodeCount];
    std::int32_t parent_[kNodeCount + kSymbolCount];  // 941 entries
};

}  // namespace kestran
