// The preparation sequence against the model OS: entries, Install.ini, the command line.
#include "prep/prepare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "prep/folders.h"
#include "tests/support/archive_builder.h"
#include "tests/support/scene.h"

namespace {

const std::string FOLDER = "C:\\WINDOWS\\TEMP\\_Velto3d1\\";
const std::string INI = "[STANDARD]\r\nINST_PATH=D:\\\r\n";  // the program started as D:\SETUP.EXE
const std::string SETUP_EXE = "MZ the installer " + std::string(5000, 'i');
const std::string README = "Bitte zuerst lesen. " + std::string(3000, 'r') + " Ende.";

const TTestEntry INSTALLER{"INSTALL.EXE", SETUP_EXE, MakeDosTime(1995, 12, 24, 12, 30, 30)};
const TTestEntry READ_ME{"README.TXT", README, MakeDosTime(2003, 7, 1, 8, 0, 2)};

HWND__* Handle(uintptr_t value) { return reinterpret_cast<HWND__*>(value); }

// An entry whose magic is broken: Decode stops after four bytes, writing nothing.
std::string BrokenMagic(const TTestEntry& entry) {
    std::string bytes = EntryBytes(entry);
    bytes[2 + entry.name.size()] ^= 0x01;
    return bytes;
}

// An entry claiming one byte more than its tokens give: everything is written, then it fails.
std::string OneByteShort(const TTestEntry& entry) {
    std::string bytes = EntryBytes(entry);
    bytes[2 + entry.name.size() + 28] += 1;  // low byte of unpackedSize
    return bytes;
}

class PrepareTest : public TSceneTest {
protected:
    PrepareTest() { folderName = "_Velto3d1\\"; }

    void PutArchive(const std::string& bytes) { model.AddFile("D:\\SETUP.TMP", bytes); }
    int Run(uintptr_t handle = 0x00010A2C) { return PrepareInstallation(Handle(handle)); }

