// velto-pack's archive reader and writer, and the entry-name rules, on hand-built archives.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/archive_reader.h"
#include "tools/archive_writer.h"
#include "tools/names.h"
#include "tools/os.h"
#include "tests/unit/scratch_path.h"

namespace {

using TBytes = std::vector<unsigned char>;

// Builds archive bytes field by field.
class TArchiveBytes {
public:
    TArchiveBytes& U16(unsigned v) {
        return Raw({static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)});
    }
    TArchiveBytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
        return *this;
    }
    TArchiveBytes& Raw(const TBytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    TArchiveBytes& Name(const std::string& name) {
        U16(static_cast<unsigned>(name.size()));
        return Raw(TBytes(name.begin(), name.end()));
    }
    // A 36-byte header dated 1995-12-24 12:30:30.
    TArchiveBytes& Header(uint32_t unpackedSize, uint32_t packedSize,
                          uint32_t magic = TLZSS::ENTRY_MAGIC) {
        U32(magic).U32(15).U32(30).U32(12).U32(24).U32(12).U32(15);
        return U32(unpackedSize).U32(packedSize);
    }
    // The entry for "abc": header, then flag 07 and three literals.
    TArchiveBytes& Abc() { return Header(3, 4).Raw({0x07, 'a', 'b', 'c'}); }

    TBytes bytes;
};

// An archive file in the test's temporary folder.
class ArchiveTest : public testing::Test {
protected:
    std::string path = ScratchPath("archive");

    void TearDown() override { std::remove(path.c_str()); }

    FILE* Open(const TBytes& bytes) {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return std::fopen(path.c_str(), "rb");
    }

    // Walks the archive as test does (decoding) or as list does (skipping)
    // and tells what it met: "ok" per sound entry, each error, and how the
    // walk ended.
    std::string Walk(const TBytes& bytes, bool decode) {
        FILE* f = Open(bytes);
        TArchiveReader reader(f);
        std::string transcript;
        if (!reader.ReadCount()) {
            transcript = reader.Error();
        } else {
            for (int i = 0; i < reader.EntryCount(); ++i) {
                TArchiveEntry entry;
                TCountingSink sink;
                bool sound =
                    reader.ReadName(&entry) &&
                    (decode ? reader.ReadData(&entry, sink, nullptr) : reader.SkipData(&entry));
                transcript += sound ? "ok" : reader.Error();
                transcript += "; ";
                if (!sound && !reader.CanContinue()) break;
            }
            if (reader.CanContinue()) {
                uint64_t end = reader.Offset();
                transcript += "end " + std::to_string(end) + " + " +
                              std::to_string(reader.CountTrailingBytes());
            }
        }
        std::fclose(f);
        return transcript;
    }
};

struct TWalkCase {
    TBytes bytes;
    const char* decoded;  // what test's walk reports
    const char* listed;   // what list's walk reports (headers only)
};

