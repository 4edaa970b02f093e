// The encoder's loop, written once: TLZSS::Encode runs it over one stream,
// and velto-pack's parallel encoder runs stretches of it on several threads.
//
// Between two tokens the encoder is fully described by TEncoderState: the
// ring, the match tree, the ring positions s and r, the lookahead length and
// the match found for the lookahead. The same state and the same input
// bytes give the same tokens and the same state after them, whoever runs it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "codec/lzss.h"
#include "codec/match_tree.h"

// The encoder between two tokens, over storage its owner provides.
struct TEncoderState {
    uint8_t* text;     // RING_BYTES: the ring and its 17 mirror bytes
    TPackedTree tree;  // the match tree, packed (TPackedTree::BYTES)
    int s;             // oldest position: receives the next input byte
    int r;             // first lookahead byte: the next byte to code
    int len;           // real input bytes in the lookahead; 0 once the entry is done
    int32_t matchPos;  // longest match for the lookahead (position, length)
    int32_t matchLen;
};

// Input bytes through a block of the caller's own, so that a byte costs no
// call into the stream library. Source::Read(buffer, count) fills the block
// and returns how many bytes it got, fewer than count only at the end of the
// input (or on an error); after that the input counts as ended.
template <class Source>
class TBlockInput {
public:
    TBlockInput(Source source, uint8_t* block) : source_(source), block_(block) {}

    // The next byte (0..255), or -1 once the input has ended.
    int Next() {
        if (next_ == end_ && !Refill()) return -1;
        return *next_++;
    }
    // Bytes handed out so far.
    uint64_t Taken() const { return taken_ + static_cast<uint64_t>(next_ - block_); }
    Source& From() { return source_; }

private:
    bool Refill() {
        if (ended_) return false;
        taken_ += static_cast<uint64_t>(next_ - block_);
        const size_t got = source_.Read(block_, TLZSS::IO_BLOCK);
        ended_ = got < TLZSS::IO_BLOCK;
        next_ = block_;
        end_ = block_ + got;
        return got != 0;
    }

    Source source_;
    uint8_t* block_;
    const uint8_t* next_ = block_;
    const uint8_t* end_ = block_;
    uint64_t taken_ = 0;
    bool ended_ = false;
};

// A stream read from where it stands, as getc would.
struct TStreamSource {
    FILE* stream;
    size_t Read(uint8_t* buffer, size_t count) { return std::fread(buffer, 1, count, stream); }
};
using TInputBlock = TBlockInput<TStreamSource>;

// Starts an entry on a cleared tree: spaces before the first write position,
// up to 18 input bytes in the lookahead, and the 18 positions before it and
// the first one inserted. state.matchPos holds what the codec left (an
// insertion into an empty root keeps it). Returns the bytes read.
template <class Input>
int BeginEntry(TEncoderState& state, Input& in) {
    state.s = 0;
    state.r = TLZSS::FIRST_WRITE_POS;
    std::memset(state.text, ' ', TLZSS::FIRST_WRITE_POS);
    state.len = 0;
    while (state.len < TLZSS::MAX_MATCH) {
        const int c = in.Next();
        if (c < 0) break;
        state.text[state.r + state.len] = static_cast<uint8_t>(c);
        ++state.len;
    }
    state.matchLen = 0;
    if (state.len == 0) return 0;
    for (int i = 1; i <= TLZSS::MAX_MATCH; ++i)
        InsertIntoTree(state.tree, state.text, state.r - i, &state.matchPos, &state.matchLen);
    InsertIntoTree(state.tree, state.text, state.r, &state.matchPos, &state.matchLen);
    return state.len;
}

