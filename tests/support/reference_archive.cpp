// The reference reading of archives: a byte array, a ring, and nothing shared with the codec.
#include "tests/support/reference_archive.h"

namespace {

constexpr uint32_t MAGIC = 0x00137457;
constexpr size_t HEADER = 36;
constexpr unsigned RING = 4096;
constexpr unsigned START = 4078;

uint32_t Field(const uint8_t* header, size_t at) {
    return static_cast<uint32_t>(header[at]) | static_cast<uint32_t>(header[at + 1]) << 8 |
           static_cast<uint32_t>(header[at + 2]) << 16 |
           static_cast<uint32_t>(header[at + 3]) << 24;
}

}  // namespace

bool TReferenceExpansion::DecodeSucceeds() const {
    if (stop == TReferenceStop::BAD_MAGIC) return false;
    if (stop == TReferenceStop::EMPTY_ENTRY) return true;
    return output.size() == unpackedSize;
}

bool TReferenceExpansion::Sound() const {
    if (headerRead != HEADER || stop == TReferenceStop::BAD_MAGIC) return false;
    if (stop == TReferenceStop::EMPTY_ENTRY) return packedSize == 0;
    return stop == TReferenceStop::PACKED_END && tokenRead == packedSize &&
           output.size() == unpackedSize;
}

TReferenceExpansion ReferenceExpand(const uint8_t* data, size_t size, size_t at, size_t refuseAt) {
    TReferenceExpansion e;
    const size_t available = size - at;
    uint8_t header[HEADER] = {};
    e.headerRead = available < HEADER ? available : HEADER;
    for (size_t i = 0; i < e.headerRead; ++i) header[i] = data[at + i];
    e.magic = Field(header, 0);
    if (e.magic != MAGIC) {
        e.stop = TReferenceStop::BAD_MAGIC;
        e.headerRead = available < 4 ? available : 4;
        e.consumed = e.headerRead;
        return e;
    }
    const uint32_t widths[6] = {0x1F, 0x3F, 0x1F, 0x1F, 0x0F, 0x7F};
    uint32_t f[6];
    for (int i = 0; i < 6; ++i) f[i] = Field(header, 4 + 4 * i) & widths[i];
    e.time.time = static_cast<uint16_t>(f[0] | f[1] << 5 | f[2] << 11);
    e.time.date = static_cast<uint16_t>(f[3] | f[4] << 5 | f[5] << 9);
    e.unpackedSize = Field(header, 28);
    e.packedSize = Field(header, 32);
    e.consumed = e.headerRead;
    if (e.unpackedSize == 0) {
        e.stop = TReferenceStop::EMPTY_ENTRY;
        return e;
    }

    uint8_t ring[RING];
    for (unsigned i = 0; i < RING; ++i) ring[i] = i < START ? ' ' : 0;
    unsigned w = START;
    size_t next = at + e.headerRead;
    // The next token byte, or -1 when packedSize is used up or the data ends.
    auto fetch = [&]() -> int {
        if (e.tokenRead >= e.packedSize) {
            e.stop = TReferenceStop::PACKED_END;
            return -1;
        }
        if (next >= size) {
            e.stop = TReferenceStop::INPUT_END;
            return -1;
        }
        ++e.tokenRead;
        return data[next++];
    };
    // Appends x, or refuses it (false) at refuseAt.
    auto put = [&](uint8_t x) {
        if (e.output.size() == refuseAt) {
            e.stop = TReferenceStop::REFUSED;
            return false;
        }
        e.output.push_back(static_cast<char>(x));
        ring[w] = x;
        w = (w + 1) % RING;
        return true;
    };
    for (;;) {
        const int flags = fetch();
        if (flags < 0) break;
        bool stopped = false;
        for (int bit = 0; bit < 8 && !stopped; ++bit) {
            if (flags & (1 << bit)) {
                const int x = fetch();
                stopped = x < 0 || !put(static_cast<uint8_t>(x));
                continue;
            }
            const int a = fetch();
            const int b = a < 0 ? -1 : fetch();
            if (b < 0) {
                stopped = true;
                continue;
            }
            const unsigned position = static_cast<unsigned>(a) | (static_cast<unsigned>(b) >> 4)
                                                                     << 8;
            const unsigned length = (static_cast<unsigned>(b) & 0x0F) + 3;
            for (unsigned k = 0; k < length && !stopped; ++k)
                stopped = !put(ring[(position + k) % RING]);
        }
        if (stopped) break;
    }
    e.consumed = e.headerRead + e.tokenRead;
    return e;
}

uint64_t MaxExpansion(uint64_t tokenBytes) {
    const uint64_t groups = tokenBytes / 17;
    const uint64_t rest = tokenBytes % 17;
    const uint64_t last = rest == 0 ? 0 : 18 * ((rest - 1) / 2) + (rest - 1) % 2;
    return 144 * groups + last;
}

TReferenceArchive ReferenceWalk(const std::string& archive) {
    TReferenceArchive walk;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(archive.data());
    const size_t size = archive.size();
    size_t at = 0;
    if (size >= 2) {
        walk.countComplete = true;
        const int raw = data[0] | data[1] << 8;
        walk.count = raw >= 0x8000 ? raw - 0x10000 : raw;
        at = 2;
    } else {
        at = size;
    }
    for (int i = 0; i < walk.count; ++i) {
        TReferenceEntry entry;
        entry.offset = at;
        size_t length = 0;
        bool complete = size - at >= 2;
        if (complete) length = data[at] | data[at + 1] << 8;
        at = complete ? at + 2 : size;
        const size_t present = size - at < length ? size - at : length;
        complete = complete && present == length;
        std::string raw(reinterpret_cast<const char*>(data + at), present);
        at += present;
        entry.name = raw.substr(0, raw.find('\0'));
        entry.nameComplete = complete;
        entry.headerOffset = at;
        if (complete) {
            entry.data = ReferenceExpand(data, size, at);
            at += entry.data.consumed;
        }
        entry.end = at;
        walk.entries.push_back(entry);
        if (!complete) break;
    }
    return walk;
}

std::string LE32(uint32_t value) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((value >> shift) & 0xFF);
    return bytes;
}

std::string EntryHeader(uint32_t unpackedSize, uint32_t packedSize, TDosTime time) {
    return LE32(MAGIC) + LE32(time.time & 0x1F) + LE32((time.time >> 5) & 0x3F) +
           LE32(time.time >> 11) + LE32(time.date & 0x1F) + LE32((time.date >> 5) & 0x0F) +
           LE32(time.date >> 9) + LE32(unpackedSize) + LE32(packedSize);
}
