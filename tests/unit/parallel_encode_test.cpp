// The parallel encoder against TLZSS::Encode: the same bytes, whether the jobs' trees agree
// with the true run at once, later, or never.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/scratch_path.h"
#include "tools/parallel_encoder.h"

namespace {

using TBytes = std::vector<uint8_t>;

// Deterministic inputs of different character.
uint32_t NextRandom(uint32_t* seed) {
    *seed = *seed * 1103515245u + 12345u;
    return *seed >> 8;
}

TBytes TextLike(size_t size, uint32_t seed) {
    static const char* const words[] = {"the ",    "archive ", "setup ", "entry ",  "window ",
                                        "folder ", "token ",   "ring ",  "match ",  "tree ",
                                        "\r\n",    "[Setup]",  "Path=",  "0x0040 ", "installer "};
    TBytes bytes;
    while (bytes.size() < size) {
        const char* word = words[NextRandom(&seed) % (sizeof words / sizeof words[0])];
        while (*word != 0 && bytes.size() < size) bytes.push_back(static_cast<uint8_t>(*word++));
    }
    return bytes;
}

TBytes Random(size_t size, uint32_t seed) {
    TBytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(NextRandom(&seed));
    return bytes;
}

// Long runs of a few values with rare changes: deep trees and many full
// matches, which replace nodes.
TBytes Runs(size_t size, uint32_t seed) {
    TBytes bytes;
    while (bytes.size() < size) {
        const size_t run = 1 + NextRandom(&seed) % 3000;
        const uint8_t value = static_cast<uint8_t>(NextRandom(&seed) % 3);
        for (size_t i = 0; i < run && bytes.size() < size; ++i) bytes.push_back(value);
    }
    return bytes;
}

// Stretches of each kind in turn, like an executable with code, tables and text.
TBytes Mixed(size_t size, uint32_t seed) {
    TBytes bytes;
    for (int part = 0; bytes.size() < size; ++part) {
        const TBytes piece = part % 3 == 0   ? TextLike(40000, seed + part)
                             : part % 3 == 1 ? Runs(25000, seed + part)
                                             : Random(15000, seed + part);
        bytes.insert(bytes.end(), piece.begin(), piece.end());
    }
    bytes.resize(size);
    return bytes;
}

void WriteFile(const std::string& path, const TBytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

TBytes ReadAll(FILE* f) {
    TBytes bytes;
    std::rewind(f);
    for (int c; (c = std::getc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    return bytes;
}

constexpr TDosTime TIME = {0x6000, 0x2B98};

struct TEncoded {
    TBytes bytes;
    uint32_t unpackedSize = 0;
    uint32_t packedSize = 0;
    TParallelStats stats;
    std::vector<uint64_t> progress;
};

// The entry for the file at path, by the codec alone.
TEncoded Sequential(const std::string& path) {
    TEncoded result;
    FILE* in = std::fopen(path.c_str(), "rb");
    FILE* out = std::tmpfile();
    TLZSS codec(0);
    codec.Encode(in, out, TIME);
    result.bytes = ReadAll(out);
    result.unpackedSize = codec.unpackedSize;
    result.packedSize = codec.packedSize;
    std::fclose(in);
    std::fclose(out);
    return result;
}

// The entry by the parallel encoder, behind a prefix already in the output
// (the entry must go where the output stands, sizes included).
TEncoded Parallel(const std::string& path, uint64_t size, const TParallelPlan& plan) {
    TEncoded result;
    FILE* in = std::fopen(path.c_str(), "rb");
    FILE* out = std::tmpfile();
    std::fputs("prefix", out);
    TLZSS codec(0);
    std::string error;
    auto progress = [&result](uint64_t done) { result.progress.push_back(done); };
    EXPECT_TRUE(EncodeInParallel(codec, in, size, out, TIME, plan, progress, &result.stats, &error))
        << error;
    const TBytes all = ReadAll(out);
    EXPECT_EQ(std::string(all.begin(), all.begin() + 6), "prefix");
    result.bytes.assign(all.begin() + 6, all.end());
    result.unpackedSize = codec.unpackedSize;
    result.packedSize = codec.packedSize;
    std::fclose(in);
    std::fclose(out);
    return result;
}

TParallelPlan Plan(uint64_t segment, uint64_t warmUp, uint64_t checkpoint, unsigned threads,
                   uint64_t minSegment = 1u << 20) {
    return TParallelPlan{segment, warmUp, checkpoint, threads, minSegment};
}

struct TCase {
    const char* name;
    TBytes (*make)(size_t, uint32_t);
    size_t size;
    TParallelPlan plan;
};

void PrintTo(const TCase& c, std::ostream* os) { *os << c.name; }

class ParallelEncodeTest : public testing::TestWithParam<TCase> {
protected:
    std::string path = ScratchPath("input");
    void TearDown() override { std::remove(path.c_str()); }
};

TEST_P(ParallelEncodeTest, WritesTheBytesOfTheCodecAlone) {
    const TCase& c = GetParam();
    WriteFile(path, c.make(c.size, 7));
    const TEncoded expected = Sequential(path);
    const TEncoded got = Parallel(path, c.size, c.plan);
    EXPECT_EQ(got.unpackedSize, c.size);
    EXPECT_EQ(got.unpackedSize, expected.unpackedSize);
    EXPECT_EQ(got.packedSize, expected.packedSize);
    ASSERT_EQ(got.bytes.size(), expected.bytes.size());
    EXPECT_TRUE(got.bytes == expected.bytes);
    // Progress rises to the whole input.
    ASSERT_FALSE(got.progress.empty());
    for (size_t i = 1; i < got.progress.size(); ++i)
        EXPECT_GT(got.progress[i], got.progress[i - 1]);
    EXPECT_EQ(got.progress.back(), c.size);
}

const TCase CASES[] = {
    // Warm-up long enough for the trees to agree at the segment start.
    {"TextJoinsAtTheStart", TextLike, 6 * 65536, Plan(65536, 32768, 8192, 2)},
    {"MixedJoinsAtTheStart", Mixed, 6 * 65536 + 12345, Plan(65536, 32768, 8192, 2)},
    // No warm-up at all: the trees differ at first, the true run codes on
    // until a later checkpoint agrees (or to the segment end).
    {"TextWithoutWarmUp", TextLike, 5 * 65536, Plan(65536, 0, 4096, 2)},
    {"RunsWithoutWarmUp", Runs, 5 * 65536 + 1, Plan(65536, 0, 4096, 2)},
    {"MixedWithoutWarmUp", Mixed, 5 * 65536 - 1, Plan(65536, 0, 2048, 3)},
    // Incompressible bytes: literals only, trees that agree at once.
    {"RandomBytes", Random, 4 * 65536, Plan(65536, 8192, 8192, 2)},
    // More segments than threads, and a last segment nearly twice as long.
    {"ManySegmentsFewThreads", Mixed, 12 * 16384 + 16383, Plan(16384, 8192, 2048, 2)},
    {"FourThreads", TextLike, 10 * 16384, Plan(16384, 4096, 1024, 4)},
    // Files under segment * threads: shorter segments, one per thread.
    {"SmallFileInTwo", TextLike, 100000, Plan(65536, 8192, 4096, 2, 16384)},
    {"SmallFileInFour", Mixed, 200001, Plan(65536, 8192, 4096, 4, 16384)},
    // Checkpoints closer together than a long token: one boundary serves several.
    {"CheckpointsCloserThanAToken", Runs, 3 * 8192 + 100, Plan(8192, 2048, 12, 2)},
};

INSTANTIATE_TEST_SUITE_P(Inputs, ParallelEncodeTest, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<TCase>& info) { return info.param.name; });

class ParallelEncodeEdgeTest : public testing::Test {
protected:
    std::string path = ScratchPath("input");
    void TearDown() override { std::remove(path.c_str()); }
};

TEST_F(ParallelEncodeEdgeTest, SplicesAtTheStartOrLaterAndStillMatches) {
    // Which way a job is joined shows in the statistics: both ways happen
    // on these inputs, and neither changes a byte.
    WriteFile(path, Mixed(8 * 65536, 3));
    const TEncoded expected = Sequential(path);
    const TEncoded warm = Parallel(path, 8 * 65536, Plan(65536, 49152, 8192, 2));
    const TEncoded cold = Parallel(path, 8 * 65536, Plan(65536, 0, 4096, 2));
    EXPECT_EQ(warm.stats.jobs, 8u);
    EXPECT_GT(warm.stats.joinedAtStart, 0u);
    EXPECT_GT(cold.stats.codedAgain, 0u);
    EXPECT_EQ(cold.stats.joinedAtStart + cold.stats.joinedLater + cold.stats.notJoined, 7u);
    EXPECT_TRUE(warm.bytes == expected.bytes);
    EXPECT_TRUE(cold.bytes == expected.bytes);
}

TEST_F(ParallelEncodeEdgeTest, SmallInputsAndOneThreadUseTheCodecAlone) {
    WriteFile(path, TextLike(100000, 5));
    const TEncoded expected = Sequential(path);
    for (const TParallelPlan& plan :
         {Plan(65536, 8192, 4096, 2), Plan(16384, 8192, 4096, 1), Plan(16384, 16384, 4096, 2)}) {
        const TEncoded got = Parallel(path, 100000, plan);
        EXPECT_EQ(got.stats.jobs, 1u);
        EXPECT_TRUE(got.bytes == expected.bytes);
    }
}

TEST_F(ParallelEncodeEdgeTest, ASmallerFileIsSplitSoThatEveryThreadGetsASegment) {
    // Down to minSegment: 100000 bytes make two segments of 50000, 30000
    // bytes stay whole (two would be shorter than 16384).
    for (const auto& [size, jobs] : {std::pair<size_t, unsigned>{100000, 2}, {30000, 1}}) {
        WriteFile(path, TextLike(size, 11));
        const TEncoded got = Parallel(path, size, Plan(65536, 8192, 4096, 2, 16384));
        EXPECT_EQ(got.stats.jobs, jobs) << size;
        EXPECT_TRUE(got.bytes == Sequential(path).bytes) << size;
    }
}

TEST_F(ParallelEncodeEdgeTest, CodesWhatIsThereWhenTheSizeWasWrong) {
    // A file that changed after it was measured: the entry holds the bytes
    // that are there (velto-pack then reports the difference in size).
    WriteFile(path, Mixed(3 * 32768 + 500, 9));
    const TEncoded expected = Sequential(path);
    for (uint64_t announced : {uint64_t{10 * 32768}, uint64_t{2 * 32768}}) {
        const TEncoded got = Parallel(path, announced, Plan(32768, 8192, 4096, 2));
        EXPECT_EQ(got.unpackedSize, 3u * 32768 + 500) << announced;
        EXPECT_TRUE(got.bytes == expected.bytes) << announced;
    }
}

}  // namespace