std::vector<TWalkCase> WalkCases() {
    return {
        // Two sound entries, back to back: 2 + (3 + 40) + (3 + 40) bytes.
        {TArchiveBytes().U16(2).Name("A").Abc().Name("B").Abc().bytes, "ok; ok; end 88 + 0",
         "ok; ok; end 88 + 0"},
        // Count 0, -1 (FF FF) and -32768 (00 80) mean no entries, whatever follows.
        {TArchiveBytes().U16(0).bytes, "end 2 + 0", "end 2 + 0"},
        {TArchiveBytes().U16(0xFFFF).Name("A").Abc().bytes, "end 2 + 43", "end 2 + 43"},
        {TArchiveBytes().U16(0x8000).bytes, "end 2 + 0", "end 2 + 0"},
        // Trailing bytes after the last entry are counted, not read as entries.
        {TArchiveBytes().U16(1).Name("A").Abc().Raw({1, 2, 3}).bytes, "ok; end 45 + 3",
         "ok; end 45 + 3"},
        // An archive of one byte has no whole count.
        {{0x01},
         "cut short at byte 1: an archive starts with a 2-byte entry count",
         "cut short at byte 1: an archive starts with a 2-byte entry count"},
        // A count larger than the entries present; FF 7F is 32767.
        {TArchiveBytes().U16(0x7FFF).Name("A").Abc().bytes,
         "ok; entry count is 32767 but only 1 entries are present: the archive ends at byte 45; ",
         "ok; entry count is 32767 but only 1 entries are present: the archive ends at byte 45; "},
        // Cut inside a name length, and inside a name.
        {TArchiveBytes().U16(1).Raw({0x05}).bytes,
         "entry 1: cut short at byte 3 (in the name length); ",
         "entry 1: cut short at byte 3 (in the name length); "},
        {TArchiveBytes().U16(1).U16(5).Raw({'D', 'A'}).bytes,
         "entry 1 (DA): cut short at byte 6 (in the name); ",
         "entry 1 (DA): cut short at byte 6 (in the name); "},
        // A zero byte inside a name ends it; the entry is still found after all 5 bytes.
        {TArchiveBytes().U16(1).U16(5).Raw({'A', 'B', 0, 'C', 'D'}).Abc().bytes, "ok; end 49 + 0",
         "ok; end 49 + 0"},
        // A name with no bytes is read as the empty name.
        {TArchiveBytes().U16(1).Name("").Abc().bytes, "ok; end 44 + 0", "ok; end 44 + 0"},
        // A wrong magic: the entry's length is unknown, so the walk ends.
        {TArchiveBytes()
             .U16(2)
             .Name("A")
             .Header(3, 4, 0x00137458)
             .Raw({0x07, 'a', 'b', 'c'})
             .Name("B")
             .Abc()
             .bytes,
         "entry 1 (A): wrong magic at byte 5: 58 74 13 00 instead of 57 74 13 00; ",
         "entry 1 (A): wrong magic at byte 5: 58 74 13 00 instead of 57 74 13 00; "},
        // The header cut after the magic (the decoder alone would call this an empty entry).
        {TArchiveBytes().U16(1).Name("A").U32(TLZSS::ENTRY_MAGIC).U32(15).bytes,
         "entry 1 (A): cut short at byte 13 (in the entry header); ",
         "entry 1 (A): cut short at byte 13 (in the entry header); "},
        // The header cut inside the magic.
        {TArchiveBytes().U16(1).Name("A").Raw({0x57, 0x74}).bytes,
         "entry 1 (A): cut short at byte 7 (in the entry header); ",
         "entry 1 (A): cut short at byte 7 (in the entry header); "},
        // A name, then nothing.
        {TArchiveBytes().U16(1).Name("A").bytes,
         "entry 1 (A): cut short at byte 5 (in the entry header); ",
         "entry 1 (A): cut short at byte 5 (in the entry header); "},
        // The token stream cut after two of its four bytes.
        {TArchiveBytes().U16(1).Name("A").Header(3, 4).Raw({0x07, 'a'}).bytes,
         "entry 1 (A): cut short at byte 43 (2 of 4 packed bytes present); ",
         "entry 1 (A): cut short at byte 43 (2 of 4 packed bytes present); "},
        // A hostile packedSize of 4 GiB - 1 in a short file: cut short, nothing allocated by it.
        {TArchiveBytes()
             .U16(1)
             .Name("A")
             .Header(0xFFFFFFFF, 0xFFFFFFFF)
             .Raw({0x00, 0x00, 0x00})
             .bytes,
         "entry 1 (A): cut short at byte 44 (3 of 4294967295 packed bytes present); ",
         "entry 1 (A): cut short at byte 44 (3 of 4294967295 packed bytes present); "},
        // unpackedSize larger than the tokens give: a bad entry, but the next one is found.
        {TArchiveBytes()
             .U16(2)
             .Name("A")
             .Header(5, 4)
             .Raw({0x07, 'a', 'b', 'c'})
             .Name("B")
             .Abc()
             .bytes,
         "entry 1 (A): sizes do not match: the header says 5 bytes, the data gives 3 (entry ends "
         "at "
         "byte 45); ok; end 88 + 0",
         "ok; ok; end 88 + 0"},
        // unpackedSize smaller: the extra bytes are refused, the rest skipped, the next entry
        // found.
        {TArchiveBytes()
             .U16(2)
             .Name("A")
             .Header(1, 4)
             .Raw({0x07, 'a', 'b', 'c'})
             .Name("B")
             .Abc()
             .bytes,
         "entry 1 (A): sizes do not match: the header says 1 bytes, the data gives more (entry "
         "ends at byte 45); ok; end 88 + 0",
         "ok; ok; end 88 + 0"},
        // One reference of 18 bytes from 2 token bytes with an unpackedSize of 4 GiB - 1:
        // the tokens end long before, nothing is allocated by the size.
        {TArchiveBytes().U16(1).Name("A").Header(0xFFFFFFFF, 3).Raw({0x00, 0xEE, 0xFF}).bytes,
         "entry 1 (A): sizes do not match: the header says 4294967295 bytes, the data gives 18 "
         "(entry ends at byte 44); end 44 + 0",
         "ok; end 44 + 0"},
        // unpackedSize 0: the header alone; a packedSize beside it is a fault, but the
        // next name follows the header, as the preloader reads it.
        {TArchiveBytes().U16(3).Name("E").Header(0, 0).Name("F").Header(0, 7).Name("B").Abc().bytes,
         "ok; entry 2 (F): packed size 7 for an empty entry, whose token stream the preloader "
         "never reads (entry ends at byte 80); ok; end 123 + 0",
         "ok; ok; ok; end 123 + 0"},
    };
}

