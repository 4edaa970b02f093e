// The decoder on arbitrary entries: Expand and Decode against the reference reading.
#include <cstdio>
#include <string>

#include "codec/lzss.h"
#include "platform/filetime.h"
#include "tests/fuzz/check_support.h"
#include "tests/fuzz/checks.h"
#include "tests/support/reference_archive.h"

namespace {

constexpr TDosTime SUMMER_2001 = {(21 << 9) | (7 << 5) | 21, (10 << 11) | (20 << 5) | 15};

// Collects what Expand gives, refusing anything beyond cap so that a
// decoder that runs on is caught instead of eating the memory.
class TCappedSink final : public TEntrySink {
public:
    TCappedSink(uint64_t cap, size_t refuseAt) : cap(cap), refuseAt(refuseAt) {}
    bool Put(uint8_t byte) override {
        if (bytes.size() == refuseAt) return false;
        if (bytes.size() >= cap) {
            overran = true;
            return false;
        }
        bytes.push_back(static_cast<char>(byte));
        return true;
    }
    uint64_t cap;
    size_t refuseAt;  // index of the byte to refuse, SIZE_MAX for none
    std::string bytes;
    bool overran = false;
};

// Decode with Progress watched: done must count up from 0, total stay unpackedSize.
class TWatchedCodec final : public TLZSS {
public:
    TWatchedCodec() : TLZSS(1) {}
    void Progress(uint32_t done, uint32_t total) override {
        if (done != calls || total != unpackedSize) wrong = true;
        ++calls;
    }
    uint64_t calls = 0;
    bool wrong = false;
};

std::string StopText(TExpandStop stop) {
    switch (stop) {
        case TExpandStop::NO_INPUT:
            return "NO_INPUT";
        case TExpandStop::BAD_MAGIC:
            return "BAD_MAGIC";
        case TExpandStop::EMPTY_ENTRY:
            return "EMPTY_ENTRY";
        case TExpandStop::PACKED_END:
            return "PACKED_END";
        case TExpandStop::INPUT_END:
            return "INPUT_END";
        case TExpandStop::SINK_REFUSED:
            return "SINK_REFUSED";
    }
    return "?";
}

TExpandStop Expected(TReferenceStop stop) {
    switch (stop) {
        case TReferenceStop::BAD_MAGIC:
            return TExpandStop::BAD_MAGIC;
        case TReferenceStop::EMPTY_ENTRY:
            return TExpandStop::EMPTY_ENTRY;
        case TReferenceStop::PACKED_END:
            return TExpandStop::PACKED_END;
        case TReferenceStop::INPUT_END:
            return TExpandStop::INPUT_END;
        case TReferenceStop::REFUSED:
            return TExpandStop::SINK_REFUSED;
    }
    return TExpandStop::NO_INPUT;
}

// The entry bytes the fuzz input stands for (see CheckDecoder).
std::string MakeEntry(const uint8_t* data, size_t size) {
    if (size == 0) return "";
    const unsigned mode = data[0] & 3;
    const unsigned variant = data[0] >> 2;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if (mode == 0) return rest;
    // Made headers: one variant in sixteen repeats the tokens 40 times, so that
    // the stream crosses the codec's 64 KiB token block and output window.
    if (mode != 2 && (variant & 15) == 15) {
        const std::string unit = rest;
        for (int i = 1; i < 40; ++i) rest += unit;
    }

    const uint32_t length = static_cast<uint32_t>(rest.size());
    const std::string probe = EntryHeader(1, length, SUMMER_2001) + rest;
    const uint32_t yields = static_cast<uint32_t>(
        ReferenceExpand(reinterpret_cast<const uint8_t*>(probe.data()), probe.size(), 0)
            .output.size());
    if (mode == 1) return EntryHeader(yields, length, SUMMER_2001) + rest;
    if (mode == 3) {
        const std::string entry = EntryHeader(yields, length, SUMMER_2001) + rest;
        return entry + entry;
    }
    // Sizes that do not fit the data: packedSize beyond it, unpackedSize off or huge.
    static const uint32_t PACKED_EXTRA[4] = {1, 1000, 0x10000, 0};
    const uint32_t packed = (variant & 3) == 3 ? 0xFFFFFFFFu : length + PACKED_EXTRA[variant & 3];
    const uint32_t unpackedChoices[4] = {yields, yields + 1, yields - 1, 0xFFFFFFFFu};
    return EntryHeader(unpackedChoices[(variant >> 2) & 3], packed, SUMMER_2001) + rest;
}

// One Expand from the current position of input, compared with the reference
// at `at`; the sink refuses the byte at refuseAt (SIZE_MAX: none).
std::string CheckExpand(const std::string& entry, FILE* input, size_t at, size_t refuseAt) {
    const TReferenceExpansion want =
        ReferenceExpand(reinterpret_cast<const uint8_t*>(entry.data()), entry.size(), at, refuseAt);
    // One object for every run: an entry must not depend on what the one before left behind.
    static TLZSS codec(0);
    TCappedSink sink(MaxExpansion(entry.size()) + 1, refuseAt);
    TEntryInfo info;
    const int result = codec.Expand(input, sink, &info);
    if (sink.overran) return "Expand gave more bytes than the token stream can describe";
    if (info.stop != Expected(want.stop))
        return "Expand stopped with " + StopText(info.stop) + ", expected " +
               StopText(Expected(want.stop));
    if (sink.bytes != want.output)
        return "Expand gave other bytes: " + Hex(sink.bytes) + " instead of " + Hex(want.output);
    if (info.produced != want.output.size())
        return Mismatch("Expand's produced count", static_cast<long long>(info.produced),
                        static_cast<long long>(want.output.size()));
    if (info.tokenRead != want.tokenRead)
        return Mismatch("token bytes read", info.tokenRead, static_cast<long long>(want.tokenRead));
    if (info.inputRead != want.consumed)
        return Mismatch("input bytes read", info.inputRead, static_cast<long long>(want.consumed));
    const long position = std::ftell(input);
    if (position != static_cast<long>(at + want.consumed))
        return Mismatch("input position after Expand", position,
                        static_cast<long long>(at + want.consumed));
    if (want.stop != TReferenceStop::BAD_MAGIC &&
        (info.unpackedSize != want.unpackedSize || info.packedSize != want.packedSize ||
         info.time.date != want.time.date || info.time.time != want.time.time))
        return "Expand read other header fields";
    if (info.tokenRead > info.packedSize) return "more token bytes read than packedSize";
    if (info.produced > MaxExpansion(info.tokenRead))
        return Mismatch("bytes from " + std::to_string(info.tokenRead) + " token bytes",
                        static_cast<long long>(info.produced),
                        static_cast<long long>(MaxExpansion(info.tokenRead)));
    if (want.stop == TReferenceStop::REFUSED) {
        if (result != 0) return "Expand succeeded although the sink refused a byte";
    } else if (result != (want.Sound() ? 1 : 0) || info.Complete() != want.Sound())
        return Mismatch("Expand's result", result, want.Sound() ? 1 : 0);
    return "";
}

// One Decode into a real file from the current position of input, by a
// codec that reports progress (byte by byte) or not (in blocks).
std::string CheckDecode(const std::string& entry, FILE* input, size_t at, bool progress) {
    const TReferenceExpansion want =
        ReferenceExpand(reinterpret_cast<const uint8_t*>(entry.data()), entry.size(), at);
    const std::string target = ScratchFolder() + "/decoded";
    static TWatchedCodec watched;
    static TWatchedCodec quiet;
    quiet.progressEnabled = 0;
    TWatchedCodec& codec = progress ? watched : quiet;
    codec.calls = 0;
    codec.wrong = false;
    if (!codec.OpenOutput(target.c_str(), -1)) return "cannot open " + target;
    const int result = codec.Decode(input, codec.outputFile);
    const bool wrote =
        want.stop != TReferenceStop::BAD_MAGIC && want.stop != TReferenceStop::EMPTY_ENTRY;
    const std::string expected = wrote ? want.output : "";
    if (result != (want.DecodeSucceeds() ? 1 : 0))
        return Mismatch("Decode's result", result, want.DecodeSucceeds() ? 1 : 0);
    const long position = std::ftell(input);
    if (position != static_cast<long>(at + want.consumed))
        return Mismatch("input position after Decode", position,
                        static_cast<long long>(at + want.consumed));
    if (codec.wrong) return "Progress was called with wrong counts";
    if (codec.calls != (progress ? expected.size() : 0))
        return Mismatch("Progress calls", static_cast<long long>(codec.calls),
                        progress ? static_cast<long long>(expected.size()) : 0);
    int64_t wantSeconds = 0;
    int64_t seconds = 0;
    if (wrote && LocalToUtc(UnpackDosTime(want.time), &wantSeconds) &&
        (!GetStreamModTime(codec.outputFile, &seconds) || seconds != wantSeconds))
        return Mismatch("time of the decoded file", seconds, wantSeconds);
    const std::string written = StreamBytes(codec.outputFile);
    if (written != expected)
        return "Decode wrote other bytes: " + Hex(written) + " instead of " + Hex(expected);
    return "";
}

}  // namespace

