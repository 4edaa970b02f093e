// TLZSS: the archive's LZSS codec (4096-byte ring, 3..18-byte matches, flag byte per 8 tokens).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "codec/dostime.h"

// Receives the bytes of one entry from TLZSS::Expand, in order, as they are
// decoded. Decode writes them to its output stream; velto-pack can count,
// check or store them without a file.
class TEntrySink {
public:
    virtual ~TEntrySink() = default;
    // Takes the next decoded byte. Returning false ends the expansion at once
    // (stop SINK_REFUSED), e.g. when more bytes come than the header announced.
    virtual bool Put(uint8_t byte) = 0;
    // Takes the next count decoded bytes at once and returns how many of them
    // it took, from the first on; fewer than count ends the expansion at the
    // first byte not taken (stop SINK_REFUSED), exactly as a refusing Put
    // would. The default hands the bytes to Put one at a time; a sink that
    // can take a block in one go should override it.
    virtual size_t Write(const uint8_t* bytes, size_t count);
};

// Why an expansion ended.
enum class TExpandStop {
    NO_INPUT,      // the input stream was null; nothing read
    BAD_MAGIC,     // the first four bytes (missing ones as zero) were not ENTRY_MAGIC
    EMPTY_ENTRY,   // unpackedSize 0: the header alone, no token byte read
    PACKED_END,    // all packedSize token bytes were used: the regular end
    INPUT_END,     // the input ended (or failed) inside the token stream
    SINK_REFUSED,  // the sink returned false
};

// What TLZSS::Expand found in one entry. Offsets are relative to the first
// byte of the entry's header; the input stream stands at inputRead.
struct TEntryInfo {
    TExpandStop stop = TExpandStop::NO_INPUT;
    uint32_t magic = 0;         // the first four bytes as read (missing ones as zero)
    uint32_t headerRead = 0;    // header bytes present, 0..36; below 36 the header is cut short
    TDosTime time = {0, 0};     // the six time fields, each masked to its width, packed
    uint32_t unpackedSize = 0;  // header value (missing bytes as zero)
    uint32_t packedSize = 0;    // header value (missing bytes as zero)
    uint32_t tokenRead = 0;     // token-stream bytes actually read
    uint32_t inputRead = 0;     // headerRead + tokenRead: where the input stopped
    uint64_t produced = 0;      // bytes given to the sink (may exceed unpackedSize)

    // True for a sound entry: a whole header, and a token stream that ends
    // exactly at packedSize and yields exactly unpackedSize bytes (an empty
    // entry announces no token bytes, which a reader would never consume).
    bool Complete() const {
        if (headerRead != 36 || produced != unpackedSize) return false;
        if (stop == TExpandStop::EMPTY_ENTRY) return packedSize == 0;
        return stop == TExpandStop::PACKED_END && tokenRead == packedSize;
    }
};

// One codec object holds all working storage and the two streams it works on.
//
// A compressed entry is a 36-byte header (magic, six local-time fields,
// unpackedSize, packedSize) followed by packedSize bytes of token stream;
// docs/archive-format.md describes the bytes. Every operation reports 1 for
// success and 0 for failure; nothing throws.
class TLZSS {
public:
    static constexpr int RING_SIZE = 4096;     // ring of recent bytes; positions are 12-bit
    static constexpr int MAX_MATCH = 18;       // longest reference, and the encoder's lookahead
    static constexpr int MIN_MATCH = 3;        // shortest reference
    static constexpr int NO_NODE = RING_SIZE;  // "no position" in the match tree arrays
    static constexpr uint32_t ENTRY_MAGIC = 0x00137457;
    static constexpr int FIRST_WRITE_POS = RING_SIZE - MAX_MATCH;  // 4078; 0..4077 start as spaces
    static constexpr int RING_BYTES = RING_SIZE + MAX_MATCH - 1;   // ring plus 17 mirror bytes
    static constexpr int ROOT_BASE = RING_SIZE + 1;  // rightChild[ROOT_BASE + b]: root of byte b
    static constexpr int STREAM_BUFFER = 32767;      // full buffering of both streams
    static constexpr uint32_t HEADER_SIZE = 36;
    static constexpr size_t IO_BLOCK = 65536;  // bytes per read or write of the codec's own buffers
    // The codec's I/O buffer. Decode: a block of input, 4096 bytes of
    // history, a block of output and room for a reference copied whole past
    // its end. Encode: a block of input, a block of output and a packed copy
    // of the match tree (2 bytes for each of 2 * 4353 + 4097 links).
    static constexpr size_t IO_BUFFER_BYTES =
        2 * IO_BLOCK + 2 * (2 * (ROOT_BASE + 256) + RING_SIZE + 1);

