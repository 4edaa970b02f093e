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
    // Both children of p, smaller side first.
    void Children(int p, int* smaller, int* larger) const {
        *smaller = left[p];
        *larger = right[p];
    }
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
    // Both children of p, smaller side first, in one load.
    void Children(int p, int* smaller, int* larger) const {
        uint32_t both;
        std::memcpy(&both, kids + 2 * p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        both = both << 16 | both >> 16;
#endif
        *smaller = static_cast<int>(both & 0xFFFF);
        *larger = static_cast<int>(both >> 16);
    }
};

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define VELTO_WORD_COMPARE 1
#endif

// Compares the strings at key and node from byte `from` on, where bytes 1 to
// from - 1 are known to be equal (byte 0 is the same for all strings of one
// tree): returns the first index at which they differ, or 18 when none
// does, and sets *greater when key's byte there is the larger. Eight bytes
// at a time: in little-endian words the lowest set bit of the difference
// marks the first differing byte. Reads key[1..17] and node[1..17] at most,
// which the mirror bytes keep inside the ring buffer.
inline int FirstDifference(const uint8_t* key, const uint8_t* node, int from, bool* greater) {
#ifdef VELTO_WORD_COMPARE
    for (int at = from <= 8 ? 1 : 9; at < 17; at += 8) {
        uint64_t a, b;
        std::memcpy(&a, key + at, 8);
        std::memcpy(&b, node + at, 8);
        if (a != b) {
            *greater = __builtin_bswap64(a) > __builtin_bswap64(b);
            return at + (__builtin_ctzll(a ^ b) >> 3);
        }
    }
#else
    for (int i = from; i < 17; ++i) {
        if (key[i] != node[i]) {
            *greater = key[i] > node[i];
            return i;
        }
    }
#endif
    if (key[17] != node[17]) {
        *greater = key[17] > node[17];
        return 17;
    }
    return TLZSS::MAX_MATCH;
}

// Inserts r into tree and sets *bestPos and *bestLen to the longest match
// on its path (*bestPos is left alone when the root is empty).
template <class Tree>
inline void InsertIntoTree(const Tree& tree, const uint8_t* ring, int r, int32_t* bestPos,
                           int32_t* bestLen) {
    constexpr int NO_NODE = TLZSS::NO_NODE;
    const uint8_t* const key = ring + r;
    int matchLen = 0;
    int matchPos = *bestPos;
    // The key's common prefix with the nearest node on the path that it is
    // greater than, and with the nearest one that it is smaller than: every
    // node below lies between those two, so it shares at least the shorter
    // of the two prefixes with the key, and comparing can start after it.
    // (Strings do not change while they are in the tree: a ring byte is
    // replaced only after every position whose string holds it has left.)
    int lowerSame = 1;
    int upperSame = 1;
    tree.Left(r) = NO_NODE;
    tree.Right(r) = NO_NODE;
    int p = TLZSS::ROOT_BASE + key[0];
    bool greater = true;  // a root has only its larger side
    int next = tree.Right(p);
    for (;;) {
        if (next == NO_NODE) {
            tree.Child(p, greater) = static_cast<typename Tree::Link>(r);
            tree.Parent(r) = static_cast<typename Tree::Link>(p);
            *bestPos = matchPos;
            *bestLen = matchLen;
            return;
        }
        p = next;
        // The children are fetched before the comparison decides between
        // them, so that the two loads overlap rather than follow each other.
        int smaller, larger;
        tree.Children(p, &smaller, &larger);
        const int from = lowerSame < upperSame ? lowerSame : upperSame;
        const int i = FirstDifference(key, ring + p, from, &greater);
        if (i > matchLen) {
            // Only a longer match replaces the best: among equally long ones
            // the node nearest the root wins.
            matchPos = p;
            matchLen = i;
            if (i == TLZSS::MAX_MATCH) break;
        }
        if (greater) {
            lowerSame = i;
            next = larger;
        } else {
            upperSame = i;
            next = smaller;
        }
    }
    *bestPos = matchPos;
    *bestLen = matchLen;
    // Full match: r takes p's place in the tree.
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
    tree.Parent(p) = NO_NODE;
}

// Takes p out of tree; nothing happens if p is not in it.
template <class Tree>
inline void RemoveFromTree(const Tree& tree, int p) {
    constexpr int NO_NODE = TLZSS::NO_NODE;
    using Link = typename Tree::Link;
    if (tree.Parent(p) == NO_NODE) return;
    int q;
    if (tree.Right(p) == NO_NODE) {
        q = tree.Left(p);
    } else if (tree.Left(p) == NO_NODE) {
        q = tree.Right(p);
    } else {
        q = tree.Left(p);
        if (tree.Right(q) != NO_NODE) {
            // The largest string of p's left subtree moves up into p's place.
            do q = tree.Right(q);
            while (tree.Right(q) != NO_NODE);
            tree.Right(tree.Parent(q)) = tree.Left(q);
            tree.Parent(tree.Left(q)) = tree.Parent(q);
            tree.Left(q) = tree.Left(p);
            tree.Parent(tree.Left(p)) = static_cast<Link>(q);
        }
        tree.Right(q) = tree.Right(p);
        tree.Parent(tree.Right(p)) = static_cast<Link>(q);
    }
    tree.Parent(q) = tree.Parent(p);
    if (tree.Right(tree.Parent(p)) == p) {
        tree.Right(tree.Parent(p)) = static_cast<Link>(q);
    } else {
        tree.Left(tree.Parent(p)) = static_cast<Link>(q);
    }
    tree.Parent(p) = NO_NODE;
}
