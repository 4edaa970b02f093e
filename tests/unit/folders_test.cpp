// Working folders and temporary names against the model OS.
#include "prep/folders.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "prep/split_path.h"
#include "tests/support/scene.h"

namespace {

bool Matches(const std::string& pattern, const std::string& name) {
    return fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE) == 0;
}

std::string TempName(const char* prefix = "INSTALL") {
    char out[260] = "untouched";
    MakeTempFileName(out, prefix);
    return out;
}

// ---- FileExists

class FileExistsTest : public TSceneTest {};

TEST_F(FileExistsTest, TellsFilesAndFoldersFromNothing) {
    model.AddFile("C:\\DATA\\A.TXT", "a");
    model.AddFile("C:\\DATA\\HIDDEN.SYS", "",
                  TSystem::ATTRIBUTE_HIDDEN | TSystem::ATTRIBUTE_READONLY);
    const struct {
        const char* path;
        bool exists;
    } cases[] = {
        {nullptr, false},                // no path at all
        {"", false},                     // the empty text names nothing
        {"C:\\DATA\\A.TXT", true},       // a plain file
        {"c:\\data\\a.txt", true},       // names are case-insensitive
        {"C:\\DATA\\HIDDEN.SYS", true},  // hidden and read-only count as well
        {"C:\\DATA", true},              // a folder without trailing backslash
        {"C:\\DATA\\", true},            // and with one
        {"C:\\", true},                  // a drive root
        {"C:\\DATA\\A.TXT\\", false},    // a file is no folder
        {"C:\\DATA\\B.TXT", false},      // missing
        {"..\\WORK", true},              // relative to the current folder
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileExists(c.path), c.exists) << (c.path ? c.path : "(null)");
    }
}

// ---- MakeTempFileName: the three roads

struct TTempRoadCase {
    std::string tempPath;    // what GetTempPathA reports ("" = it fails)
    bool tempFolderExists;   // that folder is there
    unsigned tempDriveType;  // type of its drive
    bool fallbackPresent;    // "c:\temp\" is there beforehand
    bool fallbackRefused;    // "c:\temp\" cannot be created
    unsigned fallbackTaken;  // c:\temp\KZW0.tmp .. KZW<n-1>.tmp exist
    bool systemRefuses;      // GetTempFileNameA writes nothing
    const char* expected;    // the name, as a pattern with *
    bool fileMade;           // the named file exists afterwards
    unsigned driveQueries;   // how often the drive type was asked
};

std::vector<TTempRoadCase> TempRoadCases() {
    const std::string tooLong = "C:\\" + std::string(260, 'L') + "\\";
    return {
        // First road: the system names a file in the temporary folder, with the prefix's first
        // three characters.
        {"C:\\WINDOWS\\TEMP\\", true, DRIVE_FIXED, false, false, 0, false,
         "C:\\WINDOWS\\TEMP\\INS*.tmp", true, 1},
        // First road refused: the empty text, nothing else tried.
        {"C:\\WINDOWS\\TEMP\\", true, DRIVE_FIXED, false, false, 0, true, "", false, 1},
        // Temporary folder on a CD-ROM: "c:\temp\" is made and KZW0.tmp created in it.
        {"D:\\TEMP\\", true, DRIVE_CDROM, false, false, 0, false, "c:\\temp\\KZW0.tmp", true, 1},
        // KZW0.tmp to KZW4.tmp taken: the next name is KZW5.tmp.
        {"D:\\TEMP\\", true, DRIVE_CDROM, true, false, 5, false, "c:\\temp\\KZW5.tmp", true, 1},
        // Temporary folder missing: the drive type is never asked.
        {"C:\\NOWHERE\\", false, DRIVE_FIXED, false, false, 0, false, "c:\\temp\\KZW0.tmp", true,
         0},
        // GetTempPathA fails: as if the folder were missing.
        {"", false, DRIVE_FIXED, false, false, 0, false, "c:\\temp\\KZW0.tmp", true, 0},
        // A temporary folder too long for the buffer: as if it were missing.
        {tooLong, false, DRIVE_FIXED, false, false, 0, false, "c:\\temp\\KZW0.tmp", true, 0},
        // No temporary folder and "c:\temp\" impossible: a bare last-resort name, not created.
        {"C:\\NOWHERE\\", false, DRIVE_FIXED, false, true, 0, false, "TMP*.$$$", false, 0},
        // "c:\temp\" full (all 32767 names): the last resort as well.
        {"D:\\TEMP\\", true, DRIVE_CDROM, true, false, 32767, false, "TMP*.$$$", false, 1},
    };
}

