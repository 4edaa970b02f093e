// TFile over POSIX descriptors: open, read, write, close.
#include "platform/tfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

TFile::TFile(const char* path, TMode mode) { Open(path, mode); }

TFile::~TFile() { Close(); }

int TFile::Open(const char* path, TMode mode) {
    Close();
    if (path == nullptr) return 0;
    int flags = mode == READ_ONLY ? O_RDONLY : (O_RDWR | O_CREAT | O_TRUNC);
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return 0;
    handle = fd;
    return 1;
}

long TFile::Read(void* buffer, unsigned long count) {
    if (!IsOpen()) return -1;
    ssize_t got;
    do {
        got = ::read(static_cast<int>(handle), buffer, count);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : static_cast<long>(got);
}

long TFile::Write(const void* buffer, unsigned long count) {
    if (!IsOpen()) return -1;
    // A regular file takes everything at once; the loop covers the rest.
    const char* bytes = static_cast<const char*>(buffer);
    unsigned long done = 0;
    while (done < count) {
        ssize_t put = ::write(static_cast<int>(handle), bytes + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return -1;
        done += static_cast<unsigned long>(put);
    }
    return static_cast<long>(done);
}

int TFile::Close() {
    if (!IsOpen()) return 0;
    int result = ::close(static_cast<int>(handle));
    handle = INVALID;
    return result == 0 ? 1 : 0;
}
