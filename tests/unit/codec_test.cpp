// TLZSS: token streams of the encoder, the decoder's stops, round trips and the match tree.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codec/lzss.h"
#include "platform/system.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Repeat(const Bytes& unit, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i) out = Cat(out, unit);
    return out;
}

// The first n bytes.
Bytes Prefix(const Bytes& bytes, size_t n) { return Bytes(bytes.begin(), bytes.begin() + n); }

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

void PutLE32(Bytes* out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out->push_back(static_cast<uint8_t>(value >> shift));
}

// 1995-12-24 12:30:30, the time of the worked example.
constexpr TDosTime CHRISTMAS_1995 = {0x1F98, 0x63CF};
// 2001-07-15 10:20:30, the time of the hand-built failure entries.
constexpr TDosTime JULY_2001 = {(21 << 9) | (7 << 5) | 15, (10 << 11) | (20 << 5) | 15};

// A 36-byte entry header.
Bytes Header(uint32_t unpacked, uint32_t packed, TDosTime time = JULY_2001) {
    Bytes out;
    PutLE32(&out, TLZSS::ENTRY_MAGIC);
    PutLE32(&out, time.time & 0x1F);
    PutLE32(&out, (time.time >> 5) & 0x3F);
    PutLE32(&out, time.time >> 11);
    PutLE32(&out, time.date & 0x1F);
    PutLE32(&out, (time.date >> 5) & 0x0F);
    PutLE32(&out, time.date >> 9);
    PutLE32(&out, unpacked);
    PutLE32(&out, packed);
    return out;
}

uint32_t LoadLE32(const Bytes& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// Deterministic data of a few kinds (std::mt19937's raw output is fixed by the standard).
Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(gen() >> 24);
    return out;
}

Bytes TextLike(size_t n, uint32_t seed) {
    static const char* const WORDS[] = {"the ",  "codec ",     "ring ",      "match ",
                                        "tree ", "entry ",     "installer ", "SETUP.TMP ",
                                        "\r\n",  "0123456789 "};
    std::mt19937 gen(seed);
    Bytes out;
    while (out.size() < n) {
        const char* word = WORDS[gen() % 10];
        out.insert(out.end(), word, word + std::strlen(word));
    }
    out.resize(n);
    return out;
}

Bytes Runs(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes out;
    while (out.size() < n) out.insert(out.end(), 1 + gen() % 40, static_cast<uint8_t>(gen() % 4));
    out.resize(n);
    return out;
}

// A private folder of real files, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() /
                ("velto-codec-" + std::to_string(seed()) + "-" + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    // A fresh path in the folder.
    std::string NewPath() { return (path_ / ("f" + std::to_string(++count_))).string(); }

    // A file holding bytes, open "rb+" at its start.
    FILE* WithBytes(const Bytes& bytes) {
        const std::string path = NewPath();
        FILE* f = std::fopen(path.c_str(), "wb+");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
        return f;
    }

private:
    std::filesystem::path path_;
    int count_ = 0;
};

Bytes ReadAll(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    Bytes out;
    for (int c; (c = std::getc(f)) != EOF;) out.push_back(static_cast<uint8_t>(c));
    return out;
}

// Collects Expand's output in memory; refuses after `limit` bytes.
class TMemorySink final : public TEntrySink {
public:
    explicit TMemorySink(size_t limit = SIZE_MAX) : limit_(limit) {}
    bool Put(uint8_t byte) override {
        if (bytes.size() >= limit_) return false;
        bytes.push_back(byte);
        return true;
    }
    Bytes bytes;

private:
    size_t limit_;
};

class CodecTest : public ::testing::Test {
protected:
    // The entry Encode writes for input, with a given time.
    Bytes EncodeWith(TLZSS& codec, const Bytes& input, TDosTime time = JULY_2001) {
        FILE* in = dir.WithBytes(input);
        FILE* out = dir.WithBytes({});
        EXPECT_EQ(codec.Encode(in, out, time), 1);
        Bytes entry = ReadAll(out);
        std::fclose(in);
        std::fclose(out);
        return entry;
    }
    Bytes EncodeFresh(const Bytes& input, TDosTime time = JULY_2001) {
        TLZSS codec(0);
        return EncodeWith(codec, input, time);
    }

    struct Decoded {
        int result;
        long inputPosition;  // where Decode left the input
        Bytes output;
    };
    // Decodes the entry at the start of stream into a new outputFile of codec
    // (left open, so that its time can be read).
    Decoded DecodeWith(TLZSS& codec, const Bytes& stream) {
        FILE* in = dir.WithBytes(stream);
        codec.OpenOutput(dir.NewPath().c_str(), -1);
        Decoded d;
        d.result = codec.Decode(in, codec.outputFile);
        d.inputPosition = std::ftell(in);
        d.output = ReadAll(codec.outputFile);
        std::fclose(in);
        return d;
    }

    // The local calendar time of the file behind stream.
    static TCalendarTime TimeOf(FILE* stream) {
        int64_t seconds = 0;
        TCalendarTime local{};
        EXPECT_TRUE(GetStreamModTime(stream, &seconds));
        EXPECT_TRUE(UtcToLocal(seconds, &local));
        return local;
    }

    TempDir dir;
};

