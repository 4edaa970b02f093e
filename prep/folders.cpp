// Working folders and temporary names: existence, program folder, temp names, new folders.
#include "prep/folders.h"

#include <cstdint>
#include <cstring>

#include "platform/system.h"
#include "prep/decimal.h"
#include "prep/split_path.h"

namespace {

constexpr unsigned TEMP_NAME_SIZE = 260;    // the platform's path limit, with the terminator
constexpr unsigned MODULE_NAME_SIZE = 255;  // what GetModuleFileNameA may fill
constexpr unsigned WORKING_COPY_SIZE = 256;
constexpr char FALLBACK_FOLDER[] = "c:\\temp\\";
constexpr uint32_t FALLBACK_NAMES = 32767;  // KZW0.tmp .. KZW32766.tmp
constexpr uint32_t LAST_RESORT_NAMES = 65535;
constexpr uint32_t MAX_FOLDER_NUMBER = 32000;

// Counts up through TMP1.$$$ .. TMP65535.$$$, wrapping to 1, never 0; not reset between calls.
uint16_t lastResortCounter = 0;

// out = head, number in decimal, tail (all short enough for a temporary name).
void JoinNumberedName(char* out, const char* head, uint32_t number, const char* tail) {
    char digits[DECIMAL_TEXT_SIZE];
    std::strcpy(out, head);
    std::strcat(out, FormatDecimal(number, digits));
    std::strcat(out, tail);
}

// Second road: "c:\temp\KZW<i>.tmp", created empty. False when the folder
// cannot be had or every name is taken.
bool MakeFallbackName(char* out) {
    if (!FileExists(FALLBACK_FOLDER)) Sys().CreateDirectoryA(FALLBACK_FOLDER);
    if (!FileExists(FALLBACK_FOLDER)) return false;
    for (uint32_t i = 0; i < FALLBACK_NAMES; ++i) {
        JoinNumberedName(out, "c:\\temp\\KZW", i, ".tmp");
        if (!FileExists(out)) {
            Sys().CreateEmptyFile(out);  // a failure leaves the name without its file
            return true;
        }
    }
    return false;
}

// Third road: the next "TMP<n>.$$$" that does not exist in the current
// folder; nothing is created. When all of them exist, one full cycle ends
// on the name last tried.
void MakeLastResortName(char* out) {
    for (uint32_t tries = 0; tries < LAST_RESORT_NAMES; ++tries) {
        lastResortCounter = lastResortCounter == 65535 ? 1 : lastResortCounter + 1;
        JoinNumberedName(out, "TMP", lastResortCounter, ".$$$");
        if (!FileExists(out)) return;
    }
}

}  // namespace

bool FileExists(const char* path) {
    return path && Sys().GetFileAttributesA(path) != TSystem::INVALID_ATTRIBUTES;
}

char* GetProgramDirectory(char* buffer) {
    const unsigned length = Sys().GetModuleFileNameA(buffer, MODULE_NAME_SIZE);
    if (length == 0 || length >= MODULE_NAME_SIZE) {  // none, or cut short: no trustworthy folder
        buffer[0] = 0;
        return buffer;
    }
    buffer[length] = 0;
    char* lastBackslash = std::strrchr(buffer, '\\');
    if (lastBackslash) {
        lastBackslash[1] = 0;
    } else {
        buffer[0] = 0;
    }
    return buffer;
}

void MakeTempFileName(char* out, const char* prefix) {
    char tempDirectory[TEMP_NAME_SIZE];
    const unsigned length = Sys().GetTempPathA(TEMP_NAME_SIZE, tempDirectory);
    if (length == 0 || length >= TEMP_NAME_SIZE) tempDirectory[0] = 0;  // counts as missing
    const char root[4] = {tempDirectory[0], ':', '\\', 0};

    if (FileExists(tempDirectory) && Sys().GetDriveTypeA(root) != TSystem::DRIVE_CDROM) {
        out[0] = 0;  // a refusal that writes nothing leaves the empty text
        Sys().GetTempFileNameA(tempDirectory, prefix, 0, out);
        return;
    }
    if (MakeFallbackName(out)) return;
    MakeLastResortName(out);
}

int CreatePathDirectories(const char* path) {
    if (!path) return 1;
    const size_t length = std::strlen(path);
    if (length > WORKING_COPY_SIZE) return 0;  // does not fit the working copy
    char folder[WORKING_COPY_SIZE];
    for (size_t i = 0; i < length; ++i) {
        // A backslash at index 0..2 belongs to a root such as C:\, which is never made.
        if (path[i] == '\\' && i >= 3) {
            folder[i] = 0;
            if (!FileExists(folder) && !Sys().CreateDirectoryA(folder)) return 0;
        }
        folder[i] = path[i];
    }
    return 1;
}

TString GetTempLocation() {
    char tempName[TEMP_NAME_SIZE];
    MakeTempFileName(tempName, "INS");
    Sys().DeleteFileA(tempName);  // only its drive and directory are wanted
    char drive[DRIVE_SIZE];
    char directory[DIRECTORY_SIZE];
    SplitPath(tempName, drive, directory);
    TString location(drive);
    location += directory;
    return location;
}

void ChooseExtractFolder() {
    const TString location = GetTempLocation();
    char digits[DECIMAL_TEXT_SIZE];
    uint32_t number = 1;
    for (;; ++number) {
        TString candidate(location);
        candidate += folderBase;
        candidate += FormatDecimal(number, digits);
        // When every number is taken, the last one is used all the same.
        if (!FileExists(candidate.c_str()) || number == MAX_FOLDER_NUMBER) break;
    }
    folderName = folderBase;
    folderName += FormatDecimal(number, digits);
    folderName += '\\';
}
