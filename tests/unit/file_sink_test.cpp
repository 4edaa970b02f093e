// velto-pack's threaded file sink: bytes arrive in order, and a write error stops it and is told.
#include "tools/file_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/unit/scratch_path.h"

namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = 12345;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    return bytes;
}

TEST(FileSinkTest, WritesEveryByteInOrderWhateverThePieces) {
    // Below one chunk (no thread), exactly one, and several with a tail.
    for (size_t size : {size_t{1000}, TFileSink::CHUNK, 3 * TFileSink::CHUNK + 777}) {
        const std::string path = ScratchPath("out");
        const std::vector<uint8_t> bytes = Pattern(size);
        FILE* file = std::fopen(path.c_str(), "wb+");
        ASSERT_NE(file, nullptr);
        {
            TFileSink sink(file);
            size_t at = 0;
            for (size_t piece = 1; at < size; piece = piece * 3 % 70001 + 1) {
                const size_t now = std::min(piece, size - at);
                ASSERT_EQ(sink.Write(bytes.data() + at, now), now);
                at += now;
            }
            std::string error;
            EXPECT_TRUE(sink.Finish(&error)) << error;
        }
        std::rewind(file);
        std::vector<uint8_t> back(size + 1);
        EXPECT_EQ(std::fread(back.data(), 1, back.size(), file), size);
        back.resize(size);
        EXPECT_TRUE(back == bytes) << size;
        std::fclose(file);
        std::remove(path.c_str());
    }
}

#ifndef _WIN32
TEST(FileSinkTest, AWriteErrorRefusesTheRestAndIsReported) {
    // /dev/full takes no byte: the writer thread's error comes back.
    FILE* file = std::fopen("/dev/full", "wb");
    ASSERT_NE(file, nullptr);
    std::setvbuf(file, nullptr, _IONBF, 0);
    const std::vector<uint8_t> bytes = Pattern(TFileSink::CHUNK);
    TFileSink sink(file);
    size_t taken = 0;
    for (int i = 0; i < 8; ++i) taken += sink.Write(bytes.data(), bytes.size());
    EXPECT_LT(taken, 8 * bytes.size());  // refused once the failure was known
    std::string error;
    EXPECT_FALSE(sink.Finish(&error));
    EXPECT_NE(error.find("space"), std::string::npos) << error;
    std::fclose(file);
}
#endif

}  // namespace