    // Names of the files in the extraction folder, sorted.
    std::vector<std::string> Unpacked() const {
        std::vector<std::string> names;
        for (const std::string& path : model.FilesIn(FOLDER))
            names.push_back(path.substr(FOLDER.size()));
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(PrepareTest, UnpacksEveryEntryThenWritesIniThenStartsTheInstaller) {
    PutArchive(MakeArchive({INSTALLER, READ_ME}));

    EXPECT_EQ(Run(0x00010A2C), 1);

    EXPECT_EQ(Unpacked(), (std::vector<std::string>{"INSTALL.EXE", "Install.ini", "README.TXT"}));
    EXPECT_EQ(model.Bytes(FOLDER + "INSTALL.EXE"), SETUP_EXE);
    EXPECT_EQ(model.Bytes(FOLDER + "README.TXT"), README);
    EXPECT_EQ(model.ModTime(FOLDER + "INSTALL.EXE"), DosTimeToUtc(INSTALLER.time));
    EXPECT_EQ(model.ModTime(FOLDER + "README.TXT"), DosTimeToUtc(READ_ME.time));
    EXPECT_EQ(model.Bytes(FOLDER + "Install.ini"), INI);
    EXPECT_EQ(Text(installerPath), FOLDER + "INSTALL.EXE");
    EXPECT_EQ(model.commandLines, std::vector<std::string>{FOLDER + "INSTALL.EXE 68140"});
    EXPECT_EQ(model.events, (std::vector<std::string>{"ini", "exec"}));
    EXPECT_EQ(model.waitCursorCalls, 1u);
}

TEST_F(PrepareTest, MissingArchiveLeavesTheEmptyFolderAndStartsNothing) {
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(model.IsFolder(FOLDER));
    EXPECT_TRUE(Unpacked().empty());
    EXPECT_TRUE(model.events.empty());
    EXPECT_EQ(Text(installerPath), FOLDER + "INSTALL.EXE");
    EXPECT_EQ(model.waitCursorCalls, 1u);
}

TEST_F(PrepareTest, FillsTheFolderThatWasChosen) {
    model.AddFolder("C:\\WINDOWS\\TEMP\\_Velto3d1");
    model.AddFile("C:\\WINDOWS\\TEMP\\_Velto3d2");
    PutArchive(MakeArchive({INSTALLER}));
    ChooseExtractFolder();
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(model.Bytes("C:\\WINDOWS\\TEMP\\_Velto3d3\\INSTALL.EXE"), SETUP_EXE);
}

TEST_F(PrepareTest, WorksInTheCurrentFolderWhenTheTemporaryLocationIsEmpty) {
    LeaveOnlyTheLastRoad();
    PutArchive(MakeArchive({INSTALLER}));
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(model.Bytes("C:\\WORK\\_Velto3d1\\INSTALL.EXE"), SETUP_EXE);
    EXPECT_EQ(model.Bytes("C:\\WORK\\_Velto3d1\\Install.ini"), INI);
    EXPECT_EQ(model.commandLines, std::vector<std::string>{"_Velto3d1\\INSTALL.EXE 68140"});
}

// ---- The archive's entries, case by case

struct TArchiveCase {
    std::string archive;                                     // SETUP.TMP
    std::vector<std::pair<std::string, std::string>> files;  // unpacked files and their bytes
    std::string caption;                                     // the failed entry's path, "" for none
};

std::vector<TArchiveCase> MakeArchiveCases() {
    const TTestEntry first{"FIRST.DAT", "first", MakeDosTime(2001, 1, 1, 0, 0, 0)};
    const TTestEntry second{"FIRST.DAT", std::string(100, 's'),
                               MakeDosTime(2002, 2, 2, 0, 0, 0)};
    const std::string both = EntryBytes(INSTALLER) + EntryBytes(READ_ME);
    const std::vector<std::pair<std::string, std::string>> bothFiles = {{"INSTALL.EXE", SETUP_EXE},
                                                                        {"README.TXT", README}};
    const std::string longName(259 - FOLDER.size(), 'n');  // the target path is 259 characters
    return {
        // Two entries.
        {MakeArchive({INSTALLER, READ_ME}), bothFiles, ""},
        // Count 0: the entries behind it are not read.
        {CountBytes(0) + both, {}, ""},
        // Count -1 (FF FF): no entry.
        {CountBytes(0xFFFF) + both, {}, ""},
        // Count -32768 (00 80): no entry.
        {CountBytes(0x8000) + both, {}, ""},
        // An empty archive: a count that cannot be read means no entry.
        {"", {}, ""},
        // One byte of count only.
        {"\x02", {}, ""},
        // Count 32767 (FF 7F) with two entries stored: both are unpacked, then the
        // missing third name is reported like a failed entry (caption: the folder).
        {CountBytes(0x7FFF) + both, bothFiles, FOLDER},
        // A name cut short after the first entry: reported with what there was of
        // the name, and no file is made for it.
        {CountBytes(3) + EntryBytes(INSTALLER) + CountBytes(10) + "abc",
         {{"INSTALL.EXE", SETUP_EXE}},
         FOLDER + "abc"},
        // A name length cut short likewise.
        {CountBytes(2) + EntryBytes(INSTALLER) + "\x05", {{"INSTALL.EXE", SETUP_EXE}}, FOLDER},
        // A zero-length name names the folder itself: failed, nothing after it is read.
        {CountBytes(2) + CountedName("") + PackEntry("x", INSTALLER.time) + EntryBytes(READ_ME),
         {},
         FOLDER},
        // A zero byte ends the name; all five name bytes are consumed.
        {CountBytes(2) + CountedName(std::string("AB\0CD", 5)) + PackEntry("ab", INSTALLER.time) +
             EntryBytes(READ_ME),
         {{"AB", "ab"}, {"README.TXT", README}},
         ""},
        // An empty entry is its header alone; the next name follows right after it.
        {MakeArchive({{"EMPTY.DAT", "", INSTALLER.time}, READ_ME}),
         {{"EMPTY.DAT", ""}, {"README.TXT", README}},
         ""},
        // The same name twice: the later entry wins.
        {MakeArchive({first, second}), {{"FIRST.DAT", std::string(100, 's')}}, ""},
        // An entry named Install.ini is emptied and replaced by the written one.
        {MakeArchive({{"Install.ini", "[OTHER]\r\nA=B\r\n", INSTALLER.time}}), {}, ""},
        // The second of three fails at its magic: its file stays empty, the third is never made.
        {CountBytes(3) + EntryBytes(INSTALLER) + BrokenMagic(first) + EntryBytes(READ_ME),
         {{"INSTALL.EXE", SETUP_EXE}, {"FIRST.DAT", ""}},
         FOLDER + "FIRST.DAT"},
        // The second of three decodes one byte short: its file keeps what was written.
        {CountBytes(3) + EntryBytes(INSTALLER) + OneByteShort(second) + EntryBytes(READ_ME),
         {{"INSTALL.EXE", SETUP_EXE}, {"FIRST.DAT", std::string(100, 's')}},
         FOLDER + "FIRST.DAT"},
        // A target path of 259 characters is still taken.
        {MakeArchive({{longName, "long", INSTALLER.time}}), {{longName, "long"}}, ""},
        // One more character does not fit the system's paths: failed, no file.
        {MakeArchive({{longName + "n", "long", INSTALLER.time}}), {}, FOLDER + longName + "n"},
    };
}

void PrintTo(const TArchiveCase& c, std::ostream* out) {
    *out << c.archive.size() << "-byte archive, " << c.files.size() << " files, caption \""
         << c.caption << "\"";
}

class ArchiveCases : public PrepareTest, public testing::WithParamInterface<TArchiveCase> {};

TEST_P(ArchiveCases, UnpackUntilTheEndOrTheFirstFailure) {
    const TArchiveCase& c = GetParam();
    PutArchive(c.archive);

    EXPECT_EQ(Run(), 1);

    std::vector<std::string> names = {"Install.ini"};
    for (const auto& [name, bytes] : c.files) {
        names.push_back(name);
        EXPECT_EQ(model.Bytes(FOLDER + name), bytes) << name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Unpacked(), names);
    EXPECT_EQ(model.Bytes(FOLDER + "Install.ini"), INI);
    std::vector<std::string> events = {"ini", "exec"};
    if (!c.caption.empty()) {
        ASSERT_EQ(model.messages.size(), 1u);
        EXPECT_EQ(model.messages[0].text, "Fehler beim Decodieren!");
        EXPECT_EQ(model.messages[0].caption, c.caption);
        events.insert(events.begin(), "message");
    }
    EXPECT_EQ(model.events, events);
}

INSTANTIATE_TEST_SUITE_P(Entries, ArchiveCases, testing::ValuesIn(MakeArchiveCases()));

// ---- Names that would leave the extraction folder

const char* const UNSAFE_NAMES[] = {
    "..\\..\\x.dll",       // climbs out of the folder
    "C:\\WINDOWS\\x.dll",  // an absolute path
    "sub/x.dll",           // a slash is a separator too (a folder "sub" is there)
    "x.dll:stream",        // an alternate stream
    ".",                   // the folder itself
    "..",                  // its parent
    "CON",                 // the console
    "con.txt",             // a device name with an extension, any case
    "NUL",                 // the null device
    "LPT9.log",            // a printer port
    "COM1 .txt",           // trailing spaces before the extension are dropped by the system
};

class UnsafeNames : public PrepareTest, public testing::WithParamInterface<const char*> {};

TEST_P(UnsafeNames, FailWithoutTouchingAnyFile) {
    const std::string name = GetParam();
    model.AddFolder(FOLDER + "sub");  // left in a reused folder by an earlier run
    PutArchive(MakeArchive({READ_ME, {name, "evil", INSTALLER.time}, INSTALLER}));
    auto expected = model.AllPaths();
    expected.insert(FOLDER + "README.TXT");
    expected.insert(FOLDER + "Install.ini");

    EXPECT_EQ(Run(), 1);

    EXPECT_EQ(model.AllPaths(), expected);  // nothing but the first entry and Install.ini
    EXPECT_EQ(model.Bytes(FOLDER + "README.TXT"), README);
    ASSERT_EQ(model.messages.size(), 1u);
    EXPECT_EQ(model.messages[0].caption, FOLDER + name);
    EXPECT_EQ(model.commandLines.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeNames, testing::ValuesIn(UNSAFE_NAMES));

// ---- The installer's command line

struct TCommandCase {
    std::string tempPath;     // the temporary folder
    uintptr_t handle;         // the window handle
    std::string commandLine;  // what WinExec receives
};

const TCommandCase COMMAND_CASES[] = {
    // The handle in decimal behind one space.
    {"C:\\WINDOWS\\TEMP\\", 0x00010A2C, "C:\\WINDOWS\\TEMP\\_Velto3d1\\INSTALL.EXE 68140"},
    // No minus sign for the top bit.
    {"C:\\WINDOWS\\TEMP\\", 0x80000001, "C:\\WINDOWS\\TEMP\\_Velto3d1\\INSTALL.EXE 2147483649"},
    // Zero is one digit.
    {"C:\\WINDOWS\\TEMP\\", 0, "C:\\WINDOWS\\TEMP\\_Velto3d1\\INSTALL.EXE 0"},
    // The largest 32-bit handle.
    {"C:\\WINDOWS\\TEMP\\", 0xFFFFFFFF, "C:\\WINDOWS\\TEMP\\_Velto3d1\\INSTALL.EXE 4294967295"},
    // A space in the path: the path goes in double quotes, the handle stays last.
    {"C:\\Dokumente und Einstellungen\\Anna Maria\\Temp\\", 68140,
     "\"C:\\Dokumente und Einstellungen\\Anna Maria\\Temp\\_Velto3d1\\INSTALL.EXE\" 68140"},
};

void PrintTo(const TCommandCase& c, std::ostream* out) { *out << c.commandLine; }

class CommandLines : public PrepareTest, public testing::WithParamInterface<TCommandCase> {};

TEST_P(CommandLines, NameTheInstallerAndTheHandle) {
    model.SetTempPath(GetParam().tempPath);
    model.AddFolder(GetParam().tempPath);
    PutArchive(MakeArchive({INSTALLER}));

    EXPECT_EQ(Run(GetParam().handle), 1);

    EXPECT_EQ(model.commandLines, std::vector<std::string>{GetParam().commandLine});
    EXPECT_EQ(model.Bytes(GetParam().tempPath + "_Velto3d1\\INSTALL.EXE"), SETUP_EXE);
}

INSTANTIATE_TEST_SUITE_P(Handles, CommandLines, testing::ValuesIn(COMMAND_CASES));

// ---- Where the archive is read from

TEST(ArchivePathTest, ReadsTheArchiveBesideTheProgram) {
    const std::string fits = "D:\\" + std::string(242, 'd') + "\\";      // 246 characters
    const std::string tooLong = "D:\\" + std::string(243, 'd') + "\\";   // 247 characters
    const std::string cutShort = "D:\\" + std::string(300, 'd') + "\\";  // beyond 255
    const struct {
        std::string program;  // the program's file name
        std::string archive;  // where its SETUP.TMP lies
        int result;           // 1 when that archive was read
    } cases[] = {
        {"D:\\SETUP.EXE", "D:\\SETUP.TMP", 1},                        // from a CD-ROM root
        {"C:\\CD\\DISK1\\SETUP.EXE", "C:\\CD\\DISK1\\SETUP.TMP", 1},  // from a folder
        {fits + "S.EXE", fits + "SETUP.TMP", 1},                      // archive path of 255: fits
        {tooLong + "S.EXE", tooLong + "SETUP.TMP", 0},                // 256 do not: not opened
        {cutShort + "SETUP.EXE", cutShort + "SETUP.TMP", 0},          // program name cut short
    };
    for (const auto& c : cases) {
        TModelSystem model;
        model.AddFolder("C:\\WINDOWS\\TEMP");
        model.SetTempPath("C:\\WINDOWS\\TEMP\\");
        model.SetProgramFileName(c.program);
        model.AddFile(c.archive, MakeArchive({INSTALLER}));
        // A cut-short name must not lead to an archive further up.
        model.AddFile("D:\\SETUP.TMP", MakeArchive({INSTALLER}));
        folderName = "_Velto3d1\\";

        EXPECT_EQ(PrepareInstallation(Handle(1)), c.result) << c.program;
        EXPECT_EQ(model.Exists(FOLDER + "INSTALL.EXE"), c.result == 1) << c.program;
        EXPECT_EQ(model.commandLines.size(), c.result == 1 ? 1u : 0u) << c.program;
        if (c.result == 1) {
            const std::string directory = c.program.substr(0, c.program.rfind('\\') + 1);
            EXPECT_EQ(model.Bytes(FOLDER + "Install.ini"),
                      "[STANDARD]\r\nINST_PATH=" + directory + "\r\n");
        }
    }
}

}  // namespace
