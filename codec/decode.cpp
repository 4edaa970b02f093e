// The decoder: Expand reads one entry into a sink; Decode puts it into a file.
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

// Decode's sink: every byte goes to the output stream, then to Progress.
class TStreamSink final : public TEntrySink {
public:
    TStreamSink(TLZSS& codec, FILE* output) : codec_(codec), output_(output) {}

    bool Put(uint8_t byte) override {
        std::putc(byte, output_);
        if (codec_.progressEnabled != 0) {
            codec_.Progress(codec_.outputCount, codec_.unpackedSize);
            ++codec_.outputCount;
        }
        return true;
    }

private:
    TLZSS& codec_;
    FILE* output_;
};

// Reads token-stream bytes of one entry, never more than packedSize of them.
class TTokenReader {
public:
    TTokenReader(TLZSS& codec, FILE* input, TEntryInfo& info)
        : codec_(codec), input_(input), info_(info) {}

    // The next token byte, or -1 after recording why there is none.
    int Fetch() {
        const bool limitReached = codec_.packedRead >= codec_.packedSize;
        ++codec_.packedRead;
        if (limitReached) {
            info_.stop = TExpandStop::PACKED_END;
            return -1;
        }
        const int c = std::getc(input_);
        if (c == EOF) {
            info_.stop = TExpandStop::INPUT_END;
            return -1;
        }
        ++info_.tokenRead;
        return c;
    }

private:
    TLZSS& codec_;
    FILE* input_;
    TEntryInfo& info_;
};

}  // namespace

int TLZSS::Expand(FILE* input, TEntrySink& sink, TEntryInfo* infoOut) {
    TEntryInfo info;
    packedRead = 0;
    int result = 0;
    if (input != nullptr) {
        result = ExpandEntry(input, sink, info);
    }
    info.inputRead = info.headerRead + info.tokenRead;
    if (infoOut != nullptr) *infoOut = info;
    return result;
}

int TLZSS::ExpandEntry(FILE* input, TEntrySink& sink, TEntryInfo& info) {
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

    // 4078..4095 are cleared too, so that a malformed reference to a position
    // not yet written yields zeros whatever an earlier entry left there.
    std::memset(ring, ' ', FIRST_WRITE_POS);
    std::memset(ring + FIRST_WRITE_POS, 0, RING_SIZE - FIRST_WRITE_POS);
    TTokenReader reader(*this, input, info);
    unsigned write = FIRST_WRITE_POS;
    // Hands one byte to the sink and appends it to the ring.
    auto emit = [&](uint8_t x) {
        if (!sink.Put(x)) {
            info.stop = TExpandStop::SINK_REFUSED;
            return false;
        }
        ++info.produced;
        ring[write] = x;
        write = (write + 1) % RING_SIZE;
        return true;
    };
    unsigned flags = 0;  // flag byte in bits 0-7; one-bits above it count the group's tokens
    for (;;) {
        flags >>= 1;
        if ((flags & 0x100) == 0) {
            const int c = reader.Fetch();
            if (c < 0) break;
            flags = static_cast<unsigned>(c) | 0xFF00;
        }
        if ((flags & 1) != 0) {
            const int literal = reader.Fetch();
            if (literal < 0) break;
            if (!emit(static_cast<uint8_t>(literal))) return 0;
            continue;
        }
        const int a = reader.Fetch();
        if (a < 0) break;
        const int b = reader.Fetch();
        if (b < 0) break;
        const unsigned position = static_cast<unsigned>(a) | (static_cast<unsigned>(b) & 0xF0) << 4;
        const unsigned count = (static_cast<unsigned>(b) & 0x0F) + MIN_MATCH;
        for (unsigned k = 0; k < count; ++k) {
            // Read after the bytes before it are stored: a reference may overlap its own output.
            if (!emit(ring[(position + k) % RING_SIZE])) return 0;
        }
    }
    return info.Complete() ? 1 : 0;
}

int TLZSS::Decode(FILE* input, FILE* output) {
    packedRead = 0;
    outputCount = 0;
    if (input == nullptr || output == nullptr) return 0;

    TStreamSink sink(*this, output);
    TEntryInfo info;
    Expand(input, sink, &info);
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
