// Packing one large file on several threads, to exactly the bytes TLZSS::Encode writes.
//
// The encoder is a chain: each token depends on the match tree that all
// earlier bytes built. The file is cut into segments, and each segment is
// coded by a job of its own that starts a little before the segment (the
// warm-up) with a tree built from nothing. Trees built from different pasts
// grow alike: after some hundred KiB they are usually identical, entry for
// entry. The jobs run at the same time; afterwards the true run, coming
// from the previous segment, is compared with the job's state at its
// checkpoints (the first token boundary at or after the segment start, and
// every `checkpoint` bytes after it). From the first checkpoint where ring,
// tree, positions and match agree in every byte, the job's tokens are the
// true ones, because the encoder is a function of that state and the input
// alone. Until then the true run codes on by itself. So the output never
// depends on the speculation succeeding; only the speed does.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "codec/lzss.h"

struct TParallelPlan {
    uint64_t segment = 4u << 20;       // bytes of input per job
    uint64_t warmUp = 256u << 10;      // bytes a job codes before its segment, unrecorded
    uint64_t checkpoint = 256u << 10;  // distance between the states a job keeps for comparing
    unsigned threads = 0;              // jobs at once; 0: one per processor
    uint64_t minSegment = 1u << 20;    // shortest segment, for files under segment * threads
};

// What happened, for tests and curious users.
struct TParallelStats {
    unsigned jobs = 0;           // segments coded by jobs (1: the codec alone did it)
    unsigned joinedAtStart = 0;  // jobs whose tokens were taken from the segment start
    unsigned joinedLater = 0;    // jobs taken from a later checkpoint
    unsigned notJoined = 0;      // jobs whose segment the true run coded all by itself
    uint64_t codedAgain = 0;     // input bytes the true run coded on its own after job 0
};

// Called from the calling thread with the input bytes coded so far.
using TEncodeProgress = std::function<void(uint64_t done)>;

// Writes one entry for all of input (a stream at its start, about `size`
// bytes long) at the current position of output, with the given time: the
// same bytes as codec.Encode(input, output, time), and codec.unpackedSize and
// codec.packedSize set as that sets them. Small inputs, one thread, or a
// stream that is not a regular file go to codec.Encode itself. Returns false
// with *error set when the input cannot be read.
bool EncodeInParallel(TLZSS& codec, FILE* input, uint64_t size, FILE* output, TDosTime time,
                      const TParallelPlan& plan, const TEncodeProgress& progress,
                      TParallelStats* stats, std::string* error);
