// The Win32 TSystem on the real file system, under Wine.
#include <windows.h>
#undef DRIVE_CDROM

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/system.h"
#include "prep/folders.h"
#include "tests/win32/test_files.h"

namespace {

std::string TempPath() {
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    return buffer;
}

// Deletes a folder with everything in it (read-only and hidden files too).
void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + "\\");
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

bool SamePath(std::string a, std::string b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

// A fresh folder of the test's own in the real temporary folder.
class Win32SystemTest : public testing::Test {
protected:
    void SetUp() override {
        base = TempPath() + "velto-system-" + std::to_string(GetCurrentProcessId()) + "\\";
        RemoveTree(base);
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(base); }

    std::string base;
};

TEST_F(Win32SystemTest, FileExistsSeesEveryFileAndFolder) {
    WriteAll(base + "plain.txt", "x");
    WriteAll(base + "hidden.txt", "x");
    WriteAll(base + "readonly.txt", "x");
    SetFileAttributesA((base + "hidden.txt").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA((base + "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA((base + "sub").c_str(), nullptr);
    const struct {
        std::string path;
        bool exists;
    } cases[] = {
        {base + "plain.txt", true},     // a plain file
        {base + "PLAIN.TXT", true},     // in any case
        {base + "hidden.txt", true},    // hidden and system
        {base + "readonly.txt", true},  // read-only
        {base + "sub", true},           // a folder without trailing backslash
        {base + "sub\\", true},         // and with one
        {base + "missing", false},      // nothing there
        {base + "sub\\missing\\", false},
    };
    for (const auto& c : cases) EXPECT_EQ(FileExists(c.path.c_str()), c.exists) << c.path;
    EXPECT_FALSE(FileExists(nullptr));
}

TEST_F(Win32SystemTest, CreatePathDirectoriesMakesEveryMissingFolder) {
    EXPECT_EQ(CreatePathDirectories((base + "a\\b\\c\\file.txt").c_str()), 1);
    EXPECT_EQ(GetFileAttributesA((base + "a\\b\\c").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(FileExists((base + "a\\b\\c\\file.txt").c_str()));

    WriteAll(base + "file", "x");  // a file where a folder should be
    EXPECT_EQ(CreatePathDirectories((base + "file\\sub\\").c_str()), 0);
}

TEST_F(Win32SystemTest, MakeTempFileNameAsksTheSystemFirst) {
    char name[260];
    MakeTempFileName(name, "INSTALL");
    const std::string made = name;
    const std::string temp = TempPath();
    ASSERT_GT(made.size(), temp.size());
    EXPECT_TRUE(SamePath(made.substr(0, temp.size()), temp)) << made;
    EXPECT_TRUE(SamePath(made.substr(temp.size(), 3), "INS")) << made;
    EXPECT_TRUE(FileExists(name));
    DeleteFileA(name);
}

TEST_F(Win32SystemTest, ProfileWriterLeavesExactlyTwoLines) {
    const std::string expected = "[STANDARD]\r\nINST_PATH=D:\\\r\n";
    SetCurrentDirectoryA(base.c_str());
    const struct {
        std::string path;    // the INI path given
        std::string before;  // what the file held
    } cases[] = {
        {base + "fresh.ini", ""},                      // a new file
        {base + "Install.ini", "[OTHER]\r\nA=B\r\n"},  // emptied first, then written
        {"relative.ini", ""},                          // relative: the probe finds it here
    };
    for (const auto& c : cases) {
        if (!c.before.empty()) WriteAll(c.path, c.before);
        Sys().CreateEmptyFile(c.path.c_str());
        Sys().WriteProfileString("STANDARD", "INST_PATH", "D:\\", c.path.c_str());
        const std::string where = c.path.find('\\') == std::string::npos ? base + c.path : c.path;
        EXPECT_EQ(ReadAll(where), expected) << c.path;
    }
    SetCurrentDirectoryA(ProgramFolder().c_str());
}

TEST_F(Win32SystemTest, ProgramFileNameIsThisTest) {
    char buffer[256];
    const unsigned length = Sys().GetModuleFileNameA(buffer, 255);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 255u);
    EXPECT_TRUE(SamePath(std::string(buffer), ProgramFolder() + "prep_win32_tests.exe")) << buffer;
}

}  // namespace
