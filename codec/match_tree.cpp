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
// Strings do not change while they are in the tree: the encoder replaces
// the ring byte at s only after RemovePosition(s), and every other position
// whose string holds that byte (the 17 before s) is not yet inserted. So the
// tree stays ordered.
//
// Cost: the trees are not balanced. Data that inserts strings in sorted order
// (long runs of slowly changing bytes) makes deep paths, but the ring bounds
// every tree to 4096 nodes, and a removal compares no strings at all. A walk
// is a chain of dependent loads and comparisons, so its speed is the cache's
// and the pipeline's: Encode works on a 16-bit packed copy of the arrays, and
// a step of the walk has no jump that depends on the data (match_tree.h).
#include "codec/match_tree.h"

void TLZSS::ResetTree() {
    for (int b = 0; b < 256; ++b) rightChild[ROOT_BASE + b] = NO_NODE;
    for (int p = 0; p < RING_SIZE; ++p) parent[p] = NO_NODE;
}

void TLZSS::InsertPosition(int r) {
    InsertIntoTree(TSplitTree{leftChild, rightChild, parent}, ring, r, &bestPos, &bestLen);
}

void TLZSS::RemovePosition(int p) { RemoveFromTree(TSplitTree{leftChild, rightChild, parent}, p); }
