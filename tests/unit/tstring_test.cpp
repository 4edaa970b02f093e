// TString: copying, joining and texts that overlap the string's own storage.
#include "prep/tstring.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TStringTest, JoinsAndCopies) {
    TString path("C:\\");
    path += "TEMP";
    path += '\\';
    path += TString("_Velto3d1\\");
    EXPECT_EQ(path, "C:\\TEMP\\_Velto3d1\\");
    EXPECT_EQ(path.length(), 18u);

    TString copy(path);
    copy += "INSTALL.EXE";
    EXPECT_EQ(path, "C:\\TEMP\\_Velto3d1\\");  // the copy is its own
    EXPECT_EQ(copy, "C:\\TEMP\\_Velto3d1\\INSTALL.EXE");
    EXPECT_EQ(path + "x", "C:\\TEMP\\_Velto3d1\\x");
}

TEST(TStringTest, EmptyAndNullAreTheEmptyText) {
    TString empty;
    TString null(nullptr);
    EXPECT_STREQ(empty.c_str(), "");
    EXPECT_STREQ(null.c_str(), "");
    EXPECT_EQ(empty.length(), 0u);
    empty += static_cast<const char*>(nullptr);
    EXPECT_EQ(empty, "");
}

TEST(TStringTest, TakesTextFromItsOwnStorage) {
    TString text("abcdef");
    text += text;  // grows while reading itself
    EXPECT_EQ(text, "abcdefabcdef");
    text = text.c_str() + 3;  // a tail of itself
    EXPECT_EQ(text, "defabcdef");
    text = text;
    EXPECT_EQ(text, "defabcdef");
    for (int i = 0; i < 6; ++i) text += text.c_str();  // many reallocations
    EXPECT_EQ(text.length(), 9u * 64u);
}

TEST(TStringTest, AssignKeepsBytesBeyondAZero) {
    TString name;
    name.Assign("AB\0CD", 5);
    EXPECT_EQ(name.length(), 5u);
    EXPECT_STREQ(name.c_str(), "AB");
    name = name.c_str();  // the text up to the zero
    EXPECT_EQ(name.length(), 2u);
}

TEST(TStringTest, GrowsAcrossManyAppends) {
    TString text;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        text += static_cast<char>('a' + i % 26);
        expected += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(std::string(text.c_str()), expected);
}

}  // namespace
