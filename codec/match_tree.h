// The match tree's walks, written once over two layouts of the same tree.
//
// TLZSS keeps the tree in its three public arrays (32-bit entries, the
// children of a position in two arrays). Encode runs the same walks on a
// packed copy (16-bit entries, both children of a position side by side),
// which is small enough to stay in the first-level cache with the ring, and
// hands the result back to the public arrays when it is done. Both layouts
// hold the same values, entry for entry; only where they live differs.
#pragma once

#include <cstdint>
#include <cstring>

#include "codec/lzss.h"

// Both children of a position, as a walk fetches them together.
struct TChildPair {
    int smaller, larger;
};

// The public arrays.
struct TSplitTree {
    using Link = int32_t;
    int32_t* left;
    int32_t* right;
    int32_t* up;

    int32_t& Left(int p) const { return left[p]; }
    int32_t& Right(int p) const { return right[p]; }
    int32_t& Child(int p, bool greater) const { return greater ? right[p] : left[p]; }
    int32_t& Parent(int p) const { return up[p]; }
    TChildPair Children(int p) const { return TChildPair{left[p], right[p]}; }
};

// Encode's compact copy: kids[2p] is p's smaller-side child, kids[2p + 1] its
// larger-side child (roots included), up[p] its parent.
struct TPackedTree {
    using Link = uint16_t;
    static constexpr int KID_LINKS = 2 * (TLZSS::ROOT_BASE + 256);
    static constexpr int UP_LINKS = TLZSS::RING_SIZE + 1;
    static constexpr size_t BYTES = (KID_LINKS + UP_LINKS) * sizeof(uint16_t);
    uint16_t* kids;
    uint16_t* up;

    uint16_t& Left(int p) const { return kids[2 * p]; }
    uint16_t& Right(int p) const { return kids[2 * p + 1]; }
    uint16_t& Child(int p, bool greater) const { return kids[2 * p + (greater ? 1 : 0)]; }
    uint16_t& Parent(int p) const { return up[p]; }
    // Both children of p share a cache line.
    TChildPair Children(int p) const { return TChildPair{kids[2 * p], kids[2 * p + 1]}; }
};

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define VELTO_WORD_COMPARE 1
#endif
#if defined(__GNUC__)
#define VELTO_RARE(condition) __builtin_expect(!!(condition), 0)
#else
#define VELTO_RARE(condition) (condition)
#endif

// Puts r in p's place (p's string equals r's); p leaves the tree, and r
// becomes the newer, longer-lived copy.
template <class Tree>
inline void ReplaceInTree(const Tree& tree, int p, int r) {
    using Link = typename Tree::Link;
    const Link newNode = static_cast<Link>(r);
    tree.Parent(r) = tree.Parent(p);
    tree.Left(r) = tree.Left(p);
    tree.Right(r) = tree.Right(p);
    tree.Parent(tree.Left(p)) = newNode;
    tree.Parent(tree.Right(p)) = newNode;
    if (tree.Right(tree.Parent(p)) == p) {
        tree.Right(tree.Parent(p)) = newNode;
    } else {
        tree.Left(tree.Parent(p)) = newNode;
    }
    tree.Parent(p) = TLZSS::NO_NODE;
}

// The key's bytes 1..17 in the form the walk compares them. The walk is a
// chain of dependent steps (a node's string decides which child is next),
// so a step is kept free of branches that depend on the data: the first 16
// bytes are compared as two words, read once more as big-endian numbers so
// that one unsigned comparison orders them, and byte 17 only matters when
// all 16 are equal, which is rare.
class TTreeKey {
public:
    explicit TTreeKey(const uint8_t* key) : key_(key) {
#ifdef VELTO_WORD_COMPARE
        std::memcpy(&low_, key + 1, 8);
        std::memcpy(&high_, key + 9, 8);
        orderLow_ = __builtin_bswap64(low_);
        orderHigh_ = __builtin_bswap64(high_);
#endif
    }