// Codes the token at r through out (Literal(byte) or Reference(a, b)), then
// moves past its bytes: each step takes the oldest position out of the tree,
// stores the next input byte there and inserts the new lookahead position;
// once the input has ended the lookahead drains instead. Returns how many
// positions the token covered. Call only while state.len > 0.
template <class Input, class Output>
int CodeToken(TEncoderState& state, Input& in, Output& out) {
    uint8_t* const text = state.text;
    if (state.matchLen > state.len) state.matchLen = state.len;
    if (state.matchLen < TLZSS::MIN_MATCH) {
        state.matchLen = 1;
        out.Literal(text[state.r]);
    } else {
        out.Reference(static_cast<uint8_t>(state.matchPos & 0xFF),
                      static_cast<uint8_t>(((state.matchPos >> 4) & 0xF0) |
                                           (state.matchLen - TLZSS::MIN_MATCH)));
    }
    const int n = state.matchLen;
    int s = state.s;
    int r = state.r;
    int i = 0;
    for (; i < n; ++i) {
        const int x = in.Next();
        if (x < 0) break;
        RemoveFromTree(state.tree, s);
        text[s] = static_cast<uint8_t>(x);
        if (s < TLZSS::MAX_MATCH - 1) text[TLZSS::RING_SIZE + s] = static_cast<uint8_t>(x);
        s = (s + 1) % TLZSS::RING_SIZE;
        r = (r + 1) % TLZSS::RING_SIZE;
        InsertIntoTree(state.tree, text, r, &state.matchPos, &state.matchLen);
    }
    for (; i < n; ++i) {  // the input has ended: the lookahead drains
        RemoveFromTree(state.tree, s);
        s = (s + 1) % TLZSS::RING_SIZE;
        r = (r + 1) % TLZSS::RING_SIZE;
        if (--state.len != 0) InsertIntoTree(state.tree, text, r, &state.matchPos, &state.matchLen);
    }
    state.s = s;
    state.r = r;
    return n;
}

// The token stream, assembled group by group in a block of the caller's own
// (IO_BLOCK bytes) and written in bulk: one flag byte and up to eight tokens
// of at most two bytes per group.
class TTokenOutput {
public:
    TTokenOutput(FILE* output, uint8_t* buffer) : output_(output), buffer_(buffer) { Clear(); }

    void Literal(uint8_t byte) {
        buffer_[flagAt_] |= static_cast<uint8_t>(mask_);
        buffer_[used_++] = byte;
        EndToken();
    }
    void Reference(uint8_t a, uint8_t b) {
        buffer_[used_++] = a;
        buffer_[used_++] = b;
        EndToken();
    }
    // Writes what is buffered, a short last group included, and returns the
    // token-stream bytes written: the end of the stream.
    uint32_t Finish() {
        if (used_ - flagAt_ > 1) {
            counted_ += static_cast<uint32_t>(used_ - flagAt_);
        } else {
            used_ = flagAt_;  // an empty group is not written
        }
        WriteOut();
        const uint32_t counted = counted_;
        counted_ = 0;
        return counted;
    }

private:
    static constexpr size_t GROUP_BYTES = 17;

    void EndToken() {
        mask_ = (mask_ << 1) & 0xFF;
        if (mask_ != 0) return;
        // Eight tokens: the group is complete.
        counted_ += static_cast<uint32_t>(used_ - flagAt_);
        if (TLZSS::IO_BLOCK - used_ < GROUP_BYTES) WriteOut();
        Clear();
    }
    void Clear() {
        flagAt_ = used_;
        buffer_[used_++] = 0;
        mask_ = 1;
    }
    void WriteOut() {
        if (used_ != 0) std::fwrite(buffer_, 1, used_, output_);
        used_ = 0;
    }

    FILE* output_;
    uint8_t* buffer_;    // IO_BLOCK bytes
    size_t used_ = 0;    // bytes buffered, the open group's included
    size_t flagAt_ = 0;  // the open group's flag byte
    unsigned mask_ = 1;  // flag bit of the next token
    uint32_t counted_ = 0;
};

// The entry header with zero sizes; returns where the sizes are (-1 when the
// output cannot tell), for FinishHeader.
int64_t WriteEntryHeader(FILE* output, TDosTime time);
// Fills in the sizes and moves back to the end. An output that cannot seek
// back keeps its zero placeholders rather than getting the sizes appended
// behind the entry.
void FinishEntryHeader(FILE* output, int64_t sizesAt, uint32_t unpackedSize, uint32_t packedSize);
