// TFile: the least file-handle class, raw reads and writes on an OS handle.
#pragma once

#include <cstdint>

// Owns one OS file handle (a Win32 HANDLE or a POSIX descriptor) and closes
// it in its destructor. Reads and writes go straight to the handle, without
// a buffer of our own. Paths are narrow strings, passed to the OS unchanged.
class TFile {
public:
    enum TMode {
        READ_ONLY,          // an existing file, for reading
        CREATE_READ_WRITE,  // created or truncated, for reading and writing
    };

    TFile() = default;
    // Opens path at once; IsOpen() tells whether it worked.
    TFile(const char* path, TMode mode);
    ~TFile();

    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // Closes the file held, then opens path (read and write sharing allowed;
    // a created file is not read-only). Returns 1 on success, else 0 with no
    // file held; a null path is a failure.
    int Open(const char* path, TMode mode);
    bool IsOpen() const { return handle != INVALID; }

    // One raw read of at most count bytes at the current position. Returns
    // the bytes read (0 at the end of the file), or -1 when the read fails or
    // no file is open.
    long Read(void* buffer, unsigned long count);
    // One raw write of count bytes. Returns the bytes written, or -1 when the
    // write fails or no file is open.
    long Write(const void* buffer, unsigned long count);

    // Closes the file. Returns 1 when it was open and closed cleanly, else 0.
    int Close();

private:
    static constexpr intptr_t INVALID = -1;  // INVALID_HANDLE_VALUE, and no descriptor
    intptr_t handle = INVALID;               // the HANDLE or descriptor held, or INVALID
};
