// The seam between the preloader's logic and the OS: every OS call of the logic goes through it.
#pragma once

#include <cstdint>
#include <cstdio>

// What the logic asks of the OS, under the Win32 names and with the effects
// it relies on. One real implementation per build (Win32 for Windows, POSIX
// for the native tool and tests of real files); the native tests of the
// preloader install an in-memory model instead.
class TSystem {
public:
    static constexpr uint32_t INVALID_ATTRIBUTES = 0xFFFFFFFFu;
    static constexpr unsigned DRIVE_CDROM = 5;
    static constexpr uint32_t ATTRIBUTE_READONLY = 0x01;
    static constexpr uint32_t ATTRIBUTE_HIDDEN = 0x02;
    static constexpr uint32_t ATTRIBUTE_DIRECTORY = 0x10;
    static constexpr uint32_t ATTRIBUTE_NORMAL = 0x80;

    virtual ~TSystem() = default;

    // A buffered stream on a file ("rb", "wb+", ...), or null.
    virtual FILE* OpenStream(const char* path, const char* mode) = 0;

    // The user's temporary directory, ending in a backslash, into buffer.
    // Returns its length, 0 on failure, or more than size - 1 when it does
    // not fit (buffer then holds nothing usable).
    virtual unsigned GetTempPathA(unsigned size, char* buffer) = 0;
    // Drive type of a root such as "C:\"; DRIVE_CDROM for a CD-ROM drive.
    virtual unsigned GetDriveTypeA(const char* root) = 0;
    // With unique 0: makes up a fresh name in directory (prefix's first three
    // characters, a number) and creates it empty. May refuse and write nothing.
    virtual void GetTempFileNameA(const char* directory, const char* prefix, unsigned unique,
                                  char* out) = 0;
    // INVALID_ATTRIBUTES unless a file or folder of that name exists; a folder
    // path may end in a backslash.
    virtual uint32_t GetFileAttributesA(const char* path) = 0;
    // Creates one folder whose parent exists; an existing folder is a failure.
    virtual bool CreateDirectoryA(const char* path) = 0;
    // Removes an empty folder.
    virtual bool RemoveDirectoryA(const char* path) = 0;
    virtual bool DeleteFileA(const char* path) = 0;
    // Creates (or empties) a file with read and write access and closes it.
    virtual void CreateEmptyFile(const char* path) = 0;
    // Full path of the program file, at most size - 1 characters. Returns its
    // length, 0 on failure, or size when the name was cut short.
    virtual unsigned GetModuleFileNameA(char* buffer, unsigned size) = 0;

    // Shows the system's wait cursor from now on.
    virtual void SetWaitCursor() = 0;
    // A modal box with text, caption and one OK button; returns when dismissed.
    virtual void MessageBoxA(const char* text, const char* caption) = 0;
    // Writes one key into an INI file (after probing the path as the profile
    // class does), creating the section and the key.
    virtual void WriteProfileString(const char* section, const char* key, const char* value,
                                    const char* path) = 0;
    // Starts a program as a separate process, shown normally; does not wait.
    virtual void WinExec(const char* commandLine) = 0;
};

// The system in use: the build's real one unless a test has installed another.
TSystem& Sys();
// Installs a system (a test's model); null goes back to the real one.
void SetSys(TSystem* system);
