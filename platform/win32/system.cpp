// TSystem over KERNEL32 and USER32.
#include <windows.h>
#undef DRIVE_CDROM  // TSystem::DRIVE_CDROM has the same name and value

#include <cstdio>

#include "platform/system.h"

namespace {

class TWin32System final : public TSystem {
public:
    FILE* OpenStream(const char* path, const char* mode) override { return std::fopen(path, mode); }

    unsigned GetTempPathA(unsigned size, char* buffer) override {
        return ::GetTempPathA(size, buffer);
    }

    unsigned GetDriveTypeA(const char* root) override { return ::GetDriveTypeA(root); }

    void GetTempFileNameA(const char* directory, const char* prefix, unsigned unique,
                          char* out) override {
        ::GetTempFileNameA(directory, prefix, unique, out);
    }

    uint32_t GetFileAttributesA(const char* path) override { return ::GetFileAttributesA(path); }

    bool CreateDirectoryA(const char* path) override { return ::CreateDirectoryA(path, nullptr); }
    bool RemoveDirectoryA(const char* path) override { return ::RemoveDirectoryA(path); }
    bool DeleteFileA(const char* path) override { return ::DeleteFileA(path); }

    void CreateEmptyFile(const char* path) override {
        const HANDLE file =
            ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    }

    unsigned GetModuleFileNameA(char* buffer, unsigned size) override {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer, size);
        if (size != 0 && length >= size) buffer[size - 1] = 0;  // older systems leave it open
        return length;
    }

    void SetWaitCursor() override {
        ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    }

    void MessageBoxA(const char* text, const char* caption) override {
        ::MessageBoxExA(nullptr, text, caption, MB_OK, LANG_NEUTRAL);
    }

    // The profile class probes the file first and keeps the full name the
    // system reports for it; a path it cannot probe is kept as given.
    void WriteProfileString(const char* section, const char* key, const char* value,
                            const char* path) override {
        OFSTRUCT probe = {};
        const char* kept = path;
        if (::OpenFile(path, &probe, OF_EXIST) != HFILE_ERROR) kept = probe.szPathName;
        ::WritePrivateProfileStringA(section, key, value, kept);
    }

    void WinExec(const char* commandLine) override { ::WinExec(commandLine, SW_SHOWNORMAL); }
};

}  // namespace

TSystem& DefaultSystem() {
    static TWin32System system;
    return system;
}
