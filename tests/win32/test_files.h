// Small file helpers of the Windows tests: the test binary's own folder, whole-file read and write.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

// The folder that holds the running test binary, with its trailing backslash.
inline std::string ProgramFolder() {
    char buffer[MAX_PATH];
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    const std::string path = buffer;
    return path.substr(0, path.rfind('\\') + 1);
}

// The file's bytes, or "" when it cannot be read.
inline std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
        std::fclose(file);
    }
    return bytes;
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}
