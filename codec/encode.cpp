// The encoder: one input stream becomes one entry (header and token stream).
#include <cstring>

#include "codec/encoder_core.h"
#include "codec/lzss.h"
#include "codec/stream_io.h"

namespace {

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

int64_t WriteEntryHeader(FILE* output, TDosTime time) {
    WriteLE32(output, TLZSS::ENTRY_MAGIC);
    WriteLE32(output, time.time & 0x1F);
    WriteLE32(output, (time.time >> 5) & 0x3F);
    WriteLE32(output, (time.time >> 11) & 0x1F);
    WriteLE32(output, time.date & 0x1F);
    WriteLE32(output, (time.date >> 5) & 0x0F);
    WriteLE32(output, (time.date >> 9) & 0x7F);
    const int64_t sizesAt = StreamTell(output);
    WriteLE32(output, 0);
    WriteLE32(output, 0);
    return sizesAt;
}

void FinishEntryHeader(FILE* output, int64_t sizesAt, uint32_t unpackedSize, uint32_t packedSize) {
    const int64_t endAt = StreamTell(output);
    if (sizesAt >= 0 && endAt >= 0 && StreamSeek(output, sizesAt, SEEK_SET)) {
        WriteLE32(output, unpackedSize);
        WriteLE32(output, packedSize);
        StreamSeek(output, endAt, SEEK_SET);
    }
}

int TLZSS::Encode(FILE* input, FILE* output, TDosTime time) {
    unpackedSize = 0;
    packedSize = 0;
    if (input == nullptr || output == nullptr) return 0;

    // Short inputs compare the ring beyond their last byte before anything is
    // stored there; clearing it makes every entry independent of history.
    std::memset(ring + FIRST_WRITE_POS, 0, RING_BYTES - FIRST_WRITE_POS);
    const int64_t sizesAt = WriteEntryHeader(output, time);

    ResetTree();
    TInputBlock in(TStreamSource{input}, ioBuffer);
    TTokenOutput tokens(output, ioBuffer + IO_BLOCK);
    uint16_t* const links = reinterpret_cast<uint16_t*>(ioBuffer + 2 * IO_BLOCK);
    TEncoderState state{ring, TPackedTree{links, links + TPackedTree::KID_LINKS}, 0, 0, 0, bestPos,
                        bestLen};
    PackTree(*this, state.tree);
    if (BeginEntry(state, in) != 0) {
        do CodeToken(state, in, tokens);
        while (state.len > 0);
        bestPos = state.matchPos;
        bestLen = state.matchLen;
        UnpackTree(state.tree, *this);
    }
    unpackedSize = static_cast<uint32_t>(in.Taken());
    packedSize = tokens.Finish();
    FinishEntryHeader(output, sizesAt, unpackedSize, packedSize);
    return 1;
}