TEST_F(ArchiveTest, WalkNamesEachFaultWithEntryAndOffset) {
    std::vector<TWalkCase> cases = WalkCases();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_EQ(Walk(cases[i].bytes, true), cases[i].decoded);
        EXPECT_EQ(Walk(cases[i].bytes, false), cases[i].listed);
    }
}

TEST_F(ArchiveTest, ReadDataReportsNameHeaderAndOffsets) {
    FILE* f = Open(TArchiveBytes().U16(1).Name("DATA.BIN").Abc().bytes);
    TArchiveReader reader(f);
    ASSERT_TRUE(reader.ReadCount());
    EXPECT_EQ(reader.StoredCount(), 1);
    TArchiveEntry entry;
    ASSERT_TRUE(reader.ReadName(&entry));
    EXPECT_EQ(entry.index, 1);
    EXPECT_EQ(entry.name, "DATA.BIN");
    EXPECT_EQ(entry.offset, 2u);
    EXPECT_EQ(entry.headerOffset, 12u);

    // The sink sees the decoded bytes in order.
    struct TCollect : TEntrySink {
        bool Put(uint8_t b) override {
            text += static_cast<char>(b);
            return true;
        }
        std::string text;
    } sink;
    ASSERT_TRUE(reader.ReadData(&entry, sink, nullptr));
    EXPECT_EQ(sink.text, "abc");
    EXPECT_EQ(entry.data.unpackedSize, 3u);
    EXPECT_EQ(entry.data.packedSize, 4u);
    EXPECT_EQ(entry.data.time.date, (15 << 9) | (12 << 5) | 24);
    EXPECT_EQ(entry.data.time.time, (12 << 11) | (30 << 5) | 15);
    EXPECT_EQ(reader.Offset(), 52u);
    std::fclose(f);
}

TEST_F(ArchiveTest, SinkThatRefusesIsToldApartFromBadData) {
    FILE* f = Open(TArchiveBytes().U16(2).Name("A").Abc().Name("B").Abc().bytes);
    TArchiveReader reader(f);
    ASSERT_TRUE(reader.ReadCount());
    struct TFull : TEntrySink {
        bool Put(uint8_t) override { return false; }
    } full;
    TArchiveEntry entry;
    ASSERT_TRUE(reader.ReadName(&entry));
    EXPECT_FALSE(reader.ReadData(&entry, full, nullptr));
    EXPECT_TRUE(reader.SinkFailed());
    EXPECT_TRUE(reader.CanContinue());  // the rest of the entry was passed over
    TCountingSink sink;
    ASSERT_TRUE(reader.ReadName(&entry));
    EXPECT_EQ(entry.name, "B");
    EXPECT_TRUE(reader.ReadData(&entry, sink, nullptr));
    EXPECT_EQ(sink.count, 3u);
    std::fclose(f);
}

// Files packed by the writer and read back: names, contents and times.
class ArchiveRoundTripTest : public ArchiveTest {
protected:
    std::string archive = ScratchPath("archive_round_trip.tmp");
    std::string source = ScratchPath("archive_round_trip.src");

    void TearDown() override {
        std::remove(archive.c_str());
        std::remove(source.c_str());
        ArchiveTest::TearDown();
    }

