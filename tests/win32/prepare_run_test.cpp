// PrepareInstallation end to end under Wine: real SETUP.TMP, real temp folder, a probe installer.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/filetime.h"
#include "prep/folders.h"
#include "prep/prepare.h"
#include "tests/support/archive_builder.h"
#include "tests/win32/test_files.h"

namespace {

const char PROBE_NAME[] = "prep_probe_installer.exe";  // built beside this test
const char RECORD_NAME[] = "probe-record.txt";         // what the probe writes beside itself
const uintptr_t HANDLE_VALUE = 0x00010A2C;             // any value: the probe only records it

int64_t ModTime(const std::string& path) {
    int64_t seconds = -1;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        GetStreamModTime(file, &seconds);
        std::fclose(file);
    }
    return seconds;
}

// The started program may still be finishing its record: wait for it, at most half a minute.
std::string AwaitRecord(const std::string& path) {
    for (int tries = 0; tries < 300 && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
         ++tries) {
        Sleep(100);
    }
    return ReadAll(path);
}

// The value of "key=" in the probe's record.
std::string Field(const std::string& record, const std::string& key) {
    const size_t start = record.find(key + "=");
    if (start == std::string::npos) return "";
    const size_t end = record.find('\n', start);
    return record.substr(start + key.size() + 1, end - start - key.size() - 1);
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class PrepareRunTest : public testing::Test {
protected:
    void SetUp() override {
        probe = ReadAll(ProgramFolder() + PROBE_NAME);
        ASSERT_FALSE(probe.empty()) << "the probe installer is missing beside the test";
        archivePath = ProgramFolder() + "SETUP.TMP";
        WriteAll(archivePath, MakeArchive({{"INSTALL.EXE", probe, INSTALLER_TIME},
                                           {"DATA.BIN", DATA, DATA_TIME}}));
        folderName = "_Velto3d\\";
        installerPath = "";
    }

    void TearDown() override {
        DeleteFileA(archivePath.c_str());
        if (!folder.empty()) {
            for (const char* name : {"INSTALL.EXE", "DATA.BIN", "Install.ini", RECORD_NAME}) {
                DeleteFileA((folder + name).c_str());
            }
            RemoveDirectoryA(folder.c_str());
        }
    }

    // Chooses the folder, runs the sequence and remembers where it unpacked.
    int Run() {
        ChooseExtractFolder();
        const int result = PrepareInstallation(reinterpret_cast<HWND__*>(HANDLE_VALUE));
        const std::string path = installerPath.c_str();
        folder = path.substr(0, path.rfind('\\') + 1);
        return result;
    }

    const TDosTime INSTALLER_TIME = MakeDosTime(1995, 12, 24, 12, 30, 30);
    const TDosTime DATA_TIME = MakeDosTime(2010, 6, 15, 23, 59, 58);
    const std::string DATA = std::string(70000, 'd') + "end";
    std::string probe;
    std::string archivePath;
    std::string folder;
};

TEST_F(PrepareRunTest, UnpacksIntoTheTemporaryFolderAndStartsTheInstaller) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);

    ASSERT_EQ(Run(), 1);

    EXPECT_EQ(lstrcmpiA(folder.c_str(), (std::string(temp) + folderName.c_str()).c_str()), 0)
        << folder;
    EXPECT_EQ(ReadAll(folder + "INSTALL.EXE"), probe);
    EXPECT_EQ(ReadAll(folder + "DATA.BIN"), DATA);
    EXPECT_EQ(ModTime(folder + "INSTALL.EXE"), DosTimeToUtc(INSTALLER_TIME));
    EXPECT_EQ(ModTime(folder + "DATA.BIN"), DosTimeToUtc(DATA_TIME));
    EXPECT_EQ(ReadAll(folder + "Install.ini"),
              "[STANDARD]\r\nINST_PATH=" + ProgramFolder() + "\r\n");

    const std::string record = AwaitRecord(folder + RECORD_NAME);
    EXPECT_EQ(lstrcmpiA(Field(record, "module").c_str(), installerPath.c_str()), 0) << record;
    EXPECT_TRUE(EndsWith(Field(record, "command"), " 68140")) << record;
}

// With a space in the temporary folder, an unquoted path would start
// "<temp>\velto.exe" with the rest as arguments; a decoy waits there.
TEST_F(PrepareRunTest, StartsTheInstallerWhenItsPathHasASpace) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string base =
        std::string(temp) + "velto-run-" + std::to_string(GetCurrentProcessId()) + "\\";
    const std::string spaced = base + "velto temp\\";
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA(spaced.c_str(), nullptr);
    WriteAll(base + "velto.exe", probe);
    char oldTmp[MAX_PATH] = "";
    const bool hadTmp = GetEnvironmentVariableA("TMP", oldTmp, MAX_PATH) != 0;
    SetEnvironmentVariableA("TMP", spaced.c_str());

    const int result = Run();

    SetEnvironmentVariableA("TMP", hadTmp ? oldTmp : nullptr);
    const std::string record = AwaitRecord(folder + RECORD_NAME);
    const bool decoyStarted =
        GetFileAttributesA((base + RECORD_NAME).c_str()) != INVALID_FILE_ATTRIBUTES;
    DeleteFileA((base + RECORD_NAME).c_str());
    DeleteFileA((base + "velto.exe").c_str());

    EXPECT_EQ(result, 1);
    EXPECT_EQ(lstrcmpiA(folder.c_str(), (spaced + folderName.c_str()).c_str()), 0) << folder;
    EXPECT_EQ(lstrcmpiA(Field(record, "module").c_str(), installerPath.c_str()), 0) << record;
    EXPECT_TRUE(EndsWith(Field(record, "command"), " 68140")) << record;
    EXPECT_FALSE(decoyStarted);

    TearDown();  // the extraction folder lies inside the folders made here
    folder.clear();
    RemoveDirectoryA(spaced.c_str());
    RemoveDirectoryA(base.c_str());
}

}  // namespace