std::string CheckDecoder(const uint8_t* data, size_t size) {
    const std::string entry = MakeEntry(data, size);
    const bool twice = size > 0 && (data[0] & 3) == 3;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(entry.data());
    // The second copy is read from wherever the first left the input (an
    // empty entry leaves its announced token bytes unread).
    const TReferenceExpansion first = ReferenceExpand(bytes, entry.size(), 0);
    const size_t second = first.consumed;
    // A byte for the sink to refuse, somewhere in the output.
    const size_t made = first.output.size();
    const size_t refuseAt = made == 0 || size < 2 ? SIZE_MAX : (data[size - 1] * 131u) % made;

    // The input as a memory stream (read token by token) and as a real file
    // (read in blocks, with bytes read ahead given back on a refusal).
    const std::string file = ScratchFolder() + "/entry";
    if (!PutFile(file, entry)) return "cannot write " + file;
    for (const bool real : {false, true}) {
        // Long streams matter for the block reader, which only real files get.
        if (!real && entry.size() > 16384) continue;
        const std::string source = real ? "file: " : "memory: ";
        for (const size_t refuse : {SIZE_MAX, refuseAt}) {
            FILE* input = real ? std::fopen(file.c_str(), "rb") : OpenBytes(entry);
            std::string failure = CheckExpand(entry, input, 0, refuse);
            if (failure.empty() && twice && refuse == SIZE_MAX)
                failure = CheckExpand(entry, input, second, SIZE_MAX);
            std::fclose(input);
            if (!failure.empty()) return source + "Expand: " + failure;
            if (refuseAt == SIZE_MAX) break;
        }
        for (const bool progress : {true, false}) {
            // Progress costs a call per byte: long streams go through the block path alone.
            if (progress && entry.size() > 16384) continue;
            FILE* input = real ? std::fopen(file.c_str(), "rb") : OpenBytes(entry);
            std::string failure = CheckDecode(entry, input, 0, progress);
            if (failure.empty() && twice) failure = CheckDecode(entry, input, second, progress);
            std::fclose(input);
            if (!failure.empty()) return source + "Decode: " + failure;
        }
    }

    // Without an output stream Decode fails at once and reads nothing.
    FILE* input = OpenBytes(entry);
    static TLZSS codec(0);
    const int result = codec.Decode(input, nullptr);
    const long position = std::ftell(input);
    std::fclose(input);
    if (result != 0 || position != 0) return "Decode without output read or succeeded";
    return "";
}
