// What the end-to-end programs share: the environment variables that steer them and a small report
// writer.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// Folder (Windows path) where the probe, its hook and the helper write their reports.
constexpr char ENV_REPORT_DIR[] = "VELTO_E2E_DIR";
// What the probe does after reporting: "once", "twice", "tidy" (delete the
// other files, then 666 once), "close" or "none".
constexpr char ENV_ACTION[] = "VELTO_E2E_ACTION";
// Full Windows path of the hook DLL that the probe puts into the preloader's process.
constexpr char ENV_HOOK_DLL[] = "VELTO_E2E_HOOK";

inline std::string EnvironmentValue(const char* name) {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return std::string();
    return std::string(value, length);
}

// The report file name in the report folder, or "" when the folder is not set.
inline std::string ReportPath(const char* fileName) {
    std::string folder = EnvironmentValue(ENV_REPORT_DIR);
    if (folder.empty()) return folder;
    if (folder.back() != '\\') folder += '\\';
    return folder + fileName;
}

// Milliseconds since 1970-01-01 UTC, comparable with the host's clock.
inline long long UnixMilliseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<long long>((ticks - 116444736000000000ULL) / 10000ULL);
}

// Reports are "key=value" lines. Control characters and '%' in a value are
// written as %XX, so a value stays on its line and backslashes stay as they are.
inline std::string Escaped(const std::string& value) {
    std::string out;
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Collects lines and writes them in one go, through a temporary name, so a
// reader never sees half a report.
class TReport {
public:
    void Add(const std::string& key, const std::string& value) {
        text += key + "=" + Escaped(value) + "\n";
    }
    void Add(const std::string& key, long long value) { Add(key, std::to_string(value)); }
    bool Write(const std::string& path) const {
        if (path.empty()) return false;
        const std::string partial = path + ".part";
        FILE* file = std::fopen(partial.c_str(), "wb");
        if (!file) return false;
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if (std::fclose(file) != 0 || !written) return false;
        return MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    }

private:
    std::string text;
};
