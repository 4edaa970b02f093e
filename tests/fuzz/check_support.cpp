// Small helpers the checks share.
#include "tests/fuzz/check_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/fuzz/checks.h"

FILE* OpenBytes(const std::string& bytes) {
    // fmemopen refuses an empty buffer on some C libraries.
    FILE* stream = bytes.empty() ? std::fopen("/dev/null", "rb")
                                 : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    if (stream == nullptr) std::abort();
    return stream;
}

std::string StreamBytes(FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    std::string bytes;
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, stream)) > 0;)
        bytes.append(chunk, got);
    return bytes;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool PutFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

std::string Mismatch(const std::string& what, long long got, long long expected) {
    return what + ": got " + std::to_string(got) + ", expected " + std::to_string(expected);
}

std::string Hex(const std::string& bytes) {
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < 64; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (i) text += ' ';
        text += DIGITS[b >> 4];
        text += DIGITS[b & 15];
    }
    if (bytes.size() > 64) text += " ...";
    return text;
}

namespace {

std::string& ScratchPath() {
    static std::string path;
    return path;
}

void RemoveScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchPath(), ignored);
}

}  // namespace

const std::string& ScratchFolder() {
    std::string& path = ScratchPath();
    if (path.empty()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velto-check-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path = pattern;
        std::atexit(RemoveScratch);
    }
    return path;
}