class MakeTempFileNameRoads : public TSceneTest,
                              public testing::WithParamInterface<TTempRoadCase> {};

TEST_P(MakeTempFileNameRoads, TakesTheFirstRoadThatWorks) {
    const TTempRoadCase& c = GetParam();
    const std::string& tempPath = c.tempPath;
    model.SetTempPath(tempPath);
    if (c.tempFolderExists) model.AddFolder(tempPath);
    if (!tempPath.empty()) model.AddDrive(tempPath[0], c.tempDriveType);
    if (c.fallbackPresent) model.AddFolder("c:\\temp");
    if (c.fallbackRefused) model.RefuseFolder("c:\\temp");
    for (unsigned i = 0; i < c.fallbackTaken; ++i) {
        model.AddFile("c:\\temp\\KZW" + std::to_string(i) + ".tmp");
    }
    if (c.systemRefuses) model.RefuseTempFileNames();

    const std::string name = TempName();

    EXPECT_TRUE(Matches(c.expected, name)) << name;
    if (!name.empty()) {
        EXPECT_EQ(model.Exists(name), c.fileMade) << name;
    }
    EXPECT_EQ(model.driveTypeQueries, c.driveQueries);
    if (Matches("c:\\temp\\KZW*.tmp", name)) {
        EXPECT_TRUE(model.IsFolder("c:\\temp\\"));
        EXPECT_EQ(model.Bytes(name), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, MakeTempFileNameRoads, testing::ValuesIn(TempRoadCases()));

// ---- MakeTempFileName: the last-resort counter

class LastResortNames : public TSceneTest {
protected:
    LastResortNames() { LeaveOnlyTheLastRoad(); }

    // The number in a "TMP<n>.$$$" name.
    static unsigned Number(const std::string& name) {
        EXPECT_TRUE(Matches("TMP*.$$$", name)) << name;
        return static_cast<unsigned>(std::stoul(name.substr(3)));
    }
    static unsigned After(unsigned n) { return n == 65535 ? 1 : n + 1; }
};

TEST_F(LastResortNames, TakesTheNextNumberOnEveryCall) {
    const unsigned first = Number(TempName());
    EXPECT_EQ(Number(TempName()), After(first));
}

TEST_F(LastResortNames, SkipsNamesThatExistInTheCurrentFolder) {
    const unsigned first = Number(TempName());
    model.AddFile("C:\\WORK\\TMP" + std::to_string(After(first)) + ".$$$");
    model.AddFile("C:\\WORK\\TMP" + std::to_string(After(After(first))) + ".$$$");
    EXPECT_EQ(Number(TempName()), After(After(After(first))));
}

TEST_F(LastResortNames, WrapFrom65535ToOneNeverZero) {
    std::string name = TempName();
    for (unsigned calls = 0; name != "TMP65535.$$$" && calls < 65535; ++calls) name = TempName();
    ASSERT_EQ(name, "TMP65535.$$$");
    EXPECT_EQ(TempName(), "TMP1.$$$");
}

TEST_F(LastResortNames, StopAfterOneCycleWhenEveryNameExists) {
    for (unsigned n = 1; n <= 65535; ++n)
        model.AddFile("C:\\WORK\\TMP" + std::to_string(n) + ".$$$");
    const std::string name = TempName();  // used to loop for ever
    EXPECT_TRUE(Matches("TMP*.$$$", name)) << name;
    EXPECT_TRUE(model.Exists(name));
}

// ---- CreatePathDirectories

struct TPathCase {
    std::vector<std::string> folders;  // present beforehand
    std::vector<std::string> files;    // present beforehand
    std::vector<std::string> refused;  // folders that cannot be created
    std::string path;
    int result;
    std::vector<std::string> made;  // folders created, in order
};

std::vector<TPathCase> PathCases() {
    const std::string longName(251, 'A');
    return {
        // A file in a root: nothing to create.
        {{}, {}, {}, "C:\\FILE.TXT", 1, {}},
        // The empty text.
        {{}, {}, {}, "", 1, {}},
        // Two missing folders, outer first; the trailing backslash makes the last one.
        {{}, {}, {}, "C:\\A\\B\\", 1, {"C:\\A", "C:\\A\\B"}},
        // The text behind the last backslash is never made.
        {{}, {}, {}, "C:\\TEMP\\_Velto3d4\\INSTALL.EXE", 1, {"C:\\TEMP", "C:\\TEMP\\_Velto3d4"}},
        // An existing folder is not made again.
        {{"C:\\A"}, {}, {}, "C:\\A\\B\\", 1, {"C:\\A\\B"}},
        // A file in the way counts as present; the folder under it fails.
        {{}, {"C:\\A"}, {}, "C:\\A\\B\\", 0, {}},
        // A failure stops at once; folders made before it stay.
        {{}, {}, {"C:\\A\\B"}, "C:\\A\\B\\C\\D", 0, {"C:\\A"}},
        // 256 characters still fit the working copy.
        {{}, {}, {}, "C:\\" + longName + "\\X", 1, {"C:\\" + longName}},
        // 257 characters do not: nothing is made.
        {{}, {}, {}, "C:\\" + longName + "\\XY", 0, {}},
    };
}

class CreatePathDirectoriesCases : public TSceneTest,
                                   public testing::WithParamInterface<TPathCase> {};

TEST_P(CreatePathDirectoriesCases, MakesTheMissingFoldersInOrder) {
    const TPathCase& c = GetParam();
    for (const std::string& folder : c.folders) model.AddFolder(folder);
    for (const std::string& file : c.files) model.AddFile(file);
    for (const std::string& folder : c.refused) model.RefuseFolder(folder);

    EXPECT_EQ(CreatePathDirectories(c.path.c_str()), c.result);
    EXPECT_EQ(model.madeFolders, c.made);
}

INSTANTIATE_TEST_SUITE_P(Paths, CreatePathDirectoriesCases, testing::ValuesIn(PathCases()));

// ---- GetProgramDirectory

class ProgramDirectoryTest : public TSceneTest {};

TEST_F(ProgramDirectoryTest, EndsBehindTheLastBackslash) {
    const std::string longFolder = "C:\\" + std::string(240, 'P') + "\\";
    const struct {
        std::string program;
        std::string directory;
    } cases[] = {
        {"D:\\SETUP.EXE", "D:\\"},                        // a root
        {"C:\\CD\\DISK1\\SETUP.EXE", "C:\\CD\\DISK1\\"},  // nested folders
        {longFolder + "SETUP.EXE", longFolder},           // 253 characters: fits
        {longFolder + "SETUP.EXE.X", ""},                 // 255: cut short, no folder to trust
        {"SETUP.EXE", ""},                                // no folder at all
    };
    for (const auto& c : cases) {
        model.SetProgramFileName(c.program);
        char buffer[256];
        EXPECT_EQ(GetProgramDirectory(buffer), buffer);
        EXPECT_EQ(std::string(buffer), c.directory) << c.program;
    }
}

// ---- SplitPath

TEST(SplitPathTest, KeepsDriveAndDirectory) {
    const std::string deep = std::string(255, 'd') + "\\";
    const std::string beyond = "C:\\ab\\" + std::string(300, 'x') + "\\y";
    const struct {
        std::string path;
        const char* drive;
        std::string directory;
        bool fits;
    } cases[] = {
        {"C:\\WINDOWS\\TEMP\\INS1A.tmp", "C:", "\\WINDOWS\\TEMP\\", true},  // the usual
        {"c:\\temp\\KZW0.tmp", "c:", "\\temp\\", true},                     // second road
        {"TMP1.$$$", "", "", true},                                         // last road: no folder
        {"", "", "", true},                                                 // refused name
        {"C:NAME.TXT", "C:", "", true},                             // a drive without folder
        {"dir/sub/x.txt", "", "dir/sub/", true},                    // slashes count too
        {"a\\b/c", "", "a\\b/", true},                              // the last of either kind
        {"\\\\server\\share\\f", "", "\\\\server\\share\\", true},  // a share has no drive
        {"C:\\" + std::string(253, 'd') + "\\f", "C:", "\\" + std::string(253, 'd') + "\\", true},
        {deep + "f", "", "", false},     // 256 characters of folder do not fit
        {beyond, "C:", "\\ab\\", true},  // only the first 260 characters are read
    };
    for (const auto& c : cases) {
        char drive[3] = "?";
        char directory[256] = "?";
        EXPECT_EQ(SplitPath(c.path.c_str(), drive, directory), c.fits) << c.path;
        EXPECT_STREQ(drive, c.drive) << c.path;
        EXPECT_EQ(std::string(directory), c.directory) << c.path;
    }
}

// ---- ChooseExtractFolder

struct TChooseCase {
    std::vector<std::string> folders;  // in C:\WINDOWS\TEMP\ beforehand
    std::vector<std::string> files;    // likewise
    const char* folderName;            // the choice
};

const TChooseCase CHOOSE_CASES[] = {
    {{}, {}, "_Velto3d1\\"},                             // nothing there yet
    {{"_Velto3d1", "_Velto3d2"}, {}, "_Velto3d3\\"},     // two folders in the way
    {{"_Velto3d1"}, {"_Velto3d2"}, "_Velto3d3\\"},       // a file blocks a number as a folder does
    {{"_Velto3d2"}, {}, "_Velto3d1\\"},                  // the lowest free number wins
    {{"_VELTO3D1"}, {}, "_Velto3d2\\"},                  // case does not matter
    {{}, {"_Velto3d1.tmp", "_Velto3d"}, "_Velto3d1\\"},  // other names do not block
};

class ChooseExtractFolderCases : public TSceneTest,
                                 public testing::WithParamInterface<TChooseCase> {};

TEST_P(ChooseExtractFolderCases, ChoosesLowestFreeNumber) {
    for (const std::string& folder : GetParam().folders)
        model.AddFolder("C:\\WINDOWS\\TEMP\\" + folder);
    for (const std::string& file : GetParam().files) model.AddFile("C:\\WINDOWS\\TEMP\\" + file);
    const auto before = model.AllPaths();

    ChooseExtractFolder();

    EXPECT_EQ(Text(folderName), GetParam().folderName);
    EXPECT_EQ(model.AllPaths(), before);  // no temporary file left, no folder made
}

INSTANTIATE_TEST_SUITE_P(Numbers, ChooseExtractFolderCases, testing::ValuesIn(CHOOSE_CASES));

class ChooseExtractFolderTest : public TSceneTest {};

TEST_F(ChooseExtractFolderTest, ReusesTheLastNumberWhenAllAreTaken) {
    for (int n = 1; n <= 32000; ++n)
        model.AddFolder("C:\\WINDOWS\\TEMP\\_Velto3d" + std::to_string(n));
    ChooseExtractFolder();
    EXPECT_EQ(Text(folderName), "_Velto3d32000\\");
}

TEST_F(ChooseExtractFolderTest, LooksInTheCurrentFolderOnTheLastRoad) {
    LeaveOnlyTheLastRoad();
    model.AddFolder("C:\\WORK\\_Velto3d1");
    const auto before = model.AllPaths();
    ChooseExtractFolder();
    EXPECT_EQ(Text(folderName), "_Velto3d2\\");
    EXPECT_EQ(model.AllPaths(), before);
}

TEST_F(ChooseExtractFolderTest, LeavesOnlyTheFallbackFolderBehind) {
    model.SetTempPath("D:\\TEMP\\");  // on the CD-ROM
    model.AddFolder("D:\\TEMP");
    auto expected = model.AllPaths();
    expected.insert("c:\\temp");
    ChooseExtractFolder();
    EXPECT_EQ(Text(folderName), "_Velto3d1\\");
    EXPECT_EQ(model.AllPaths(), expected);
}

}  // namespace