    // One step of a walk: compares the key with the string of node p and
    // returns the index of the first byte (1..17) that differs, or MAX_MATCH
    // (18) when none does; sets *greater when the key's byte there is the
    // larger (0 for 18) and *next to the child on that side. Reads
    // ring[p + 1..p + 17], which the mirror bytes keep inside the buffer.
    int Step(const uint8_t* node, int smaller, int larger, int* next, unsigned* greater) const {
#ifdef VELTO_WORD_COMPARE
        uint64_t low, high;
        std::memcpy(&low, node + 1, 8);
        std::memcpy(&high, node + 9, 8);
        const uint64_t lowDiff = low_ ^ low;
        const uint64_t highDiff = high_ ^ high;
        if (VELTO_RARE((lowDiff | highDiff) == 0)) {
            *greater = key_[17] > node[17];
            *next = *greater != 0 ? larger : smaller;
            return key_[17] != node[17] ? 17 : TLZSS::MAX_MATCH;
        }
        // The word that holds the first difference, chosen with a mask:
        // compilers turn a plain condition here into a jump that the
        // processor guesses wrong as often as right. In a little-endian word
        // the lowest set bit of the difference marks the first differing byte.
        const uint64_t inLow = 0 - static_cast<uint64_t>(lowDiff != 0);
        const uint64_t diff = (lowDiff & inLow) | (highDiff & ~inLow);
        const int first = static_cast<int>(9 - (8 & inLow)) + (__builtin_ctzll(diff) >> 3);
#if defined(__x86_64__)
        // The next node is on the walk's critical path: the borrow of the
        // 128-bit subtraction node - key (set exactly when the key is the
        // greater) selects it by a conditional move, with nothing between.
        uint64_t nodeFirst = __builtin_bswap64(low);
        const uint64_t nodeSecond = __builtin_bswap64(high);
        unsigned char borrow;
        asm("cmp %[keySecond], %[nodeSecond]\n\t"
            "sbb %[keyFirst], %[nodeFirst]\n\t"
            "cmovb %[larger], %[smaller]\n\t"
            "setb %[borrow]"
            : [nodeFirst] "+r"(nodeFirst), [smaller] "+r"(smaller), [borrow] "=q"(borrow)
            : [nodeSecond] "r"(nodeSecond), [keyFirst] "r"(orderLow_), [keySecond] "r"(orderHigh_),
              [larger] "r"(larger)
            : "cc");
        *next = smaller;
        *greater = borrow;
#else
        const uint64_t keyWord = (orderLow_ & inLow) | (orderHigh_ & ~inLow);
        const uint64_t nodeWord = __builtin_bswap64((low & inLow) | (high & ~inLow));
        *greater = keyWord > nodeWord;
        *next = smaller ^ ((smaller ^ larger) & -static_cast<int>(*greater));
#endif
        return first;
#else
        for (int i = 1; i < TLZSS::MAX_MATCH; ++i) {
            if (key_[i] != node[i]) {
                *greater = key_[i] > node[i];
                *next = *greater != 0 ? larger : smaller;
                return i;
            }
        }
        *greater = 0;
        *next = smaller;
        return TLZSS::MAX_MATCH;
#endif
    }

private:
    const uint8_t* key_;
#ifdef VELTO_WORD_COMPARE
    uint64_t low_, high_;            // bytes 1..8 and 9..16 as loaded
    uint64_t orderLow_, orderHigh_;  // the same, big-endian: they compare as the bytes do
#endif
};

// Inserts r into tree and sets *bestPos and *bestLen to the longest match
// on its path (*bestPos is left alone when the root is empty).
template <class Tree>
inline void InsertIntoTree(const Tree& tree, const uint8_t* ring, int r, int32_t* bestPos,
                           int32_t* bestLen) {
    constexpr int NO_NODE = TLZSS::NO_NODE;
    tree.Left(r) = NO_NODE;
    tree.Right(r) = NO_NODE;
    // The walk keeps only what it needs in locals, so that it runs in
    // registers; the tree is written again only after it.
    const TTreeKey key(ring + r);
    int matchLen = 0;
    int matchPos = *bestPos;
    int p = TLZSS::ROOT_BASE + ring[r];
    unsigned greater = 1;  // a root has only its larger side
    int next = tree.Right(p);
    int i = 0;
    while (next != NO_NODE) {
        p = next;
        // Both children are fetched while the strings are compared, and the
        // comparison then picks one without a jump.
        const TChildPair children = tree.Children(p);
        i = key.Step(ring + p, children.smaller, children.larger, &next, &greater);
        // Only a longer match replaces the best: among equally long ones the
        // node nearest the root wins.
        const int longer = 0 - static_cast<int>(i > matchLen);
        matchPos = (p & longer) | (matchPos & ~longer);
        matchLen = (i & longer) | (matchLen & ~longer);
        if (VELTO_RARE(i == TLZSS::MAX_MATCH)) break;
    }
    *bestPos = matchPos;
    *bestLen = matchLen;
    if (i == TLZSS::MAX_MATCH) {
        ReplaceInTree(tree, p, r);
    } else {
        tree.Child(p, greater != 0) = static_cast<typename Tree::Link>(r);
        tree.Parent(r) = static_cast<typename Tree::Link>(p);
    }
}

// Takes p out of tree; nothing happens if p is not in it.
template <class Tree>
inline void RemoveFromTree(const Tree& tree, int p) {
    constexpr int NO_NODE = TLZSS::NO_NODE;
    using Link = typename Tree::Link;
    if (tree.Parent(p) == NO_NODE) return;
    const int left = tree.Left(p);
    const int right = tree.Right(p);
    int q;
    if (left == NO_NODE || right == NO_NODE) {
        q = left ^ right ^ NO_NODE;  // the one child, or NO_NODE
    } else {
        q = left;
        if (tree.Right(q) != NO_NODE) {
            // The largest string of p's left subtree moves up into p's place.
            do q = tree.Right(q);
            while (tree.Right(q) != NO_NODE);
            tree.Right(tree.Parent(q)) = tree.Left(q);
            tree.Parent(tree.Left(q)) = tree.Parent(q);
            tree.Left(q) = static_cast<Link>(left);
            tree.Parent(left) = static_cast<Link>(q);
        }
        tree.Right(q) = static_cast<Link>(right);
        tree.Parent(right) = static_cast<Link>(q);
    }
    const int up = tree.Parent(p);
    tree.Parent(q) = static_cast<Link>(up);
    tree.Child(up, tree.Right(up) == p) = static_cast<Link>(q);
    tree.Parent(p) = NO_NODE;
}
