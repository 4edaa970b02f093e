// The encoder: one input stream becomes one entry (header and token stream).
#include <cstring>

#include "codec/lzss.h"
#include "codec/stream_io.h"

namespace {

// One flag byte and up to eight tokens of at most two bytes, written as a unit.
struct TGroup {
    uint8_t bytes[17];  // bytes[0] is the flag byte
    int used;           // bytes in use, the flag byte included
    unsigned mask;      // flag bit of the next token

    void Clear() {
        bytes[0] = 0;
        used = 1;
        mask = 1;
    }
};

// Writes the group's used bytes and counts them in *packedSize.
void WriteGroup(const TGroup& group, FILE* output, uint32_t* packedSize) {
    for (int i = 0; i < group.used; ++i) std::putc(group.bytes[i], output);
    *packedSize += static_cast<uint32_t>(group.used);
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
    TGroup group;
    group.Clear();

    int s = 0;                // oldest position: receives the next input byte
    int r = FIRST_WRITE_POS;  // first lookahead byte: the next byte to code
    std::memset(ring, ' ', FIRST_WRITE_POS);
    int len = 0;  // real input bytes in the lookahead
    while (len < MAX_MATCH) {
        const int c = ReadInputByte(input);
        if (c < 0) break;
        ring[r + len] = static_cast<uint8_t>(c);
        ++len;
    }
    if (len == 0) return 1;

    for (int i = 1; i <= MAX_MATCH; ++i) InsertPosition(r - i);
    InsertPosition(r);

    do {
        if (bestLen > len) bestLen = len;
        if (bestLen < MIN_MATCH) {
            bestLen = 1;
            group.bytes[0] |= static_cast<uint8_t>(group.mask);
            group.bytes[group.used++] = ring[r];
        } else {
            group.bytes[group.used++] = static_cast<uint8_t>(bestPos & 0xFF);
            group.bytes[group.used++] =
                static_cast<uint8_t>(((bestPos >> 4) & 0xF0) | (bestLen - MIN_MATCH));
        }
        group.mask = (group.mask << 1) & 0xFF;
        if (group.mask == 0) {
            WriteGroup(group, output, &packedSize);
            group.Clear();
        }

        const int n = bestLen;
        int i = 0;
        for (; i < n; ++i) {
            const int x = ReadInputByte(input);
            if (x < 0) break;
            RemovePosition(s);
            ring[s] = static_cast<uint8_t>(x);
            if (s < MAX_MATCH - 1) ring[RING_SIZE + s] = static_cast<uint8_t>(x);
            s = (s + 1) % RING_SIZE;
            r = (r + 1) % RING_SIZE;
            InsertPosition(r);
        }
        for (; i < n; ++i) {  // the input has ended: the lookahead drains
            RemovePosition(s);
            s = (s + 1) % RING_SIZE;
            r = (r + 1) % RING_SIZE;
            if (--len != 0) InsertPosition(r);
        }
    } while (len > 0);

    if (group.used > 1) WriteGroup(group, output, &packedSize);

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
