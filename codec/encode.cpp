// The encoder: one input stream becomes one entry (header and token stream).
#include <cstring>

#include "codec/lzss.h"
#include "codec/match_tree.h"
#include "codec/stream_io.h"

namespace {

// Input bytes through a block of the codec's own, so that a byte costs no
// call into the stream library. Reads until the input ends, as getc would.
class TInputBlock {
public:
    TInputBlock(FILE* input, uint8_t* block) : input_(input), block_(block) {}

    // The next byte (0..255), or -1 once the input has ended.
    int Next() {
        if (next_ == end_ && !Refill()) return -1;
        return *next_++;
    }

private:
    bool Refill() {
        if (ended_) return false;
        const size_t got = std::fread(block_, 1, TLZSS::IO_BLOCK, input_);
        ended_ = got < TLZSS::IO_BLOCK;  // fread comes back short only at the end or on an error
        next_ = block_;
        end_ = block_ + got;
        return got != 0;
    }

    FILE* input_;
    uint8_t* block_;
    const uint8_t* next_ = nullptr;
    const uint8_t* end_ = nullptr;
    bool ended_ = false;
};

// The token stream, assembled group by group in a block of the codec's own
// and written in bulk: one flag byte and up to eight tokens of at most two
// bytes per group.
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
    // Writes what is buffered, a short last group included; returns its
    // token-stream bytes not yet counted.
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

static_assert(2 * TLZSS::IO_BLOCK + TPackedTree::BYTES <= TLZSS::IO_BUFFER_BYTES,
              "the packed tree fits behind the two blocks");

// The packed copy of the public tree arrays, entry for entry.
void PackTree(const TLZSS& codec, const TPackedTree& tree) {
    for (int p = 0; p <= TLZSS::RING_SIZE; ++p) {
        tree.Left(p) = static_cast<uint16_t>(codec.leftChild[p]);
        tree.Parent(p) = static_cast<uint16_t>(codec.parent[p]);
    }
    for (int p = 0; p < TLZSS::ROOT_BASE + 256; ++p)
        tree.Right(p) = static_cast<uint16_t>(codec.rightChild[p]);
}

// Back into the public arrays, so that they hold what the walks left.
void UnpackTree(const TPackedTree& tree, TLZSS& codec) {
    for (int p = 0; p <= TLZSS::RING_SIZE; ++p) {
        codec.leftChild[p] = tree.Left(p);
        codec.parent[p] = tree.Parent(p);
    }
    for (int p = 0; p < TLZSS::ROOT_BASE + 256; ++p) codec.rightChild[p] = tree.Right(p);
}

// Time of the file behind input, or 1980-01-01 00:00:00 when it has none.
TDosTime InputTime(FILE* input) {
    int64_t seconds = 0;
    TCalendarTime local{};
    if (GetStreamModTime(input, &seconds) && UtcToLocal(seconds, &local)) {
        return PackDosTime(local, nullptr);
    }
    return PackDosTime(TCalendarTime{1980, 1, 1, 0, 0, 0}, nullptr);
}

}  // namespace

int TLZSS::Encode(FILE* input, FILE* output) {
    unpackedSize = 0;
    packedSize = 0;
    if (input == nullptr || output == nullptr) return 0;
    return Encode(input, output, InputTime(input));
}

int TLZSS::Encode(FILE* input, FILE* output, TDosTime time) {
    unpackedSize = 0;
    packedSize = 0;
    if (input == nullptr || output == nullptr) return 0;

    // Short inputs compare the ring beyond their last byte before anything is
    // stored there; clearing it makes every entry independent of history.
    std::memset(ring + FIRST_WRITE_POS, 0, RING_BYTES - FIRST_WRITE_POS);

    WriteLE32(output, ENTRY_MAGIC);
    WriteLE32(output, time.time & 0x1F);
    WriteLE32(output, (time.time >> 5) & 0x3F);
    WriteLE32(output, (time.time >> 11) & 0x1F);
    WriteLE32(output, time.date & 0x1F);
    WriteLE32(output, (time.date >> 5) & 0x0F);
    WriteLE32(output, (time.date >> 9) & 0x7F);
    const int64_t sizesAt = StreamTell(output);
    WriteLE32(output, 0);
    WriteLE32(output, 0);

    ResetTree();
    TInputBlock in(input, ioBuffer);
    TTokenOutput tokens(output, ioBuffer + IO_BLOCK);
    uint16_t* const links = reinterpret_cast<uint16_t*>(ioBuffer + 2 * IO_BLOCK);
    const TPackedTree tree{links, links + TPackedTree::KID_LINKS};
    PackTree(*this, tree);
    uint8_t* const text = ring;

    int s = 0;                // oldest position: receives the next input byte
    int r = FIRST_WRITE_POS;  // first lookahead byte: the next byte to code
    std::memset(text, ' ', FIRST_WRITE_POS);
    int len = 0;  // real input bytes in the lookahead
    while (len < MAX_MATCH) {
        const int c = in.Next();
        if (c < 0) break;
        text[r + len] = static_cast<uint8_t>(c);
        ++len;
    }
    unpackedSize = static_cast<uint32_t>(len);
    if (len == 0) {
        tokens.Finish();
        return 1;
    }

    int32_t matchPos = bestPos;
    int32_t matchLen = bestLen;
    for (int i = 1; i <= MAX_MATCH; ++i) InsertIntoTree(tree, text, r - i, &matchPos, &matchLen);
    InsertIntoTree(tree, text, r, &matchPos, &matchLen);

    do {
        if (matchLen > len) matchLen = len;
        if (matchLen < MIN_MATCH) {
            matchLen = 1;
            tokens.Literal(text[r]);
        } else {
            tokens.Reference(
                static_cast<uint8_t>(matchPos & 0xFF),
                static_cast<uint8_t>(((matchPos >> 4) & 0xF0) | (matchLen - MIN_MATCH)));
        }

        const int n = matchLen;
        int i = 0;
        for (; i < n; ++i) {
            const int x = in.Next();
            if (x < 0) break;
            ++unpackedSize;
            RemoveFromTree(tree, s);
            text[s] = static_cast<uint8_t>(x);
            if (s < MAX_MATCH - 1) text[RING_SIZE + s] = static_cast<uint8_t>(x);
            s = (s + 1) % RING_SIZE;
            r = (r + 1) % RING_SIZE;
            InsertIntoTree(tree, text, r, &matchPos, &matchLen);
        }
        for (; i < n; ++i) {  // the input has ended: the lookahead drains
            RemoveFromTree(tree, s);
            s = (s + 1) % RING_SIZE;
            r = (r + 1) % RING_SIZE;
            if (--len != 0) InsertIntoTree(tree, text, r, &matchPos, &matchLen);
        }
    } while (len > 0);

    bestPos = matchPos;
    bestLen = matchLen;
    UnpackTree(tree, *this);
    packedSize = tokens.Finish();

    // An output that cannot seek back keeps its zero placeholders rather than
    // getting the sizes appended behind the entry.
    const int64_t endAt = StreamTell(output);
    if (sizesAt >= 0 && endAt >= 0 && StreamSeek(output, sizesAt, SEEK_SET)) {
        WriteLE32(output, unpackedSize);
        WriteLE32(output, packedSize);
        StreamSeek(output, endAt, SEEK_SET);
    }
    return 1;
}
