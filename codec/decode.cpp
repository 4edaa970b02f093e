// The decoder: Expand reads one entry into a sink; Decode puts it into a file.
//
// The one decoder core works on two buffers of the codec's own. Token bytes
// come from the input through a block, never more than packedSize of them,
// so the input stays exactly at the entry's end. Output goes into a linear
// window that keeps the last 4096 bytes before the next output byte; a ring
// position is found there by its distance back from the write position, and
// the sink receives the window's new bytes in blocks. Whole groups are
// decoded without bounds checks while the block holds a full group and the
// window room for eight longest references; everything else, including every
// stop, goes one token at a time with the checks of a per-byte reader.
#include <cstring>

#include "codec/lzss.h"
#include "codec/stream_io.h"

namespace {

// Packs the six header time fields, each masked to its width.
TDosTime ComposeTime(const uint8_t* fields) {
    const uint32_t halfSeconds = LoadLE32(fields) & 0x1F;
    const uint32_t minutes = LoadLE32(fields + 4) & 0x3F;
    const uint32_t hours = LoadLE32(fields + 8) & 0x1F;
    const uint32_t day = LoadLE32(fields + 12) & 0x1F;
    const uint32_t month = LoadLE32(fields + 16) & 0x0F;
    const uint32_t year = LoadLE32(fields + 20) & 0x7F;
    TDosTime time;
    time.time = static_cast<uint16_t>(halfSeconds | minutes << 5 | hours << 11);
    time.date = static_cast<uint16_t>(day | month << 5 | year << 9);
    return time;
}

// Decode's sink: the bytes go to the output stream; with progress enabled
// one at a time, each followed by its Progress call.
class TStreamSink final : public TEntrySink {
public:
    TStreamSink(TLZSS& codec, FILE* output) : codec_(codec), output_(output) {}

    bool Put(uint8_t byte) override {
        Write(&byte, 1);
        return true;
    }

    size_t Write(const uint8_t* bytes, size_t count) override {
        if (codec_.progressEnabled == 0) {
            std::fwrite(bytes, 1, count, output_);  // write errors show in the file's length
            return count;
        }
        for (size_t i = 0; i < count; ++i) {
            std::putc(bytes[i], output_);
            codec_.Progress(codec_.outputCount, codec_.unpackedSize);
            ++codec_.outputCount;
        }
        return count;
    }

private:
    TLZSS& codec_;
    FILE* output_;
};

static_assert(2 * TLZSS::IO_BLOCK + TLZSS::RING_SIZE + 64 <= TLZSS::IO_BUFFER_BYTES,
              "the token block and the output window fit");

constexpr unsigned RING_MASK = TLZSS::RING_SIZE - 1;
constexpr size_t GROUP_BYTES = 17;  // flag byte and eight two-byte references
constexpr size_t GROUP_OUTPUT = 8 * TLZSS::MAX_MATCH;

// Appends the count (3..18) bytes that start distance (1..4096) bytes back
// from out, byte by byte in effect: a reference may overlap its own output.
// Writes up to 24 bytes; those past count are overwritten later.
inline void CopyReference(uint8_t* out, size_t distance, unsigned count) {
    const uint8_t* from = out - distance;
    if (distance >= 8) {
        // Each 8-byte piece reads only bytes that are already in place.
        uint64_t piece;
        std::memcpy(&piece, from, 8);
        std::memcpy(out, &piece, 8);
        std::memcpy(&piece, from + 8, 8);
        std::memcpy(out + 8, &piece, 8);
        std::memcpy(&piece, from + 16, 8);
        std::memcpy(out + 16, &piece, 8);
    } else if (distance == 1) {
        std::memset(out, out[-1], count);
    } else {
        for (unsigned k = 0; k < count; ++k) out[k] = from[k];
    }
}

// Number of bytes the reference bytes a, b yield.
inline unsigned ReferenceLength(uint8_t b) { return (b & 0x0Fu) + TLZSS::MIN_MATCH; }

// Expands the reference whose two bytes are at token to out, where write is
// the ring position of out (low 12 bits); returns how many bytes it made.
inline unsigned ExpandReference(const uint8_t* token, uint8_t* out, unsigned write) {
    const unsigned position = token[0] | (token[1] & 0xF0u) << 4;
    const unsigned count = ReferenceLength(token[1]);
    CopyReference(out, ((write - position - 1) & RING_MASK) + 1, count);
    return count;
}

// The decoder core: the state of one expansion and the steps that move it.
class TExpansion {
public:
    TExpansion(TLZSS& codec, FILE* input, TEntrySink& sink, TEntryInfo& info, uint8_t* buffer,
               bool byTokens)
        : codec_(codec),
          input_(input),
          sink_(sink),
          info_(info),
          byTokens_(byTokens),
          block_(buffer),
          next_(buffer),
          end_(buffer),
          window_(buffer + TLZSS::IO_BLOCK),
          windowEnd_(window_ + TLZSS::RING_SIZE + TLZSS::IO_BLOCK),
          out_(window_ + TLZSS::RING_SIZE),
          flushed_(out_),
          chunkStart_(buffer) {
        // The history before the first byte, oldest first: ring positions
        // 4078..4095 (zeros, so that a malformed reference to a position not
        // yet written yields zeros whatever an earlier entry left there),
        // then 0..4077, the spaces.
        std::memset(window_, 0, TLZSS::RING_SIZE - TLZSS::FIRST_WRITE_POS);
        std::memset(window_ + TLZSS::RING_SIZE - TLZSS::FIRST_WRITE_POS, ' ',
                    TLZSS::FIRST_WRITE_POS);
    }

