// TSystem on POSIX: real files for the native tool; the Windows-only calls fail quietly.
#include "platform/system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class TPosixSystem final : public TSystem {
public:
    FILE* OpenStream(const char* path, const char* mode) override { return std::fopen(path, mode); }

    unsigned GetTempPathA(unsigned size, char* buffer) override {
        const char* folder = std::getenv("TMPDIR");
        if (!folder || !*folder) folder = "/tmp";
        const size_t length = std::strlen(folder);
        const bool slash = folder[length - 1] == '/';
        const size_t total = length + (slash ? 0 : 1);
        if (total >= size) return static_cast<unsigned>(total + 1);
        std::memcpy(buffer, folder, length);
        if (!slash) buffer[length] = '/';
        buffer[total] = 0;
        return static_cast<unsigned>(total);
    }

    unsigned GetDriveTypeA(const char*) override { return 0; }  // no drives here

    void GetTempFileNameA(const char* directory, const char* prefix, unsigned, char* out) override {
        char name[4096];
        const int length = std::snprintf(name, sizeof name, "%s%.3sXXXXXX", directory, prefix);
        if (length < 0 || length >= 260) return;  // the caller's buffer holds 260
        const int descriptor = mkstemp(name);
        if (descriptor < 0) return;
        close(descriptor);
        std::strcpy(out, name);
    }

    uint32_t GetFileAttributesA(const char* path) override {
        struct stat status;
        if (stat(path, &status) != 0) return INVALID_ATTRIBUTES;
        return S_ISDIR(status.st_mode) ? ATTRIBUTE_DIRECTORY : ATTRIBUTE_NORMAL;
    }

    bool CreateDirectoryA(const char* path) override { return mkdir(path, 0777) == 0; }
    bool RemoveDirectoryA(const char* path) override { return rmdir(path) == 0; }
    bool DeleteFileA(const char* path) override { return unlink(path) == 0; }

    void CreateEmptyFile(const char* path) override {
        const int descriptor = open(path, O_RDWR | O_CREAT | O_TRUNC, 0666);
        if (descriptor >= 0) close(descriptor);
    }

    unsigned GetModuleFileNameA(char* buffer, unsigned size) override {
        if (size == 0) return 0;
        const ssize_t length = readlink("/proc/self/exe", buffer, size);
        if (length <= 0) {
            buffer[0] = 0;
            return 0;
        }
        if (static_cast<unsigned>(length) >= size) {  // cut short
            buffer[size - 1] = 0;
            return size;
        }
        buffer[length] = 0;
        return static_cast<unsigned>(length);
    }

    // Nothing to show or start outside Windows.
    void SetWaitCursor() override {}
    void MessageBoxA(const char*, const char*) override {}
    void WriteProfileString(const char*, const char*, const char*, const char*) override {}
    void WinExec(const char*) override {}
};

}  // namespace

TSystem& DefaultSystem() {
    static TPosixSystem system;
    return system;
}
