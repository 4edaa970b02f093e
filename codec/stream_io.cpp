// Little-endian words and 64-bit positions on the codec's buffered streams.
#include "codec/stream_io.h"

#include <sys/stat.h>
#include <sys/types.h>

void WriteLE32(FILE* stream, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        std::putc(static_cast<int>((value >> shift) & 0xFF), stream);
}

uint32_t ReadBytes(FILE* stream, uint8_t* buffer, uint32_t count) {
    return static_cast<uint32_t>(std::fread(buffer, 1, count, stream));
}

uint32_t LoadLE32(const uint8_t* buffer) {
    return static_cast<uint32_t>(buffer[0]) | static_cast<uint32_t>(buffer[1]) << 8 |
           static_cast<uint32_t>(buffer[2]) << 16 | static_cast<uint32_t>(buffer[3]) << 24;
}

int64_t StreamTell(FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return ftello(stream);
#endif
}

bool StreamSeek(FILE* stream, int64_t position, int origin) {
#ifdef _WIN32
    return _fseeki64(stream, position, origin) == 0;
#else
    return fseeko(stream, static_cast<off_t>(position), origin) == 0;
#endif
}

bool IsRegularFile(FILE* stream) {
#ifdef _WIN32
    struct _stat64 info;
    return _fstat64(_fileno(stream), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat info;
    return fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode);
#endif
}
