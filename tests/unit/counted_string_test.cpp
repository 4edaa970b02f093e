// Counted strings on streams and TFile handles, and the TFile they rely on.
#include "prep/counted_string.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/unit/scratch_path.h"

namespace {

using TBytes = std::vector<unsigned char>;

// A scratch file in the test's temporary folder, removed afterwards.
class CountedStringTest : public testing::Test {
protected:
    std::string path = ScratchPath("bin");

    void TearDown() override { std::remove(path.c_str()); }

    void WriteBytes(const TBytes& bytes) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }

    TBytes ReadBytes() {
        TBytes bytes;
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) return bytes;
        for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<unsigned char>(c));
        std::fclose(f);
        return bytes;
    }
};

// What one read gives: the text, the result, and the bytes left behind it.
struct TReadOutcome {
    std::string text;
    int result;
    TBytes rest;
};

TReadOutcome ReadWithStream(const std::string& path) {
    TReadOutcome outcome;
    FILE* f = std::fopen(path.c_str(), "rb");
    TString text("unchanged");
    outcome.result = ReadCountedString(text, f);
    outcome.text = text.c_str();
    for (int c; (c = std::fgetc(f)) != EOF;) outcome.rest.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
    return outcome;
}

TReadOutcome ReadWithFile(const std::string& path) {
    TReadOutcome outcome;
    TFile file(path.c_str(), TFile::READ_ONLY);
    TString text("unchanged");
    outcome.result = ReadCountedString(text, file);
    outcome.text = text.c_str();
    unsigned char byte;
    while (file.Read(&byte, 1) == 1) outcome.rest.push_back(byte);
    return outcome;
}

struct TReadCase {
    TBytes bytes;
    std::string text;  // what is read
    int result;
    TBytes rest;  // what the read leaves behind
};

const TReadCase READ_CASES[] = {
    // The empty text: length 0, no name bytes.
    {{0x00, 0x00, 0x99}, "", 1, {0x99}},
    // "AB", then the next field.
    {{0x02, 0x00, 'A', 'B', 0x57}, "AB", 1, {0x57}},
    // A zero byte inside a name ends it; all five bytes are consumed.
    {{0x05, 0x00, 'A', 'B', 0x00, 'C', 'D', 0x57, 0x74}, "AB", 1, {0x57, 0x74}},
    // A leading zero byte: the empty text, the rest of the name still consumed.
    {{0x03, 0x00, 0x00, 'X', 'Y', 0x01}, "", 1, {0x01}},
    // Bytes from 0x80 up are ANSI characters, kept as they are.
    {{0x02, 0x00, 0xC4, 0xE9}, "\xC4\xE9", 1, {}},
    // The name is cut short: what is there is read, the result says so.
    {{0x05, 0x00, 'A', 'B', 'C'}, "ABC", 0, {}},
    // Only one length byte: the missing one counts as zero.
    {{0x00}, "", 0, {}},
    // Nothing at all.
    {{}, "", 0, {}},
};

TEST_F(CountedStringTest, BothReadFormsConsumeTheCountedBytesAndStopAtAZero) {
    for (const TReadCase& c : READ_CASES) {
        WriteBytes(c.bytes);
        TReadOutcome fromStream = ReadWithStream(path);
        TReadOutcome fromFile = ReadWithFile(path);
        for (const TReadOutcome& got : {fromStream, fromFile}) {
            SCOPED_TRACE(testing::PrintToString(c.bytes));
            EXPECT_EQ(got.text, c.text);
            EXPECT_EQ(got.result, c.result);
            EXPECT_EQ(got.rest, c.rest);
        }
    }
}

TEST_F(CountedStringTest, LengthIsLittleEndian) {
    // 0x0102 = 258 bytes of 'x', then a marker.
    TBytes bytes = {0x02, 0x01};
    bytes.insert(bytes.end(), 258, 'x');
    bytes.push_back(0x42);
    WriteBytes(bytes);
    TReadOutcome got = ReadWithStream(path);
    EXPECT_EQ(got.text, std::string(258, 'x'));
    EXPECT_EQ(got.rest, TBytes{0x42});
}

TEST_F(CountedStringTest, WriteThenReadGivesTheTextBack) {
    const std::string texts[] = {
        "",                       // written as 00 00
        "INSTALL.EXE",            // an ordinary name
        "\xC4rger.txt",           // an ANSI letter
        std::string(300, 'n'),    // longer than one length byte
        std::string(65535, 'm'),  // the longest text a length can count
    };
    for (const std::string& text : texts) {
        {
            TFile file(path.c_str(), TFile::CREATE_READ_WRITE);
            ASSERT_TRUE(file.IsOpen());
            EXPECT_EQ(WriteCountedString(TString(text.c_str()), file), 1);
        }
        TBytes bytes = ReadBytes();
        ASSERT_EQ(bytes.size(), 2 + text.size());
        EXPECT_EQ(bytes[0] | bytes[1] << 8, static_cast<int>(text.size()));
        EXPECT_EQ(ReadWithStream(path).text, text);
        EXPECT_EQ(ReadWithFile(path).text, text);
    }
}

TEST_F(CountedStringTest, EmptyTextIsWrittenAsTwoZeroBytes) {
    {
        TFile file(path.c_str(), TFile::CREATE_READ_WRITE);
        EXPECT_EQ(WriteCountedString(TString(""), file), 1);
    }
    EXPECT_EQ(ReadBytes(), (TBytes{0x00, 0x00}));
}

TEST_F(CountedStringTest, TextTooLongForTheLengthWritesNothing) {
    {
        TFile file(path.c_str(), TFile::CREATE_READ_WRITE);
        std::string text(65536, 'z');
        EXPECT_EQ(WriteCountedString(TString(text.c_str()), file), 0);
    }
    EXPECT_TRUE(ReadBytes().empty());
}

TEST_F(CountedStringTest, WritingToAClosedFileFails) {
    TFile file;
    EXPECT_EQ(WriteCountedString(TString("A"), file), 0);
}

TEST_F(CountedStringTest, TFileCreateTruncatesAndReadOnlyNeedsAnExistingFile) {
    WriteBytes({1, 2, 3, 4});
    {
        TFile file(path.c_str(), TFile::CREATE_READ_WRITE);
        ASSERT_TRUE(file.IsOpen());
        EXPECT_EQ(file.Write("\x09", 1), 1);
    }
    EXPECT_EQ(ReadBytes(), TBytes{0x09});

    TFile reader;
    EXPECT_EQ(reader.Open(path.c_str(), TFile::READ_ONLY), 1);
    unsigned char buffer[4];
    EXPECT_EQ(reader.Read(buffer, 4), 1);
    EXPECT_EQ(reader.Read(buffer, 4), 0);  // the end of the file
    EXPECT_EQ(reader.Close(), 1);
    EXPECT_EQ(reader.Read(buffer, 4), -1);  // nothing open
    EXPECT_EQ(reader.Close(), 0);

    std::remove(path.c_str());
    EXPECT_EQ(reader.Open(path.c_str(), TFile::READ_ONLY), 0);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.Open(nullptr, TFile::READ_ONLY), 0);
}

}  // namespace
