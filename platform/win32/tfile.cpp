// TFile over Win32 handles: CreateFileA, ReadFile, WriteFile, CloseHandle.
#include "platform/tfile.h"

#include <windows.h>

TFile::TFile(const char* path, TMode mode) { Open(path, mode); }

TFile::~TFile() { Close(); }

int TFile::Open(const char* path, TMode mode) {
    Close();
    if (path == nullptr) return 0;
    DWORD access = mode == READ_ONLY ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    DWORD disposition = mode == READ_ONLY ? OPEN_EXISTING : CREATE_ALWAYS;
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    handle = reinterpret_cast<intptr_t>(h);
    return 1;
}

long TFile::Read(void* buffer, unsigned long count) {
    if (!IsOpen()) return -1;
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), buffer, count, &got, nullptr)) return -1;
    return static_cast<long>(got);
}

long TFile::Write(const void* buffer, unsigned long count) {
    if (!IsOpen()) return -1;
    DWORD put = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle), buffer, count, &put, nullptr)) return -1;
    return put == count ? static_cast<long>(put) : -1;
}

int TFile::Close() {
    if (!IsOpen()) return 0;
    BOOL closed = CloseHandle(reinterpret_cast<HANDLE>(handle));
    handle = INVALID;
    return closed ? 1 : 0;
}