    // Allocates the ring, the tree arrays and the I/O buffers, all cleared to
    // zero; Decode and Encode allocate nothing. With a non-zero
    // progressEnabled, Decode calls Progress once per output byte.
    explicit TLZSS(int32_t progressEnabled);
    // Releases the buffers, then closes inputFile and outputFile if open.
    virtual ~TLZSS();

    TLZSS(const TLZSS&) = delete;
    TLZSS& operator=(const TLZSS&) = delete;

    // Closes inputFile, opens name "rb" with a 32767-byte full buffer and, when
    // offset is not -1, seeks there. Returns 1 when inputFile is open, else 0
    // (also for a null name; the old stream is closed either way).
    int OpenInput(const char* name, int32_t offset);
    // The same for outputFile, opened "wb+" (created or truncated).
    int OpenOutput(const char* name, int32_t offset);

    // Expands the one entry at the current position of input into output,
    // which is meant to be outputFile: the completion (flush, seek to the end,
    // length, time) works on outputFile, or on output when outputFile is null.
    // Returns 1 when that file's length equals unpackedSize (or at once, with
    // nothing written, when unpackedSize is 0), 0 otherwise: a null stream, a
    // wrong magic (4 bytes consumed, nothing written), input ending inside the
    // token stream, or tokens that produce a different length. A well-formed
    // entry is consumed exactly: input is left on the first byte after it. On
    // every stop after a non-empty header the file gets the entry's time.
    int Decode(FILE* input, FILE* output);

    // The decoder itself, without a file: expands the entry at the current
    // position of input into sink and reports what it found in *info (may be
    // null). Reads exactly what Decode reads and stops where Decode stops
    // (Decode is built on it); sets unpackedSize, packedSize and packedRead
    // like Decode, calls no Progress and touches neither stream field.
    // From a regular file it reads the token stream in blocks (never past
    // the entry; after a refusing sink it moves the input back to inputRead)
    // and hands the sink blocks of bytes; from any other stream it fetches
    // and hands over one token at a time.
    // Returns 1 when info->Complete() holds, else 0 (bad magic, header or
    // token stream cut short, packedSize too small or too large for the
    // tokens, more or fewer bytes than unpackedSize, or the sink refused).
    int Expand(FILE* input, TEntrySink& sink, TEntryInfo* info);

    // Writes one entry for all remaining bytes of input at the current
    // position of output, with the last-write time of the file behind input
    // (1980-01-01 00:00:00 when it cannot be read). Returns 0 (sizes zeroed,
    // nothing written) for a null stream, else 1; output is left at the end of
    // the entry, and unpackedSize and packedSize hold its sizes. The bytes
    // depend on the input alone, never on earlier Encode or Decode calls.
    int Encode(FILE* input, FILE* output);
    // The same with a given time instead of the input file's.
    int Encode(FILE* input, FILE* output, TDosTime time);

    // Called by Decode for every output byte when progressEnabled is non-zero:
    // done = bytes of this entry written before this one, total = unpackedSize.
    virtual void Progress(uint32_t done, uint32_t total);

    // Encoder internals, public so that the tree can be tested on its own.
    int ReadInputByte(FILE* input);  // next byte (0..255) counted in unpackedSize, or -1 at the end
    void ResetTree();                // empties the match tree
    void InsertPosition(int r);  // inserts r; leaves the longest earlier match in bestPos/bestLen
    void RemovePosition(int p);  // takes p out of the tree; nothing if p is not in it

    uint8_t* ring;          // RING_SIZE bytes of history plus 17 mirror bytes equal to ring[0..16]
    int32_t bestPos;        // encoder: ring position of the longest match of the last insertion
    int32_t bestLen;        // encoder: length of that match, 0..18
    int32_t* leftChild;     // 4097 entries: smaller-side child of each position, or NO_NODE
    int32_t* rightChild;    // 4353 entries: larger-side child; 4097..4352 are the 256 roots
    int32_t* parent;        // 4097 entries: parent position or root, NO_NODE when not in the tree
    uint32_t unpackedSize;  // decoder: header value; encoder: input bytes read
    uint32_t packedSize;    // decoder: header value; encoder: token-stream bytes written
    uint32_t packedRead;    // decoder: token-stream bytes fetched in the current entry
    uint32_t outputCount;   // decoder: bytes already reported through Progress
    int32_t progressEnabled;  // non-zero: Decode reports every output byte
    FILE* inputFile;          // owned stream from OpenInput, or null
    FILE* outputFile;         // owned stream from OpenOutput, or null

private:
    // Expand's work once input is known to be open; with byTokens, token bytes
    // are fetched one at a time and each token's bytes go to the sink before
    // the next token is fetched, as Decode's per-byte Progress needs.
    int ExpandEntry(FILE* input, TEntrySink& sink, TEntryInfo& info, bool byTokens);

    uint8_t* ioBuffer;  // IO_BUFFER_BYTES: the decoder's token block and output window, or
                        // the encoder's input block, token buffer and packed tree
};