    // Decodes until a stop; returns false when the sink refused.
    bool Run();

private:
    bool Ensure(size_t count);           // at least count token bytes at next_, or false at a stop
    bool Refill();                       // more token bytes into the block, or false at a stop
    bool Flush();                        // new window bytes to the sink; false when it refused
    void DecodeGroups();                 // whole groups while block and window allow
    void LocateRefusal(uint64_t taken);  // input position of the token the sink refused

    TLZSS& codec_;
    FILE* input_;
    TEntrySink& sink_;
    TEntryInfo& info_;
    const bool byTokens_;

    uint8_t* const block_;  // token bytes read from input: [block_, end_)
    const uint8_t* next_;   // next token byte to decode
    const uint8_t* end_;
    uint32_t blockBase_ = 0;  // token-stream offset of block_[0]
    uint32_t fetched_ = 0;    // token bytes read from the input so far
    bool inputEnded_ = false;

    uint8_t* const window_;  // 4096 bytes of history, then new output
    uint8_t* const windowEnd_;
    uint8_t* out_;                             // next output byte
    uint8_t* flushed_;                         // first byte not yet given to the sink
    unsigned write_ = TLZSS::FIRST_WRITE_POS;  // ring write position (low 12 bits)
    unsigned flags_ = 0;  // flag byte in bits 0-7; one-bits above it count the group's tokens

