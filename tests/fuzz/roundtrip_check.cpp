// Encode then decode: every input comes back, and the entry is consumed exactly.
#include <cstdio>
#include <cstring>
#include <string>

#include "codec/lzss.h"
#include "tests/fuzz/check_support.h"
#include "tests/fuzz/checks.h"
#include "tests/support/reference_archive.h"

namespace {

constexpr TDosTime NEW_YEAR_2000 = {(20 << 9) | (1 << 5) | 1, 0};
const std::string TAIL = "TAIL";  // what follows the entry in the stream

// All bytes of an entry Encode writes for input, by codec.
std::string EncodeWith(TLZSS& codec, const std::string& input) {
    FILE* in = OpenBytes(input);
    const std::string path = ScratchFolder() + "/encoded";
    FILE* out = std::fopen(path.c_str(), "wb+");
    if (out == nullptr) return "";
    codec.Encode(in, out, NEW_YEAR_2000);
    std::string entry = StreamBytes(out);
    std::fclose(in);
    std::fclose(out);
    return entry;
}

class TStringSink final : public TEntrySink {
public:
    bool Put(uint8_t byte) override {
        bytes.push_back(static_cast<char>(byte));
        return true;
    }
    std::string bytes;
};

}  // namespace

std::string CheckRoundTrip(const uint8_t* data, size_t size) {
    std::string input;
    if (size > 0) {
        const std::string unit(reinterpret_cast<const char*>(data + 1), size - 1);
        for (unsigned i = 0; i <= (data[0] & 15u); ++i) input += unit;
    }

    // Encoding depends on the input alone: two codecs with different pasts
    // (one has encoded every earlier input, the other finds its ring and
    // tree scribbled over) give the same bytes.
    static TLZSS used(0);
    static TLZSS scribbled(0);
    const uint8_t scribble = size > 0 ? data[size - 1] : 0;
    std::memset(scribbled.ring, scribble, TLZSS::RING_BYTES);
    std::memset(scribbled.leftChild, scribble, sizeof(int32_t) * (TLZSS::RING_SIZE + 1));
    std::memset(scribbled.rightChild, scribble, sizeof(int32_t) * (TLZSS::ROOT_BASE + 256));
    std::memset(scribbled.parent, scribble, sizeof(int32_t) * (TLZSS::RING_SIZE + 1));
    const std::string entry = EncodeWith(used, input);
    if (EncodeWith(scribbled, input) != entry) return "Encode depends on what the codec did before";

    const uint64_t n = input.size();
    const uint64_t literalBound = n + (n + 7) / 8;
    if (entry.size() < 36) return "Encode wrote no whole header";
    if (scribbled.unpackedSize != n) return Mismatch("unpackedSize", scribbled.unpackedSize, n);
    if (entry.size() != 36 + uint64_t{scribbled.packedSize})
        return Mismatch("entry size", static_cast<long long>(entry.size()),
                        36 + static_cast<long long>(scribbled.packedSize));
    if (scribbled.packedSize > literalBound)
        return Mismatch("packed size", scribbled.packedSize, static_cast<long long>(literalBound));

    const TReferenceExpansion reference =
        ReferenceExpand(reinterpret_cast<const uint8_t*>(entry.data()), entry.size(), 0);
    if (!reference.Sound() || reference.output != input)
        return "the reference reading does not give the input back";

    // Through Expand and Decode, from memory (token by token) and from a real
    // file (in blocks), with something after the entry that must stay unread.
    const std::string stream = entry + TAIL;
    const std::string file = ScratchFolder() + "/roundtrip-in";
    if (!PutFile(file, stream)) return "cannot write " + file;
    static TLZSS decoder(0);
    for (const bool real : {false, true}) {
        const std::string source = real ? "file: " : "memory: ";
        FILE* in = real ? std::fopen(file.c_str(), "rb") : OpenBytes(stream);
        TStringSink sink;
        TEntryInfo info;
        const int sound = decoder.Expand(in, sink, &info);
        char after[4] = {};
        const long position = std::ftell(in);
        const size_t tail = std::fread(after, 1, sizeof after, in);
        std::fclose(in);
        if (sound != 1 || sink.bytes != input)
            return source + "Expand does not give the input back";
        if (position != static_cast<long>(entry.size()) || tail != 4 ||
            TAIL.compare(0, 4, after, 4) != 0)
            return Mismatch(source + "input position after Expand", position,
                            static_cast<long long>(entry.size()));

        in = real ? std::fopen(file.c_str(), "rb") : OpenBytes(stream);
        const std::string target = ScratchFolder() + "/roundtrip";
        decoder.OpenOutput(target.c_str(), -1);
        const int decoded = decoder.Decode(in, decoder.outputFile);
        const long decodedAt = std::ftell(in);
        std::fclose(in);
        const std::string written = StreamBytes(decoder.outputFile);
        if (decoded != 1 || written != input) return source + "Decode does not give the input back";
        if (decodedAt != static_cast<long>(entry.size()))
            return Mismatch(source + "input position after Decode", decodedAt,
                            static_cast<long long>(entry.size()));
    }
    return "";
}
