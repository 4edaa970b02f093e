// File times on Windows: GetFileTime/SetFileTime, local time with each date's own daylight rule.
#include "platform/filetime.h"

#include <io.h>
#include <windows.h>

namespace {

// 100-ns intervals from 1601-01-01 to 1970-01-01, and per second.
constexpr int64_t EPOCH_OFFSET = 116444736000000000LL;
constexpr int64_t TICKS_PER_SECOND = 10000000LL;

// The Win32 handle behind a stream, or INVALID_HANDLE_VALUE.
HANDLE StreamHandle(FILE* stream) {
    const int fd = _fileno(stream);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

bool ToFileTime(int64_t seconds, FILETIME* fileTime) {
    if (seconds < -EPOCH_OFFSET / TICKS_PER_SECOND) return false;
    const uint64_t ticks = static_cast<uint64_t>(seconds * TICKS_PER_SECOND + EPOCH_OFFSET);
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return true;
}

int64_t FromFileTime(const FILETIME& fileTime) {
    const int64_t ticks = static_cast<int64_t>(
        static_cast<uint64_t>(fileTime.dwHighDateTime) << 32 | fileTime.dwLowDateTime);
    const int64_t since = ticks - EPOCH_OFFSET;
    // Round towards minus infinity, so that times before 1970 stay in their second.
    return since >= 0 ? since / TICKS_PER_SECOND
                      : -((-since + TICKS_PER_SECOND - 1) / TICKS_PER_SECOND);
}

}  // namespace

bool GetStreamModTime(FILE* stream, int64_t* seconds) {
    if (stream == nullptr || seconds == nullptr) return false;
    const HANDLE handle = StreamHandle(stream);
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return false;
    FILETIME written;
    if (!GetFileTime(handle, nullptr, nullptr, &written)) return false;
    *seconds = FromFileTime(written);
    return true;
}

bool SetStreamModTime(FILE* stream, int64_t seconds) {
    if (stream == nullptr) return false;
    std::fflush(stream);
    const HANDLE handle = StreamHandle(stream);
    FILETIME written;
    if (handle == INVALID_HANDLE_VALUE || !ToFileTime(seconds, &written)) return false;
    return SetFileTime(handle, nullptr, nullptr, &written) != 0;
}

bool UtcToLocal(int64_t seconds, TCalendarTime* local) {
    if (local == nullptr) return false;
    FILETIME utcFile;
    SYSTEMTIME utc;
    SYSTEMTIME wall;
    if (!ToFileTime(seconds, &utcFile) || !FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &wall)) {
        return false;
    }
    local->year = wall.wYear;
    local->month = wall.wMonth;
    local->day = wall.wDay;
    local->hour = wall.wHour;
    local->minute = wall.wMinute;
    local->second = wall.wSecond;
    return true;
}

bool LocalToUtc(const TCalendarTime& local, int64_t* seconds) {
    if (seconds == nullptr || !IsValidCalendarTime(local) || local.year < 1601 ||
        local.year > 30827) {
        return false;
    }
    SYSTEMTIME wall = {};
    wall.wYear = static_cast<WORD>(local.year);
    wall.wMonth = static_cast<WORD>(local.month);
    wall.wDay = static_cast<WORD>(local.day);
    wall.wHour = static_cast<WORD>(local.hour);
    wall.wMinute = static_cast<WORD>(local.minute);
    wall.wSecond = static_cast<WORD>(local.second);
    SYSTEMTIME utc;
    FILETIME utcFile;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &wall, &utc) ||
        !SystemTimeToFileTime(&utc, &utcFile)) {
        return false;
    }
    *seconds = FromFileTime(utcFile);
    return true;
}