bool SameTime(const TCalendarTime& a, const TCalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

// ---------------------------------------------------------------------------
// Encoder token streams

struct EncoderCase {
    const char* what;
    Bytes input;
    uint32_t packedSize;
    Bytes tokens;  // the bytes after the 36-byte header
};

const EncoderCase ENCODER_CASES[] = {
    // nothing to code: the header alone
    {"empty", {}, 0, {}},
    // flag 07: three literals
    {"abc", Text("abc"), 4, {0x07, 'a', 'b', 'c'}},
    // literal 'a', then Position 4078 Length 9 (overlapping its own output)
    {"ten a", Bytes(10, 'a'), 4, {0x01, 'a', 0xEE, 0xF6}},
    // three literals, then Position 4078 Length 9
    {"abc four times", Repeat(Text("abc"), 4), 6, {0x07, 'a', 'b', 'c', 0xEE, 0xF6}},
    // eight literals fill one group, written inside the loop; no second group
    {"eight letters", Text("abcdefgh"), 9, {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
    // a full group, then a group of one literal
    {"nine letters",
     Text("abcdefghi"),
     11,
     {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x01, 'i'}},
    // literal, Length 18 at 4078, Length 18 at 0, Length 3 at 4
    {"forty a", Bytes(40, 'a'), 8, {0x01, 'a', 0xEE, 0xFF, 0x00, 0x0F, 0x04, 0x00}},
    // Position 4077 Length 3: three spaces from the initial fill (first match found wins)
    {"three spaces", Bytes(3, ' '), 3, {0x00, 0xED, 0xF0}},
};

TEST_F(CodecTest, EncoderWritesTheKnownTokenStreams) {
    for (const auto& c : ENCODER_CASES) {
        SCOPED_TRACE(c.what);
        const Bytes entry = EncodeFresh(c.input);
        ASSERT_EQ(entry.size(), 36 + c.tokens.size());
        EXPECT_EQ(LoadLE32(entry, 28), c.input.size());
        EXPECT_EQ(LoadLE32(entry, 32), c.packedSize);
        EXPECT_EQ(Bytes(entry.begin(), entry.begin() + 36),
                  Header(static_cast<uint32_t>(c.input.size()), c.packedSize));
        EXPECT_EQ(Bytes(entry.begin() + 36, entry.end()), c.tokens);

        TLZSS codec(0);
        const Decoded d = DecodeWith(codec, entry);
        EXPECT_EQ(d.result, 1);
        EXPECT_EQ(d.output, c.input);
        EXPECT_EQ(d.inputPosition, static_cast<long>(entry.size()));
    }
}

TEST_F(CodecTest, EncoderWritesTheWorkedExampleWithItsTime) {
    const Bytes expected = {
        0x57, 0x74, 0x13, 0x00,  // magic
        0x0F, 0x00, 0x00, 0x00,  // 30 seconds / 2
        0x1E, 0x00, 0x00, 0x00,  // 30 minutes
        0x0C, 0x00, 0x00, 0x00,  // 12 hours
        0x18, 0x00, 0x00, 0x00,  // day 24
        0x0C, 0x00, 0x00, 0x00,  // December
        0x0F, 0x00, 0x00, 0x00,  // 1995 - 1980
        0x03, 0x00, 0x00, 0x00,  // unpackedSize
        0x04, 0x00, 0x00, 0x00,  // packedSize
        0x07, 0x61, 0x62, 0x63,  // three literals: abc
    };
    TDosTime time = PackDosTime(TCalendarTime{1995, 12, 24, 12, 30, 30}, nullptr);
    EXPECT_EQ(EncodeFresh(Text("abc"), time), expected);
}

TEST_F(CodecTest, EncodeReportsSizesAndLeavesOutputAtTheEnd) {
    TLZSS codec(0);
    FILE* in = dir.WithBytes(Repeat(Text("abc"), 4));
    FILE* out = dir.WithBytes(Text("prefix"));
    std::fseek(out, 0, SEEK_END);
    ASSERT_EQ(codec.Encode(in, out, JULY_2001), 1);
    EXPECT_EQ(codec.unpackedSize, 12u);
    EXPECT_EQ(codec.packedSize, 6u);
    EXPECT_EQ(std::ftell(out), 6 + 36 + 6);
    std::fclose(in);
    std::fclose(out);
}

TEST_F(CodecTest, EncodeWithANullStreamWritesNothing) {
    TLZSS codec(0);
    FILE* file = dir.WithBytes(Text("data"));
    codec.unpackedSize = 7;
    codec.packedSize = 7;
    EXPECT_EQ(codec.Encode(nullptr, file), 0);
    EXPECT_EQ(codec.unpackedSize, 0u);
    EXPECT_EQ(codec.packedSize, 0u);
    EXPECT_EQ(codec.Encode(file, nullptr, JULY_2001), 0);
    EXPECT_EQ(std::ftell(file), 0);
    EXPECT_EQ(ReadAll(file), Text("data"));
    std::fclose(file);
}

// Inputs under 35 bytes compare ring bytes beyond the input that no earlier
// step of this Encode has written; what is left there must not matter.
TEST_F(CodecTest, ShortInputsEncodeAsOnAFreshObjectWhateverCameBefore) {
    const Bytes inputs[] = {
        Text("a"),
        Bytes(34, 0x00),       // zeros match the cleared ring tail
        Bytes(20, ' '),        // spaces match the initial fill
        Text("abababababab"),  // many equally long matches
        Bytes(30, 0xFF),       // matches whatever the history left
        Cat(Bytes(10, 0), Bytes(10, 0xFF)),
    };
    const Bytes history = RandomBytes(5000, 7);
    for (const Bytes& input : inputs) {
        SCOPED_TRACE(input.size());
        const Bytes fresh = EncodeFresh(input);

        TLZSS afterEncode(0);
        EncodeWith(afterEncode, Cat(history, Bytes(100, 0xFF)));
        EXPECT_EQ(EncodeWith(afterEncode, input), fresh);

        TLZSS afterDecode(0);
        DecodeWith(afterDecode, EncodeFresh(Cat(Bytes(4200, 0xFF), history)));
        EXPECT_EQ(EncodeWith(afterDecode, input), fresh);

        TLZSS scribbled(0);
        std::memset(scribbled.ring, 0xFF, TLZSS::RING_BYTES);
        EXPECT_EQ(EncodeWith(scribbled, input), fresh);
    }
}

TEST_F(CodecTest, EncodeTakesTheTimeOfTheInputFile) {
    const TCalendarTime when{2003, 4, 5, 6, 7, 8};
    int64_t seconds = 0;
    ASSERT_TRUE(LocalToUtc(when, &seconds));
    FILE* in = dir.WithBytes(Text("abc"));
    ASSERT_TRUE(SetStreamModTime(in, seconds));
    FILE* out = dir.WithBytes({});
    TLZSS codec(0);
    ASSERT_EQ(codec.Encode(in, out), 1);
    const Bytes entry = ReadAll(out);
    EXPECT_EQ(Bytes(entry.begin(), entry.begin() + 36), Header(3, 4, PackDosTime(when, nullptr)));
    std::fclose(in);
    std::fclose(out);
}

TEST_F(CodecTest, EncodeClampsAnInputFileTimeBefore1980) {
    int64_t seconds = 0;
    ASSERT_TRUE(LocalToUtc(TCalendarTime{1975, 6, 1, 12, 0, 0}, &seconds));
    FILE* in = dir.WithBytes(Text("abc"));
    ASSERT_TRUE(SetStreamModTime(in, seconds));
    FILE* out = dir.WithBytes({});
    TLZSS codec(0);
    ASSERT_EQ(codec.Encode(in, out), 1);
    const Bytes entry = ReadAll(out);
    // 1980-01-01 00:00:00: day 1, month 1, all else 0
    EXPECT_EQ(Bytes(entry.begin(), entry.begin() + 36), Header(3, 4, TDosTime{0x21, 0}));
    std::fclose(in);
    std::fclose(out);
}

// A stream with no file behind it.
FILE* PipeHolding(const Bytes& bytes) {
    int fds[2];
#ifdef _WIN32
    if (_pipe(fds, 4096, _O_BINARY) != 0) return nullptr;
    _write(fds[1], bytes.data(), static_cast<unsigned>(bytes.size()));
    _close(fds[1]);
    return _fdopen(fds[0], "rb");
#else
    if (pipe(fds) != 0) return nullptr;
    if (write(fds[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return nullptr;
    close(fds[1]);
    return fdopen(fds[0], "rb");
#endif
}

TEST_F(CodecTest, EncodeGivesAStreamWithoutAFileTheTime1980) {
    FILE* in = PipeHolding(Text("abc"));
    ASSERT_NE(in, nullptr);
    FILE* out = dir.WithBytes({});
    TLZSS codec(0);
    ASSERT_EQ(codec.Encode(in, out), 1);
    const Bytes entry = ReadAll(out);
    EXPECT_EQ(entry, Cat(Header(3, 4, TDosTime{0x21, 0}), {0x07, 'a', 'b', 'c'}));
    std::fclose(in);
    std::fclose(out);
}

#ifndef _WIN32
// (POSIX only: the Windows runtime reports positions on pipes.)
TEST_F(CodecTest, EncodeIntoAStreamThatCannotSeekAppendsNothing) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* out = fdopen(fds[1], "wb");
    FILE* in = dir.WithBytes(Text("abc"));
    TLZSS codec(0);
    EXPECT_EQ(codec.Encode(in, out, JULY_2001), 1);
    std::fclose(out);
    FILE* written = fdopen(fds[0], "rb");
    Bytes entry;
    for (int c; (c = std::getc(written)) != EOF;) entry.push_back(static_cast<uint8_t>(c));
    // the sizes stay the zero placeholders; nothing follows the tokens
    EXPECT_EQ(entry, Cat(Header(0, 0), {0x07, 'a', 'b', 'c'}));
    std::fclose(written);
    std::fclose(in);
}
#endif

// ---------------------------------------------------------------------------
// Decoder

struct DecoderCase {
    const char* what;
    Bytes entry;
    Bytes output;
};

const DecoderCase DECODER_CASES[] = {
    // Position 4077 Length 3: one space from the initial fill, two just written
    {"reference into the spaces", Cat(Header(3, 3), {0x00, 0xED, 0xF0}), Bytes(3, ' ')},
    // literal 'a', then Position 4078 Length 9 overlapping its own output
    {"overlapping reference", Cat(Header(10, 4), {0x01, 'a', 0xEE, 0xF6}), Bytes(10, 'a')},
    // flag FF promises eight literals; packedSize stops after three
    {"short last group", Cat(Header(3, 4), {0xFF, 'a', 'b', 'c'}), Text("abc")},
    // a group of eight literals, then a new flag byte for a ninth
    {"second group", Cat(Header(9, 11), {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x01, 'i'}),
     Text("abcdefghi")},
    // Position 4095 Length 3 wraps to 0 and 1: a space, then the two spaces at 0 and 1
    {"reference wrapping the ring", Cat(Header(3, 3), {0x00, 0xFF, 0xF0}), {0, ' ', ' '}},
};

TEST_F(CodecTest, DecoderExpandsHandBuiltEntries) {
    for (const auto& c : DECODER_CASES) {
        SCOPED_TRACE(c.what);
        TLZSS codec(0);
        const Decoded d = DecodeWith(codec, Cat(c.entry, Text("next")));
        EXPECT_EQ(d.result, 1);
        EXPECT_EQ(d.output, c.output);
        EXPECT_EQ(d.inputPosition, static_cast<long>(c.entry.size()));
    }
}

TEST_F(CodecTest, DecodeRestoresTheWorkedExampleAndItsTime) {
    const Bytes entry = Cat(Header(3, 4, CHRISTMAS_1995), {0x07, 'a', 'b', 'c'});
    TLZSS codec(0);
    const std::string path = dir.NewPath();
    FILE* in = dir.WithBytes(entry);
    ASSERT_EQ(codec.OpenOutput(path.c_str(), -1), 1);
    EXPECT_EQ(codec.Decode(in, codec.outputFile), 1);
    EXPECT_EQ(std::ftell(in), 40);
    std::fclose(in);
    std::fclose(codec.outputFile);  // closing must not disturb the time just set
    codec.outputFile = nullptr;

    FILE* written = std::fopen(path.c_str(), "rb");
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(ReadAll(written), Text("abc"));
    EXPECT_TRUE(SameTime(TimeOf(written), TCalendarTime{1995, 12, 24, 12, 30, 30}));
    std::fclose(written);
}

struct FailureCase {
    const char* what;
    Bytes stream;
    int result;
    long inputPosition;
    Bytes output;
    bool timeSet;  // the output file got the header's time
};

const FailureCase FAILURE_CASES[] = {
    // one bit off in the magic: four bytes consumed, nothing written
    {"wrong magic", Cat({0x58, 0x74, 0x13, 0x00}, Bytes(40, 0)), 0, 4, {}, false},
    // no byte at all
    {"empty input", {}, 0, 0, {}, false},
    // the header ends after the magic: sizes read as 0, success with nothing written
    {"header cut after the magic", {0x57, 0x74, 0x13, 0x00}, 1, 4, {}, false},
    // unpackedSize 0: the header alone, the token bytes behind it stay unread
    {"empty entry", Cat(Header(0, 4), {0x07, 'a', 'b', 'c'}), 1, 36, {}, false},
    // literal 'a', then the input ends inside the reference
    {"input ends in the token stream", Cat(Header(10, 4), {0x01, 'a', 0xEE}), 0, 39, Text("a"),
     true},
    // the header announces 3 bytes of packedSize: cut after its first two
    {"header cut in packedSize", Prefix(Header(3, 4), 34), 0, 34, {}, true},
    // packedSize 2 stops before the reference: the rest stays unread
    {"packedSize smaller than the stream", Cat(Header(10, 2), {0x01, 'a', 0xEE, 0xF6}), 0, 38,
     Text("a"), true},
    // ten bytes produced, five announced: all ten are written
    {"more bytes than announced", Cat(Header(5, 4), {0x01, 'a', 0xEE, 0xF6}), 0, 40, Bytes(10, 'a'),
     true},
    // ten bytes produced, twelve announced
    {"fewer bytes than announced", Cat(Header(12, 4), {0x01, 'a', 0xEE, 0xF6}), 0, 40,
     Bytes(10, 'a'), true},
};

TEST_F(CodecTest, DecoderStopsAsDescribedOnEveryFailure) {
    const TCalendarTime headerTime = UnpackDosTime(JULY_2001);
    for (const auto& c : FAILURE_CASES) {
        SCOPED_TRACE(c.what);
        TLZSS codec(0);
        const Decoded d = DecodeWith(codec, c.stream);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.inputPosition, c.inputPosition);
        EXPECT_EQ(d.output, c.output);
        EXPECT_EQ(SameTime(TimeOf(codec.outputFile), headerTime), c.timeSet);
    }
}

TEST_F(CodecTest, DecodeWithANullStreamReadsNothing) {
    TLZSS codec(0);
    FILE* in = dir.WithBytes(Cat(Header(3, 4), {0x07, 'a', 'b', 'c'}));
    EXPECT_EQ(codec.Decode(in, nullptr), 0);
    EXPECT_EQ(std::ftell(in), 0);
    FILE* out = dir.WithBytes({});
    EXPECT_EQ(codec.Decode(nullptr, out), 0);
    EXPECT_EQ(ReadAll(out), Bytes{});
    std::fclose(in);
    std::fclose(out);
}

// A malformed reference to ring positions no byte has been written to yet
// reads zeros, also after earlier entries have filled them.
TEST_F(CodecTest, ReferenceToUnwrittenRingReadsZerosWhateverCameBefore) {
    const Bytes malformed = Cat(Header(3, 3), {0x00, 0xF6, 0xF0});  // Position 4086, Length 3
    TLZSS codec(0);
    EXPECT_EQ(DecodeWith(codec, malformed).output, Bytes(3, 0));
    DecodeWith(codec, EncodeFresh(RandomBytes(3000, 3)));
    EXPECT_EQ(DecodeWith(codec, malformed).output, Bytes(3, 0));
}

class TRecordingCodec : public TLZSS {
public:
    using TLZSS::TLZSS;
    struct Call {
        uint32_t done;
        uint32_t total;
        long written;  // output bytes written when Progress ran
    };
    void Progress(uint32_t done, uint32_t total) override {
        calls.push_back({done, total, std::ftell(outputFile)});
    }
    std::vector<Call> calls;
};

TEST_F(CodecTest, DecodeReportsProgressAfterEveryByteWhenEnabled) {
    const Bytes entry = Cat(Header(3, 4, CHRISTMAS_1995), {0x07, 'a', 'b', 'c'});
    TRecordingCodec codec(1);
    DecodeWith(codec, entry);
    ASSERT_EQ(codec.calls.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(codec.calls[i].done, i);
        EXPECT_EQ(codec.calls[i].total, 3u);
        EXPECT_EQ(codec.calls[i].written, static_cast<long>(i + 1));
    }

    // the count starts again with every entry
    codec.calls.clear();
    DecodeWith(codec, Cat(Header(10, 4), {0x01, 'a', 0xEE, 0xF6}));
    ASSERT_EQ(codec.calls.size(), 10u);
    EXPECT_EQ(codec.calls.front().done, 0u);
    EXPECT_EQ(codec.calls.back().done, 9u);
    EXPECT_EQ(codec.calls.back().total, 10u);
}

TEST_F(CodecTest, DecodeReportsNoProgressWhenDisabled) {
    TRecordingCodec codec(0);
    EXPECT_EQ(DecodeWith(codec, Cat(Header(3, 4), {0x07, 'a', 'b', 'c'})).result, 1);
    EXPECT_TRUE(codec.calls.empty());
    EXPECT_EQ(codec.outputCount, 0u);
}

// ---------------------------------------------------------------------------
// Expand: the decoder without a file

struct ExpandCase {
    const char* what;
    Bytes stream;
    size_t sinkLimit;
    int result;
    TExpandStop stop;
    uint32_t headerRead;
    uint32_t tokenRead;
    uint64_t produced;
};

const ExpandCase EXPAND_CASES[] = {
    // a sound entry followed by other data
    {"complete", Cat(Header(10, 4), {0x01, 'a', 0xEE, 0xF6, 0x99}), SIZE_MAX, 1,
     TExpandStop::PACKED_END, 36, 4, 10},
    // header alone
    {"empty entry", Header(0, 0), SIZE_MAX, 1, TExpandStop::EMPTY_ENTRY, 36, 0, 0},
    // not an entry
    {"bad magic", Text("PK\x03\x04 and more"), SIZE_MAX, 0, TExpandStop::BAD_MAGIC, 4, 0, 0},
    // unpackedSize 0 but four token bytes announced: they stay unread
    {"empty entry announcing tokens", Cat(Header(0, 4), {0x07, 'a', 'b', 'c'}), SIZE_MAX, 0,
     TExpandStop::EMPTY_ENTRY, 36, 0, 0},
    // the archive ends 3 bytes into the token stream
    {"cut short", Cat(Header(10, 4), {0x01, 'a', 0xEE}), SIZE_MAX, 0, TExpandStop::INPUT_END, 36, 3,
     1},
    // the archive ends inside the header: the magic and 16 more bytes
    {"header cut short", Prefix(Header(3, 4), 20), SIZE_MAX, 0, TExpandStop::EMPTY_ENTRY, 20, 0, 0},
    // the tokens give ten bytes where five are announced
    {"too many bytes", Cat(Header(5, 4), {0x01, 'a', 0xEE, 0xF6}), SIZE_MAX, 0,
     TExpandStop::PACKED_END, 36, 4, 10},
    // the sink takes six bytes, then refuses
    {"sink refuses", Cat(Header(10, 4), {0x01, 'a', 0xEE, 0xF6}), 6, 0, TExpandStop::SINK_REFUSED,
     36, 4, 6},
};

TEST_F(CodecTest, ExpandReportsWhatItFound) {
    for (const auto& c : EXPAND_CASES) {
        SCOPED_TRACE(c.what);
        TLZSS codec(0);
        FILE* in = dir.WithBytes(c.stream);
        TMemorySink sink(c.sinkLimit);
        TEntryInfo info;
        EXPECT_EQ(codec.Expand(in, sink, &info), c.result);
        EXPECT_EQ(info.stop, c.stop);
        EXPECT_EQ(info.headerRead, c.headerRead);
        EXPECT_EQ(info.tokenRead, c.tokenRead);
        EXPECT_EQ(info.inputRead, c.headerRead + c.tokenRead);
        EXPECT_EQ(std::ftell(in), static_cast<long>(info.inputRead));
        EXPECT_EQ(info.produced, c.produced);
        EXPECT_EQ(sink.bytes.size(), c.produced);
        std::fclose(in);
    }
}

TEST_F(CodecTest, ExpandReportsTheHeaderFields) {
    TLZSS codec(0);
    FILE* in = dir.WithBytes(Cat(Header(3, 4, CHRISTMAS_1995), {0x07, 'a', 'b', 'c'}));
    TMemorySink sink;
    TEntryInfo info;
    ASSERT_EQ(codec.Expand(in, sink, &info), 1);
    EXPECT_EQ(info.magic, TLZSS::ENTRY_MAGIC);
    EXPECT_EQ(info.time.date, CHRISTMAS_1995.date);
    EXPECT_EQ(info.time.time, CHRISTMAS_1995.time);
    EXPECT_EQ(info.unpackedSize, 3u);
    EXPECT_EQ(info.packedSize, 4u);
    EXPECT_EQ(sink.bytes, Text("abc"));
    EXPECT_EQ(codec.unpackedSize, 3u);
    std::fclose(in);
}

TEST_F(CodecTest, DecoderMasksEachTimeFieldToItsWidth) {
    Bytes entry = Cat(Header(3, 4, CHRISTMAS_1995), {0x07, 'a', 'b', 'c'});
    for (size_t field = 4; field < 28; field += 4)
        entry[field + 3] = 0xA5;  // junk in the high bytes
    entry[5] = 0xE0;              // seconds field 0x...E00F: bits above the five kept ones
    TLZSS codec(0);
    FILE* in = dir.WithBytes(entry);
    TMemorySink sink;
    TEntryInfo info;
    ASSERT_EQ(codec.Expand(in, sink, &info), 1);
    EXPECT_EQ(info.time.date, CHRISTMAS_1995.date);
    EXPECT_EQ(info.time.time, CHRISTMAS_1995.time);
    std::fclose(in);
}

// ---------------------------------------------------------------------------
// Round trips

TEST_F(CodecTest, RoundTripsOverSizesThatCrossTheRingAndTheStreamBuffer) {
    const size_t sizes[] = {1,    2,    17,   18,   19,   34,    35,    36,    4077,  4078, 4095,
                            4096, 4097, 4114, 4115, 8193, 32766, 32767, 32768, 32769, 70001};
    struct Kind {
        const char* what;
        Bytes (*make)(size_t, uint32_t);
    };
    const Kind kinds[] = {{"random", RandomBytes}, {"text", TextLike}, {"runs", Runs}};
    TLZSS codec(0);  // one object for all: nothing may carry over
    for (const Kind& kind : kinds) {
        for (size_t size : sizes) {
            SCOPED_TRACE(std::string(kind.what) + " " + std::to_string(size));
            const Bytes input = kind.make(size, static_cast<uint32_t>(size));
            const Bytes entry = EncodeWith(codec, input);
            EXPECT_EQ(LoadLE32(entry, 28), size);
            EXPECT_EQ(LoadLE32(entry, 32), entry.size() - 36);
            const Decoded d = DecodeWith(codec, entry);
            EXPECT_EQ(d.result, 1);
            EXPECT_EQ(d.inputPosition, static_cast<long>(entry.size()));
            EXPECT_TRUE(d.output == input);
        }
    }
}

TEST_F(CodecTest, RepetitiveDataShrinks) {
    const Bytes input = Repeat(Text("0123456789abcdef"), 4096);  // 64 KiB
    const Bytes entry = EncodeFresh(input);
    // 18-byte references at two bytes each, one flag byte per eight
    EXPECT_LT(entry.size(), 36 + input.size() / 18 * 2 * 9 / 8 + 64);
    TLZSS codec(0);
    EXPECT_TRUE(DecodeWith(codec, entry).output == input);
}

TEST_F(CodecTest, TwoEntriesBackToBackEncodeAndDecodeInOneStream) {
    const Bytes first = TextLike(5000, 1);
    const Bytes second = RandomBytes(300, 2);
    TLZSS codec(0);
    FILE* in1 = dir.WithBytes(first);
    FILE* in2 = dir.WithBytes(second);
    FILE* archive = dir.WithBytes({});
    ASSERT_EQ(codec.Encode(in1, archive, JULY_2001), 1);
    const long firstEnd = std::ftell(archive);
    ASSERT_EQ(codec.Encode(in2, archive, CHRISTMAS_1995), 1);
    const long secondEnd = std::ftell(archive);
    std::fclose(in1);
    std::fclose(in2);

    const Bytes bytes = ReadAll(archive);
    ASSERT_EQ(static_cast<long>(bytes.size()), secondEnd);
    // each entry carries its own sizes at its own offset
    EXPECT_EQ(LoadLE32(bytes, 28), first.size());
    EXPECT_EQ(36 + LoadLE32(bytes, 32), static_cast<uint32_t>(firstEnd));
    EXPECT_EQ(LoadLE32(bytes, firstEnd + 28), second.size());
    EXPECT_EQ(firstEnd + 36 + LoadLE32(bytes, firstEnd + 32), static_cast<uint32_t>(secondEnd));

    // decoded one after the other, without a seek in between
    std::rewind(archive);
    codec.OpenOutput(dir.NewPath().c_str(), -1);
    EXPECT_EQ(codec.Decode(archive, codec.outputFile), 1);
    EXPECT_EQ(std::ftell(archive), firstEnd);
    EXPECT_TRUE(ReadAll(codec.outputFile) == first);
    codec.OpenOutput(dir.NewPath().c_str(), -1);
    EXPECT_EQ(codec.Decode(archive, codec.outputFile), 1);
    EXPECT_EQ(std::ftell(archive), secondEnd);
    EXPECT_TRUE(ReadAll(codec.outputFile) == second);
    EXPECT_TRUE(SameTime(TimeOf(codec.outputFile), UnpackDosTime(CHRISTMAS_1995)));
    std::fclose(archive);
}

// ---------------------------------------------------------------------------
// Block reads and bulk writes: the same results as one byte at a time

// FNV-1a, 64 bits: a fingerprint of an entry's bytes.
uint64_t Fingerprint(const Bytes& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

struct PinnedCase {
    const char* what;
    Bytes input;
    uint32_t packedSize;
    uint64_t fingerprint;  // of the whole entry, made with the time JULY_2001
};

// Entries as the encoder has always written them. A change that picks other
// matches (another tie-break, another walk of the tree) fails here even when
// its entries still decode.
const PinnedCase PINNED_CASES[] = {
    {"RandomBytes 35", RandomBytes(35, 11), 40u, 0xfca4e503062cb16eull},
    {"RandomBytes 4200", RandomBytes(4200, 11), 4725u, 0xe4e549ef9738eb55ull},
    {"RandomBytes 40000", RandomBytes(40000, 11), 44990u, 0x32794c5440d1915aull},
    {"RandomBytes 300000", RandomBytes(300000, 11), 337418u, 0x8b4c577fa43aa2c3ull},
    {"TextLike 35", TextLike(35, 11), 40u, 0x69c1cf5199561d7cull},
    {"TextLike 4200", TextLike(4200, 11), 796u, 0x206f277346a39e75ull},
    {"TextLike 40000", TextLike(40000, 11), 6137u, 0x4c8b4a05b02cc3aaull},
    {"TextLike 300000", TextLike(300000, 11), 44777u, 0xd30ab9730844ee49ull},
    {"Runs 35", Runs(35, 11), 6u, 0x07ff6bc17f1fbcadull},
    {"Runs 4200", Runs(4200, 11), 528u, 0xe692e213b3944790ull},
    {"Runs 40000", Runs(40000, 11), 4866u, 0x489e5c97183d9e07ull},
    {"Runs 300000", Runs(300000, 11), 36406u, 0x8c0e270fd4e1ebb8ull},
};

TEST_F(CodecTest, EncoderKeepsItsTokenStreams) {
    for (const auto& c : PINNED_CASES) {
        SCOPED_TRACE(c.what);
        const Bytes entry = EncodeFresh(c.input);
        EXPECT_EQ(LoadLE32(entry, 32), c.packedSize);
        EXPECT_EQ(Fingerprint(entry), c.fingerprint);
    }
}

// The encoder's loop written plainly with the public tree operations and
// ReadInputByte: Encode must write the same tokens and leave the same tree.
struct TEncoderModel {
    TLZSS codec{0};
    Bytes tokens;

    void Run(FILE* input) {
        std::memset(codec.ring + TLZSS::FIRST_WRITE_POS, 0,
                    TLZSS::RING_BYTES - TLZSS::FIRST_WRITE_POS);
        codec.unpackedSize = 0;
        codec.ResetTree();
        std::memset(codec.ring, ' ', TLZSS::FIRST_WRITE_POS);
        int s = 0, r = TLZSS::FIRST_WRITE_POS, len = 0;
        for (int c; len < TLZSS::MAX_MATCH && (c = codec.ReadInputByte(input)) >= 0; ++len)
            codec.ring[r + len] = static_cast<uint8_t>(c);
        if (len == 0) return;
        for (int i = 1; i <= TLZSS::MAX_MATCH; ++i) codec.InsertPosition(r - i);
        codec.InsertPosition(r);
        size_t flagAt = 0;
        unsigned mask = 0;
        do {
            if (mask == 0) {  // a new group
                flagAt = tokens.size();
                tokens.push_back(0);
                mask = 1;
            }
            if (codec.bestLen > len) codec.bestLen = len;
            if (codec.bestLen < TLZSS::MIN_MATCH) {
                codec.bestLen = 1;
                tokens[flagAt] |= static_cast<uint8_t>(mask);
                tokens.push_back(codec.ring[r]);
            } else {
                tokens.push_back(static_cast<uint8_t>(codec.bestPos & 0xFF));
                tokens.push_back(static_cast<uint8_t>(((codec.bestPos >> 4) & 0xF0) |
                                                      (codec.bestLen - TLZSS::MIN_MATCH)));
            }
            mask = (mask << 1) & 0xFF;
            const int n = codec.bestLen;
            int i = 0;
            for (int x; i < n && (x = codec.ReadInputByte(input)) >= 0; ++i) {
                codec.RemovePosition(s);
                codec.ring[s] = static_cast<uint8_t>(x);
                if (s < TLZSS::MAX_MATCH - 1) codec.ring[TLZSS::RING_SIZE + s] = codec.ring[s];
                s = (s + 1) % TLZSS::RING_SIZE;
                r = (r + 1) % TLZSS::RING_SIZE;
                codec.InsertPosition(r);
            }
            for (; i < n; ++i) {
                codec.RemovePosition(s);
                s = (s + 1) % TLZSS::RING_SIZE;
                r = (r + 1) % TLZSS::RING_SIZE;
                if (--len != 0) codec.InsertPosition(r);
            }
        } while (len > 0);
    }
};

TEST_F(CodecTest, EncodeMatchesThePlainLoopTokenForTokenAndLeavesTheSameTree) {
    const Bytes inputs[] = {
        Bytes(40, 'a'),                              // full-length matches replace nodes
        Cat(Runs(6000, 8), TextLike(9000, 9)),       // deep trees, then words
        Cat(RandomBytes(5000, 10), Bytes(5000, 0)),  // no matches, then one long run
        TextLike(70001, 12),                         // crosses the input and output blocks
        Cat(TextLike(20, 13), RandomBytes(15, 14)),  // shorter than the lookahead twice over
    };
    for (const Bytes& input : inputs) {
        SCOPED_TRACE(input.size());
        TEncoderModel model;
        FILE* modelInput = dir.WithBytes(input);
        model.Run(modelInput);
        std::fclose(modelInput);

        TLZSS codec(0);
        const Bytes entry = EncodeWith(codec, input);
        EXPECT_TRUE(Bytes(entry.begin() + 36, entry.end()) == model.tokens);
        EXPECT_EQ(codec.unpackedSize, model.codec.unpackedSize);
        EXPECT_EQ(codec.bestPos, model.codec.bestPos);
        EXPECT_EQ(codec.bestLen, model.codec.bestLen);
        EXPECT_EQ(0, std::memcmp(codec.leftChild, model.codec.leftChild, 4097 * sizeof(int32_t)));
        EXPECT_EQ(0, std::memcmp(codec.rightChild, model.codec.rightChild, 4353 * sizeof(int32_t)));
        EXPECT_EQ(0, std::memcmp(codec.parent, model.codec.parent, 4097 * sizeof(int32_t)));
        EXPECT_EQ(0, std::memcmp(codec.ring, model.codec.ring, TLZSS::RING_BYTES));
    }
}

// Takes bytes one at a time only (the default Write), refusing after `limit`.
class TByteSink final : public TEntrySink {
public:
    explicit TByteSink(uint64_t limit) : limit_(limit) {}
    bool Put(uint8_t byte) override {
        if (bytes.size() >= limit_) return false;
        bytes.push_back(byte);
        return true;
    }
    Bytes bytes;

private:
    uint64_t limit_;
};

// Takes blocks, but never more than `limit` bytes in all.
class TBlockSink final : public TEntrySink {
public:
    explicit TBlockSink(uint64_t limit) : limit_(limit) {}
    bool Put(uint8_t byte) override { return Write(&byte, 1) == 1; }
    size_t Write(const uint8_t* data, size_t count) override {
        const uint64_t room = limit_ - bytes.size();
        const size_t taken = count < room ? count : static_cast<size_t>(room);
        bytes.insert(bytes.end(), data, data + taken);
        ++writes;
        return taken;
    }
    Bytes bytes;
    int writes = 0;

private:
    uint64_t limit_;
};

struct Expanded {
    int result;
    TEntryInfo info;
    long position;  // where the input stands afterwards
    uint32_t packedRead;
    Bytes output;
};

template <class Sink>
Expanded ExpandFrom(FILE* in, uint64_t limit) {
    TLZSS codec(0);
    Sink sink(limit);
    Expanded e;
    e.result = codec.Expand(in, sink, &e.info);
    e.position = std::ftell(in);
    e.packedRead = codec.packedRead;
    e.output = sink.bytes;
    return e;
}

void ExpectSame(const Expanded& a, const Expanded& b) {
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.info.stop, b.info.stop);
    EXPECT_EQ(a.info.headerRead, b.info.headerRead);
    EXPECT_EQ(a.info.tokenRead, b.info.tokenRead);
    EXPECT_EQ(a.info.inputRead, b.info.inputRead);
    EXPECT_EQ(a.info.produced, b.info.produced);
    EXPECT_EQ(a.packedRead, b.packedRead);
    EXPECT_TRUE(a.output == b.output);
}

// A stream with no file behind it, holding all of bytes (a pipe made large
// enough to take them before anything reads).
FILE* LargePipeHolding(const Bytes& bytes) {
#ifdef _WIN32
    int fds[2];
    if (_pipe(fds, static_cast<unsigned>(bytes.size()) + 4096, _O_BINARY) != 0) return nullptr;
    _write(fds[1], bytes.data(), static_cast<unsigned>(bytes.size()));
    _close(fds[1]);
    return _fdopen(fds[0], "rb");
#else
    return PipeHolding(bytes);
#endif
}

// A pipe is read one token at a time; a file in blocks. Both must stop at
// the same byte of the output and of the input, whatever the sink takes.
TEST_F(CodecTest, ExpandFromAFileStopsWhereThePerTokenReaderStops) {
    const Bytes input = Cat(TextLike(30000, 21), RandomBytes(15000, 22));
    const Bytes entry = EncodeFresh(input);
    Bytes cut = Prefix(entry, entry.size() - 1);
    Bytes shortPacked = entry;
    shortPacked[32] = static_cast<uint8_t>(shortPacked[32] - 5);  // packedSize 5 too small
    struct Case {
        const char* what;
        Bytes stream;
        uint64_t limit;  // bytes the sink takes
    };
    const Case cases[] = {
        // everything, with the next entry's bytes behind it
        {"whole", Cat(entry, Text("next")), UINT64_MAX},
        // refused at the first byte, then inside a reference near the start
        {"refuses the first byte", entry, 0},
        {"refuses inside a reference", entry, 3},
        // refused in the middle, past the first output window, one short of the end
        {"refuses halfway", entry, input.size() / 2},
        {"refuses the last byte", entry, input.size() - 1},
        // the input ends inside the last group
        {"cut short", cut, UINT64_MAX},
        {"cut short, refused late", cut, input.size() - 2},
        // packedSize stops the reader before the tokens end
        {"packedSize too small", Cat(shortPacked, Text("next")), UINT64_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FILE* pipeInput = LargePipeHolding(c.stream);
        ASSERT_NE(pipeInput, nullptr);
        Expanded byToken = ExpandFrom<TByteSink>(pipeInput, c.limit);
        byToken.position = static_cast<long>(byToken.info.inputRead);  // pipes have no position
        std::fclose(pipeInput);
        for (int kind = 0; kind < 2; ++kind) {
            SCOPED_TRACE(kind == 0 ? "byte sink" : "block sink");
            FILE* file = dir.WithBytes(c.stream);
            const Expanded byBlock = kind == 0 ? ExpandFrom<TByteSink>(file, c.limit)
                                               : ExpandFrom<TBlockSink>(file, c.limit);
            ExpectSame(byBlock, byToken);
            EXPECT_EQ(byBlock.position, static_cast<long>(byBlock.info.inputRead));
            std::fclose(file);
        }
    }
}

TEST_F(CodecTest, BlockSinksGetFewLargeWrites) {
    const Bytes input = TextLike(300000, 23);
    FILE* file = dir.WithBytes(EncodeFresh(input));
    TLZSS codec(0);
    TBlockSink sink(UINT64_MAX);
    EXPECT_EQ(codec.Expand(file, sink, nullptr), 1);
    EXPECT_TRUE(sink.bytes == input);
    EXPECT_LT(sink.writes, 64);  // not one call per byte or token
    std::fclose(file);
}

TEST_F(CodecTest, LargeEntriesBackToBackDecodeWithoutReadingIntoTheNext) {
    const Bytes inputs[] = {RandomBytes(100000, 24), TextLike(200000, 25), Runs(70000, 26)};
    Bytes archive;
    std::vector<long> ends;
    for (const Bytes& input : inputs) {
        archive = Cat(archive, EncodeFresh(input));
        ends.push_back(static_cast<long>(archive.size()));
    }
    FILE* in = dir.WithBytes(archive);
    TLZSS codec(0);
    for (size_t i = 0; i < ends.size(); ++i) {
        SCOPED_TRACE(i);
        codec.OpenOutput(dir.NewPath().c_str(), -1);
        EXPECT_EQ(codec.Decode(in, codec.outputFile), 1);
        EXPECT_EQ(std::ftell(in), ends[i]);
        EXPECT_TRUE(ReadAll(codec.outputFile) == inputs[i]);
    }
    std::fclose(in);
}

TEST_F(CodecTest, ProgressFollowsEveryByteOfALongEntry) {
    const Bytes input = TextLike(70001, 27);  // more than one output block
    TRecordingCodec codec(1);
    const Decoded d = DecodeWith(codec, EncodeFresh(input));
    EXPECT_EQ(d.result, 1);
    EXPECT_TRUE(d.output == input);
    ASSERT_EQ(codec.calls.size(), input.size());
    bool inStep = true;
    for (size_t i = 0; i < codec.calls.size(); ++i) {
        inStep = inStep && codec.calls[i].done == i && codec.calls[i].total == input.size() &&
                 codec.calls[i].written == static_cast<long>(i + 1);
    }
    EXPECT_TRUE(inStep);
}

// ---------------------------------------------------------------------------
// Streams

// Records what the codec asks of the system and opens real files.
class TRecordingSystem final : public TSystem {
public:
    FILE* OpenStream(const char* path, const char* mode) override {
        opened.push_back(std::string(path) + " " + mode);
        return std::fopen(path, mode);
    }
    unsigned GetTempPathA(unsigned, char*) override { return 0; }
    unsigned GetDriveTypeA(const char*) override { return 0; }
    void GetTempFileNameA(const char*, const char*, unsigned, char*) override {}
    uint32_t GetFileAttributesA(const char*) override { return INVALID_ATTRIBUTES; }
    bool CreateDirectoryA(const char*) override { return false; }
    bool RemoveDirectoryA(const char*) override { return false; }
    bool DeleteFileA(const char*) override { return false; }
    void CreateEmptyFile(const char*) override {}
    unsigned GetModuleFileNameA(char*, unsigned) override { return 0; }
    void SetWaitCursor() override {}
    void MessageBoxA(const char*, const char*) override {}
    void WriteProfileString(const char*, const char*, const char*, const char*) override {}
    void WinExec(const char*) override {}

    std::vector<std::string> opened;
};

TEST_F(CodecTest, StreamsAreOpenedThroughTheSystem) {
    const std::string input = dir.NewPath();
    const std::string output = dir.NewPath();
    FILE* made = std::fopen(input.c_str(), "wb");
    std::fclose(made);
    TRecordingSystem system;
    SetSys(&system);
    {
        TLZSS codec(0);
        EXPECT_EQ(codec.OpenInput(input.c_str(), -1), 1);
        EXPECT_EQ(codec.OpenOutput(output.c_str(), -1), 1);
    }
    SetSys(nullptr);
    EXPECT_EQ(system.opened, (std::vector<std::string>{input + " rb", output + " wb+"}));
}

TEST_F(CodecTest, OpenInputSeeksToTheOffset) {
    const std::string path = dir.NewPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("0123456789", f);
    std::fclose(f);
    TLZSS codec(0);
    ASSERT_EQ(codec.OpenInput(path.c_str(), 4), 1);
    EXPECT_EQ(std::getc(codec.inputFile), '4');
    ASSERT_EQ(codec.OpenInput(path.c_str(), -1), 1);
    EXPECT_EQ(std::getc(codec.inputFile), '0');
}

TEST_F(CodecTest, OpenOutputTruncatesAndAllowsReadingBack) {
    const std::string path = dir.NewPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("old content", f);
    std::fclose(f);
    TLZSS codec(0);
    ASSERT_EQ(codec.OpenOutput(path.c_str(), -1), 1);
    std::fputs("new", codec.outputFile);
    EXPECT_EQ(ReadAll(codec.outputFile), Text("new"));
}

TEST_F(CodecTest, AFailedOpenLeavesTheStreamClosed) {
    const std::string path = dir.NewPath();
    TLZSS codec(0);
    ASSERT_EQ(codec.OpenOutput(path.c_str(), -1), 1);
    ASSERT_EQ(codec.OpenInput(path.c_str(), -1), 1);
    const std::string missing = dir.NewPath() + "/no/such/file";
    EXPECT_EQ(codec.OpenInput(missing.c_str(), -1), 0);
    EXPECT_EQ(codec.inputFile, nullptr);
    EXPECT_EQ(codec.OpenOutput(nullptr, -1), 0);
    EXPECT_EQ(codec.outputFile, nullptr);
}

// ---------------------------------------------------------------------------
// Match tree

// A codec whose ring holds chosen 18-byte strings, with an empty tree.
class MatchTreeTest : public ::testing::Test {
protected:
    MatchTreeTest() : codec(0) { codec.ResetTree(); }

    // Puts text (padded with zeros to 18 bytes) at position p.
    void Place(int p, const std::string& text) {
        std::memset(codec.ring + p, 0, TLZSS::MAX_MATCH);
        std::memcpy(codec.ring + p, text.data(), text.size());
    }
    int Root(char first) { return TLZSS::ROOT_BASE + static_cast<uint8_t>(first); }

    // Positions of one root's tree in order, after checking the parent links.
    std::vector<int> InOrder(int root) {
        std::vector<int> out;
        Walk(codec.rightChild[root], root, &out);
        return out;
    }
    void Walk(int p, int from, std::vector<int>* out) {
        if (p == TLZSS::NO_NODE) return;
        EXPECT_EQ(codec.parent[p], from) << "position " << p;
        Walk(codec.leftChild[p], p, out);
        out->push_back(p);
        Walk(codec.rightChild[p], p, out);
    }

    TLZSS codec;
};

TEST_F(MatchTreeTest, FullMatchReplacesTheOldPositionInPlace) {
    Place(100, "abcdefghijklmnopqr");
    Place(300, "abcdAAAA");            // smaller: left of 100
    Place(400, "abcdzzzz");            // greater: right of 100
    Place(200, "abcdefghijklmnopqr");  // equal to 100
    for (int p : {100, 300, 400}) codec.InsertPosition(p);
    codec.InsertPosition(200);
    EXPECT_EQ(codec.bestLen, 18);
    EXPECT_EQ(codec.bestPos, 100);
    EXPECT_EQ(codec.rightChild[Root('a')], 200);
    EXPECT_EQ(codec.leftChild[200], 300);
    EXPECT_EQ(codec.rightChild[200], 400);
    EXPECT_EQ(codec.parent[100], TLZSS::NO_NODE);
    EXPECT_EQ(InOrder(Root('a')), (std::vector<int>{300, 200, 400}));

    codec.RemovePosition(100);  // no longer in the tree: nothing happens
    EXPECT_EQ(InOrder(Root('a')), (std::vector<int>{300, 200, 400}));
}

TEST_F(MatchTreeTest, FirstOfEquallyLongMatchesOnThePathWins) {
    Place(100, "abcdeM");
    Place(200, "abcdeP");  // goes right of 100
    Place(300, "abcdeZ");  // meets 100, then 200: both share five bytes
    for (int p : {100, 200, 300}) codec.InsertPosition(p);
    EXPECT_EQ(codec.bestLen, 5);
    EXPECT_EQ(codec.bestPos, 100);
}

TEST_F(MatchTreeTest, InsertIntoAnEmptyRootFindsNothing) {
    Place(5, "xyz");
    codec.InsertPosition(5);
    EXPECT_EQ(codec.bestLen, 0);
    EXPECT_EQ(codec.rightChild[Root('x')], 5);
    EXPECT_EQ(codec.parent[5], Root('x'));
}

TEST_F(MatchTreeTest, RemovingANodeWithTwoChildrenPromotesTheLargestOnItsLeft) {
    // m at the top; its left subtree holds d, g (right of d) and f (left of g)
    const std::pair<int, const char*> nodes[] = {{100, "am"}, {200, "ad"}, {300, "as"}, {400, "ag"},
                                                 {500, "af"}, {600, "ab"}, {700, "az"}};
    for (const auto& node : nodes) Place(node.first, node.second);
    for (const auto& node : nodes) codec.InsertPosition(node.first);
    ASSERT_EQ(InOrder(Root('a')), (std::vector<int>{600, 200, 500, 400, 100, 300, 700}));

    codec.RemovePosition(100);
    EXPECT_EQ(codec.parent[100], TLZSS::NO_NODE);
    EXPECT_EQ(codec.rightChild[Root('a')], 400);  // g, the largest below m's left
    EXPECT_EQ(codec.leftChild[400], 200);
    EXPECT_EQ(codec.rightChild[400], 300);
    EXPECT_EQ(codec.rightChild[200], 500);  // f takes g's old place under d
    EXPECT_EQ(InOrder(Root('a')), (std::vector<int>{600, 200, 500, 400, 300, 700}));

    for (int p : {200, 700, 400}) codec.RemovePosition(p);
    EXPECT_EQ(InOrder(Root('a')), (std::vector<int>{600, 500, 300}));
}

// After a long encode the trees still hold every live position once, in order.
TEST_F(MatchTreeTest, TreeStaysOrderedThroughALongEncode) {
    TempDir dir;
    FILE* in = dir.WithBytes(Cat(Runs(6000, 5), TextLike(9000, 6)));
    FILE* out = dir.WithBytes({});
    ASSERT_EQ(codec.Encode(in, out, JULY_2001), 1);
    int inTree = 0;
    for (int p = 0; p < TLZSS::RING_SIZE; ++p) inTree += codec.parent[p] != TLZSS::NO_NODE;
    int found = 0;
    for (int b = 0; b < 256; ++b) {
        const std::vector<int> order = InOrder(TLZSS::ROOT_BASE + b);
        found += static_cast<int>(order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            EXPECT_EQ(codec.ring[order[i]], b);
            if (i > 0) {
                EXPECT_LT(std::memcmp(codec.ring + order[i - 1] + 1, codec.ring + order[i] + 1, 17),
                          0);
            }
        }
    }
    EXPECT_EQ(found, inTree);
    std::fclose(in);
    std::fclose(out);
}

}  // namespace
