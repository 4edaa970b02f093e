// TSystem over KERNEL32 and USER32.
#include <cstdio>

#include "platform/system.h"

namespace {

class TWin32System final : public TSystem {
public:
    FILE* OpenStream(const char* path, const char* mode) override { return std::fopen(path, mode); }
    // TODO(prep): the rest.
    void GetTempPathA(unsigned, char* buffer) override { buffer[0] = 0; }
    unsigned GetDriveTypeA(const char*) override { return 0; }
    void GetTempFileNameA(const char*, const char*, unsigned, char*) override {}
    uint32_t GetFileAttributesA(const char*) override { return INVALID_ATTRIBUTES; }
    bool CreateDirectoryA(const char*) override { return false; }
    bool RemoveDirectoryA(const char*) override { return false; }
    bool DeleteFileA(const char*) override { return false; }
    void CreateEmptyFile(const char*) override {}
    void GetModuleFileNameA(char* buffer, unsigned) override { buffer[0] = 0; }
    void SetWaitCursor() override {}
    void MessageBoxA(const char*, const char*) override {}
    void WriteProfileString(const char*, const char*, const char*, const char*) override {}
    void WinExec(const char*) override {}
};

}  // namespace

TSystem& DefaultSystem() {
    static TWin32System system;
    return system;
}
