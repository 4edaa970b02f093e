// The preparation sequence: unpack SETUP.TMP, write Install.ini, start INSTALL.EXE.
#include "prep/prepare.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "codec/lzss.h"
#include "platform/system.h"
#include "prep/counted_string.h"
#include "prep/decimal.h"
#include "prep/entry_name.h"
#include "prep/folders.h"

namespace {

constexpr unsigned PROGRAM_DIRECTORY_SIZE = 256;
constexpr size_t MAX_PATH_CHARS = 259;  // the platform's path limit of 260, without the terminator
constexpr char DECODE_FAILED[] = "Fehler beim Decodieren!";

// Sets archivePath (256 characters, holding the program directory) to the
// archive beside the program. False when there is no program directory or
// the joined path does not fit.
bool MakeArchivePath(char* archivePath) {
    const size_t length = std::strlen(archivePath);
    if (length == 0 || length + std::strlen(archiveName) >= PROGRAM_DIRECTORY_SIZE) return false;
    std::strcat(archivePath, archiveName);
    return true;
}

// The entry count: a signed 16-bit little-endian value. A count that cannot
// be read is an empty archive.
int ReadEntryCount(FILE* input) {
    unsigned char bytes[2];
    if (std::fread(bytes, 2, 1, input) != 1) return 0;
    const int count = bytes[0] | (bytes[1] << 8);
    return count >= 0x8000 ? count - 0x10000 : count;
}

// Unpacks the entries into folder until the archive ends or an entry fails;
// a failed entry is reported with its target path as caption.
void UnpackEntries(TLZSS& codec, const TString& folder) {
    const int entryCount = ReadEntryCount(codec.inputFile);
    for (int i = 0; i < entryCount; ++i) {
        TString name;
        // A name cut short means the archive is damaged (or holds fewer entries
        // than its count): it fails like a bad entry, and nothing is unpacked
        // from missing bytes.
        const bool nameComplete = ReadCountedString(name, codec.inputFile) != 0;
        const TString target = folder + name;
        // A name that would leave the folder or reach a device, or a path the
        // system cannot take, fails without touching any file.
        bool unpacked = nameComplete && IsSafeEntryName(name.c_str()) &&
                        target.length() <= MAX_PATH_CHARS;
        if (unpacked) {
            codec.OpenOutput(target.c_str(), -1);  // on failure outputFile is null and Decode fails
            unpacked = codec.Decode(codec.inputFile, codec.outputFile) != 0;
        }
        if (!unpacked) {
            Sys().MessageBoxA(DECODE_FAILED, target.c_str());
            break;
        }
    }
}

void CloseStreams(TLZSS& codec) {
    if (codec.inputFile) {
        std::fclose(codec.inputFile);
        codec.inputFile = nullptr;
    }
    if (codec.outputFile) {
        std::fclose(codec.outputFile);
        codec.outputFile = nullptr;
    }
}

// installerPath, a space and the handle in decimal. A path with a space is
// put in double quotes, or the system would take its first word for the program.
TString InstallerCommandLine(HWND__* window) {
    char digits[DECIMAL_TEXT_SIZE];
    const uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    const bool quoted = std::strchr(installerPath.c_str(), ' ') != nullptr;
    TString commandLine;
    if (quoted) commandLine += '"';
    commandLine += installerPath;
    if (quoted) commandLine += '"';
    commandLine += ' ';
    commandLine += FormatDecimal(handle, digits);
    return commandLine;
}

}  // namespace

int PrepareInstallation(HWND__* window) {
    Sys().SetWaitCursor();  // stays set; the window restores nothing either

    const TString folder = GetTempLocation() + folderName;
    installerPath = folder + "INSTALL.EXE";
    CreatePathDirectories(installerPath.c_str());

    char archivePath[PROGRAM_DIRECTORY_SIZE];
    char programDirectory[PROGRAM_DIRECTORY_SIZE];
    GetProgramDirectory(archivePath);
    GetProgramDirectory(programDirectory);
    if (!MakeArchivePath(archivePath)) return 0;

    TLZSS codec(0);
    if (!codec.OpenInput(archivePath, -1)) return 0;
    UnpackEntries(codec, folder);
    CloseStreams(codec);  // the last target file is complete before anything else happens

    const TString iniPath = folder + "Install.ini";
    Sys().CreateEmptyFile(iniPath.c_str());
    Sys().WriteProfileString("STANDARD", "INST_PATH", programDirectory, iniPath.c_str());

    Sys().WinExec(InstallerCommandLine(window).c_str());
    return 1;
}