    void WriteSource(const std::string& content) {
        FILE* f = std::fopen(source.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
};

TEST_F(ArchiveRoundTripTest, WriterOutputDecodesToTheSameBytesAndTimes) {
    // Sizes: empty, one byte, across the ring (4096) and across 64 KiB.
    const size_t sizes[] = {0, 1, 4097, 70000};
    std::vector<std::string> contents;
    for (size_t size : sizes) {
        std::string content;
        for (size_t i = 0; i < size; ++i)
            content += static_cast<char>((i * 7 + i / 300) % 251);  // some repeats, some not
        contents.push_back(content);
    }
    TArchiveWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Begin(archive, static_cast<int>(contents.size()), &error)) << error;
    for (size_t i = 0; i < contents.size(); ++i) {
        WriteSource(contents[i]);
        FILE* in = std::fopen(source.c_str(), "rb");
        TDosTime time = {static_cast<uint16_t>((20 << 9) | (7 << 5) | (1 + i)), 0x1234};
        ASSERT_TRUE(writer.AddEntry("F" + std::to_string(i), in, time, contents[i].size(), &error))
            << error;
        std::fclose(in);
    }
    ASSERT_TRUE(writer.Commit(&error)) << error;

    FILE* f = std::fopen(archive.c_str(), "rb");
    TArchiveReader reader(f);
    ASSERT_TRUE(reader.ReadCount());
    ASSERT_EQ(reader.EntryCount(), 4);
    for (size_t i = 0; i < contents.size(); ++i) {
        struct TCollect : TEntrySink {
            bool Put(uint8_t b) override {
                text += static_cast<char>(b);
                return true;
            }
            std::string text;
        } sink;
        TArchiveEntry entry;
        ASSERT_TRUE(reader.ReadName(&entry));
        EXPECT_EQ(entry.name, "F" + std::to_string(i));
        ASSERT_TRUE(reader.ReadData(&entry, sink, nullptr)) << reader.Error();
        EXPECT_TRUE(sink.text == contents[i]) << "entry " << i;
        EXPECT_EQ(entry.data.time.date, (20 << 9) | (7 << 5) | (1 + i));
        EXPECT_EQ(entry.data.time.time, 0x1234);
    }
    EXPECT_EQ(reader.CountTrailingBytes(), 0u);
    std::fclose(f);
}

TEST_F(ArchiveRoundTripTest, AbandonedWriterLeavesNoFileBehind) {
    WriteSource("changed");
    {
        TArchiveWriter writer;
        std::string error;
        ASSERT_TRUE(writer.Begin(archive, 1, &error));
        FILE* in = std::fopen(source.c_str(), "rb");
        // The file was 3 bytes when checked and is 7 now: refused.
        EXPECT_FALSE(writer.AddEntry("A", in, TDosTime{0x21, 0}, 3, &error));
        EXPECT_NE(error.find("changed while being packed"), std::string::npos) << error;
        std::fclose(in);
    }
    TPathInfo info;
    std::string ignored;
    EXPECT_FALSE(StatPath(archive, &info, &ignored));
    std::vector<std::string> names;
    ASSERT_TRUE(ListRegularFiles(testing::TempDir(), &names, &ignored));
    for (const std::string& name : names)
        EXPECT_EQ(name.find(BaseName(archive) + "."), std::string::npos) << name;
}

TEST_F(ArchiveRoundTripTest, CommitReplacesAnExistingArchive) {
    FILE* old = std::fopen(archive.c_str(), "wb");
    std::fputs("an old archive, longer than the new one", old);
    std::fclose(old);
    TArchiveWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Begin(archive, 0, &error));
    ASSERT_TRUE(writer.Commit(&error)) << error;
    TPathInfo info;
    ASSERT_TRUE(StatPath(archive, &info, &error));
    EXPECT_EQ(info.size, 2u);  // the count alone
}

struct TNameCase {
    const char* name;
    bool allowed;
};

const TNameCase NAME_CASES[] = {
    {"INSTALL.EXE", true},    // the installer
    {"data file.bin", true},  // spaces inside are fine
    {".hidden", true},        // a leading dot is fine
    {"\xC4rger.txt", true},   // ANSI letters
    {"CONSOLE.TXT", true},    // starts like a device, but is not one
    {"COM10", true},          // only COM1..COM9 are devices
    {"", false},              // empty
    {".", false},             // the folder itself
    {"..", false},            // the parent
    {"..\\x", false},         // a Windows separator
    {"a/b", false},           // a POSIX separator
    {"C:x", false},           // a drive
    {"a<b", false},           // characters Windows refuses
    {"a?", false},            //
    {"tab\there", false},     // control characters
    {"x\x7f", false},         //
    {"name.", false},         // trailing dot
    {"name ", false},         // trailing space
    {"CON", false},           // devices, any case, with or without an extension
    {"nul", false},           //
    {"Aux.txt", false},       //
    {"prn.tar.gz", false},    //
    {"COM1", false},          //
    {"lpt9.log", false},      //
    {"COM\xB9", false},       // superscript one counts as a digit
    {"CON .txt", false},      // spaces before the extension do not help
    {"CONOUT$", false},       // console
};

TEST(EntryNameTest, RefusesAnythingButOnePlainWindowsFileName) {
    for (const TNameCase& c : NAME_CASES)
        EXPECT_EQ(EntryNameProblem(c.name) == nullptr, c.allowed) << "'" << c.name << "'";
    EXPECT_EQ(EntryNameProblem(std::string(255, 'a')), nullptr);
    EXPECT_NE(EntryNameProblem(std::string(256, 'a')), nullptr);
}

TEST(EntryNameTest, NamesThatDifferOnlyInCaseAreTheSame) {
    EXPECT_TRUE(SameNameIgnoringCase("Install.Exe", "INSTALL.EXE"));
    EXPECT_FALSE(SameNameIgnoringCase("INSTALL.EXE", "INSTALL.EX"));
    EXPECT_FALSE(SameNameIgnoringCase("a.txt", "b.txt"));
}

}  // namespace