    // Where the tokens behind the bytes not yet given to the sink start, for
    // finding the token of a refused byte.
    const uint8_t* chunkStart_;
    unsigned chunkFlags_ = 0;
};

bool TExpansion::Refill() {
    if (!Flush()) return false;
    const size_t kept = static_cast<size_t>(end_ - next_);
    std::memmove(block_, next_, kept);
    blockBase_ += static_cast<uint32_t>(next_ - block_);
    next_ = chunkStart_ = block_;
    end_ = block_ + kept;
    const uint32_t left = codec_.packedSize - fetched_;
    if (left == 0) {
        info_.stop = TExpandStop::PACKED_END;
        return false;
    }
    size_t got = 0;
    if (byTokens_) {
        const int c = std::getc(input_);
        if (c != EOF) {
            block_[kept] = static_cast<uint8_t>(c);
            got = 1;
        }
    } else if (!inputEnded_) {
        size_t want = TLZSS::IO_BLOCK - kept;
        if (want > left) want = left;
        got = std::fread(block_ + kept, 1, want, input_);
        inputEnded_ = got < want;
    }
    if (got == 0) {
        info_.stop = TExpandStop::INPUT_END;
        return false;
    }
    fetched_ += static_cast<uint32_t>(got);
    codec_.packedRead = fetched_;
    end_ += got;
    return true;
}

bool TExpansion::Ensure(size_t count) {
    while (static_cast<size_t>(end_ - next_) < count) {
        if (!Refill()) return false;
    }
    return true;
}

bool TExpansion::Flush() {
    if (out_ != flushed_) {
        const size_t count = static_cast<size_t>(out_ - flushed_);
        const size_t taken = sink_.Write(flushed_, count);
        info_.produced += taken;
        if (taken < count) {
            LocateRefusal(taken);
            info_.stop = TExpandStop::SINK_REFUSED;
            return false;
        }
        flushed_ = out_;
    }
    chunkStart_ = next_;
    chunkFlags_ = flags_;
    codec_.packedRead = blockBase_ + static_cast<uint32_t>(next_ - block_);
    return true;
}

void TExpansion::LocateRefusal(uint64_t taken) {
    // Walk the chunk's tokens again up to the one that made byte `taken`:
    // a per-byte reader stops right after fetching that token.
    const uint8_t* p = chunkStart_;
    unsigned flags = chunkFlags_;
    uint64_t made = 0;
    while (made <= taken) {
        flags >>= 1;
        if ((flags & 0x100) == 0) flags = *p++ | 0xFF00u;
        if ((flags & 1) != 0) {
            ++p;
            ++made;
        } else {
            made += ReferenceLength(p[1]);
            p += 2;
        }
    }
    const uint32_t tokenRead = blockBase_ + static_cast<uint32_t>(p - block_);
    codec_.packedRead = tokenRead;
    if (fetched_ > tokenRead) {
        // Bytes read ahead go back to the input (a regular file: it can seek).
        StreamSeek(input_, -static_cast<int64_t>(fetched_ - tokenRead), SEEK_CUR);
        fetched_ = tokenRead;
    }
}

void TExpansion::DecodeGroups() {
    const uint8_t* in = next_;
    uint8_t* out = out_;
    unsigned write = write_;
    while (static_cast<size_t>(end_ - in) >= GROUP_BYTES &&
           static_cast<size_t>(windowEnd_ - out) >= GROUP_OUTPUT) {
        unsigned flags = *in++;
        if (flags == 0xFF) {  // eight literals, common in data that does not repeat
            std::memcpy(out, in, 8);
            in += 8;
            out += 8;
            write += 8;
            continue;
        }
        // Runs of literals are copied eight bytes at a time (a run ends at
        // the first zero bit, which is there at the latest above the last
        // token), each reference on its own.
        unsigned left = 8;
        for (;;) {
            const unsigned literals = static_cast<unsigned>(__builtin_ctz(~flags));
            std::memcpy(out, in, 8);
            in += literals;
            out += literals;
            write += literals;
            flags >>= literals;
            left -= literals;
            if (left == 0) break;
            const unsigned count = ExpandReference(in, out, write);
            in += 2;
            out += count;
            write += count;
            flags >>= 1;
            if (--left == 0) break;
        }
    }
    next_ = in;
    out_ = out;
    write_ = write;
}

bool TExpansion::Run() {
    for (;;) {
        // A whole group at a time where nothing can run out; flags_ stays as
        // it is, at a group boundary.
        if (!byTokens_ && (flags_ & 0x200) == 0) DecodeGroups();

        // One token with every check: make room, then take the flag byte (when
        // the group is done) and the token's bytes, or stop.
        if (windowEnd_ - out_ < TLZSS::MAX_MATCH) {
            if (!Flush()) return false;
            std::memmove(window_, out_ - TLZSS::RING_SIZE, TLZSS::RING_SIZE);
            out_ = flushed_ = window_ + TLZSS::RING_SIZE;
        }
        unsigned flags = flags_ >> 1;
        size_t flagBytes = 0;
        if ((flags & 0x100) == 0) {
            if (!Ensure(1)) break;
            flags = *next_ | 0xFF00u;
            flagBytes = 1;
        }
        if (!Ensure(flagBytes + ((flags & 1) != 0 ? 1 : 2))) break;
        flags_ = flags;
        next_ += flagBytes;
        if ((flags & 1) != 0) {
            *out_++ = *next_++;
            ++write_;
        } else {
            const unsigned count = ExpandReference(next_, out_, write_);
            next_ += 2;
            out_ += count;
            write_ += count;
        }
        if (byTokens_ && !Flush()) return false;
    }
    if (info_.stop == TExpandStop::SINK_REFUSED) return false;
    // A stop for want of input: what was decoded still goes to the sink, and
    // the failed fetch counts, as with a per-byte reader.
    if (!Flush()) return false;
    codec_.packedRead = fetched_ + 1;
    return true;
}

}  // namespace

