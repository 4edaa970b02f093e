// The encoder's match tree: finds the longest earlier occurrence of the lookahead.
//
// Design. Every ring position p stands for the 18-byte string ring[p..p+17]
// (the mirror bytes after the ring make it contiguous). Positions are kept in
// 256 binary search trees, one per first byte, hung from the right side of
// the roots rightChild[ROOT_BASE + b]; inside a tree, strings are ordered by
// bytes 1..17 compared as unsigned values. Inserting a position walks one
// path from its root, comparing at most 17 bytes per node, and the longest
// common prefix met on that path is the best match: any string sharing a
// longer prefix with the new one would sort between the nodes compared and
// so lie on the path. Ties keep the node met first (nearest the root).
//
// Invariant: no two positions in the tree hold equal strings. An insertion
// that meets a full 18-byte match puts the new position in the old one's
// place, which also keeps the newer (and so longer-lived) copy. parent[p] is
// NO_NODE exactly when p is not in the tree; updating the parent of a missing
// child writes to the spare slot parent[NO_NODE], which nothing reads.
//
// Cost: the trees are not balanced. Data that inserts strings in sorted order
// (long runs of slowly changing bytes) makes deep paths, but the ring bounds
// every tree to 4096 nodes, and a removal compares no strings at all.
#include "codec/lzss.h"

void TLZSS::ResetTree() {
    for (int b = 0; b < 256; ++b) rightChild[ROOT_BASE + b] = NO_NODE;
    for (int p = 0; p < RING_SIZE; ++p) parent[p] = NO_NODE;
}

void TLZSS::InsertPosition(int r) {
    const uint8_t* key = ring + r;
    bestLen = 0;
    leftChild[r] = NO_NODE;
    rightChild[r] = NO_NODE;
    int p = ROOT_BASE + key[0];
    int order = 1;  // > 0: go right next, < 0: go left
    for (;;) {
        int32_t* child = order > 0 ? &rightChild[p] : &leftChild[p];
        if (*child == NO_NODE) {
            *child = r;
            parent[r] = p;
            return;
        }
        p = *child;
        const uint8_t* node = ring + p;
        int i = 1;
        for (; i < MAX_MATCH; ++i) {
            order = static_cast<int>(key[i]) - static_cast<int>(node[i]);
            if (order != 0) break;
        }
        if (i > bestLen) {
            bestPos = p;
            bestLen = i;
            if (i == MAX_MATCH) break;
        }
    }
    // Full match: r takes p's place in the tree.
    parent[r] = parent[p];
    leftChild[r] = leftChild[p];
    rightChild[r] = rightChild[p];
    parent[leftChild[p]] = r;
    parent[rightChild[p]] = r;
    if (rightChild[parent[p]] == p) {
        rightChild[parent[p]] = r;
    } else {
        leftChild[parent[p]] = r;
    }
    parent[p] = NO_NODE;
}

void TLZSS::RemovePosition(int p) {
    if (parent[p] == NO_NODE) return;
    int q;
    if (rightChild[p] == NO_NODE) {
        q = leftChild[p];
    } else if (leftChild[p] == NO_NODE) {
        q = rightChild[p];
    } else {
        q = leftChild[p];
        if (rightChild[q] != NO_NODE) {
            // The largest string of p's left subtree moves up into p's place.
            do q = rightChild[q];
            while (rightChild[q] != NO_NODE);
            rightChild[parent[q]] = leftChild[q];
            parent[leftChild[q]] = parent[q];
            leftChild[q] = leftChild[p];
            parent[leftChild[p]] = q;
        }
        rightChild[q] = rightChild[p];
        parent[rightChild[p]] = q;
    }
    parent[q] = parent[p];
    if (rightChild[parent[p]] == p) {
        rightChild[parent[p]] = q;
    } else {
        leftChild[parent[p]] = q;
    }
    parent[p] = NO_NODE;
}
