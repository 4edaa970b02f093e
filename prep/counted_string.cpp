// Counted strings on buffered streams and on TFile handles.
#include "prep/counted_string.h"

#include <cstdint>
#include <cstring>

namespace {

uint16_t LittleEndian16(const unsigned char bytes[2]) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// The name buffer: length + 1 bytes, all zero, so that what a short read
// leaves out ends the text instead of being garbage.
class TNameBuffer {
public:
    explicit TNameBuffer(uint16_t length) : bytes(new char[length + 1u]()) {}
    ~TNameBuffer() { delete[] bytes; }
    TNameBuffer(const TNameBuffer&) = delete;
    TNameBuffer& operator=(const TNameBuffer&) = delete;
    char* bytes;
};

}  // namespace

int ReadCountedString(TString& out, FILE* stream) {
    unsigned char lengthBytes[2] = {0, 0};
    bool complete = std::fread(lengthBytes, 2, 1, stream) == 1;
    uint16_t length = LittleEndian16(lengthBytes);
    TNameBuffer name(length);
    if (length != 0) complete = std::fread(name.bytes, 1, length, stream) == length && complete;
    name.bytes[length] = 0;
    out = name.bytes;  // up to the first zero byte
    return complete ? 1 : 0;
}

int ReadCountedString(TString& out, TFile& file) {
    unsigned char lengthBytes[2] = {0, 0};
    bool complete = file.Read(lengthBytes, 2) == 2;
    uint16_t length = LittleEndian16(lengthBytes);
    TNameBuffer name(length);
    if (length != 0) complete = file.Read(name.bytes, length) == length && complete;
    name.bytes[length] = 0;
    out = name.bytes;  // up to the first zero byte
    return complete ? 1 : 0;
}

int WriteCountedString(const TString& text, TFile& file) {
    const char* characters = text.c_str();
    size_t count = characters != nullptr ? std::strlen(characters) : 0;
    if (count > 0xFFFF) return 0;
    uint16_t length = static_cast<uint16_t>(count);
    unsigned char lengthBytes[2] = {static_cast<unsigned char>(length & 0xFF),
                                    static_cast<unsigned char>(length >> 8)};
    if (file.Write(lengthBytes, 2) != 2) return 0;
    if (length != 0 && file.Write(characters, length) != length) return 0;
    return 1;
}