size_t TEntrySink::Write(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!Put(bytes[i])) return i;
    }
    return count;
}

int TLZSS::Expand(FILE* input, TEntrySink& sink, TEntryInfo* infoOut) {
    TEntryInfo info;
    packedRead = 0;
    int result = 0;
    if (input != nullptr) {
        result = ExpandEntry(input, sink, info, !IsRegularFile(input));
    }
    info.inputRead = info.headerRead + info.tokenRead;
    if (infoOut != nullptr) *infoOut = info;
    return result;
}

int TLZSS::ExpandEntry(FILE* input, TEntrySink& sink, TEntryInfo& info, bool byTokens) {
    uint8_t header[HEADER_SIZE] = {};
    info.headerRead = ReadBytes(input, header, 4);
    info.magic = LoadLE32(header);
    if (info.magic != ENTRY_MAGIC) {
        info.stop = TExpandStop::BAD_MAGIC;
        return 0;
    }
    // Header bytes missing at the end of the input count as zero.
    info.headerRead += ReadBytes(input, header + 4, HEADER_SIZE - 4);
    info.time = ComposeTime(header + 4);
    unpackedSize = info.unpackedSize = LoadLE32(header + 28);
    packedSize = info.packedSize = LoadLE32(header + 32);
    if (unpackedSize == 0) {
        info.stop = TExpandStop::EMPTY_ENTRY;
        return info.Complete() ? 1 : 0;
    }

    TExpansion expansion(*this, input, sink, info, ioBuffer, byTokens);
    const bool taken = expansion.Run();
    info.tokenRead = info.stop == TExpandStop::SINK_REFUSED ? packedRead : packedRead - 1;
    return taken && info.Complete() ? 1 : 0;
}

int TLZSS::Decode(FILE* input, FILE* output) {
    packedRead = 0;
    outputCount = 0;
    if (input == nullptr || output == nullptr) return 0;

    TStreamSink sink(*this, output);
    TEntryInfo info;
    // Progress must see each byte written before the next token is fetched.
    ExpandEntry(input, sink, info, progressEnabled != 0 || !IsRegularFile(input));
    if (info.stop == TExpandStop::BAD_MAGIC) return 0;
    if (info.stop == TExpandStop::EMPTY_ENTRY) return 1;

    // The completion works on the object's own output file; should a caller
    // have none open, on the stream it passed (never on a null stream).
    FILE* target = outputFile != nullptr ? outputFile : output;
    std::fflush(target);
    StreamSeek(target, 0, SEEK_END);
    const int64_t length = StreamTell(target);
    int64_t seconds = 0;
    if (LocalToUtc(UnpackDosTime(info.time), &seconds)) SetStreamModTime(target, seconds);
    return length == static_cast<int64_t>(unpackedSize) ? 1 : 0;
}
