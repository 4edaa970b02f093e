// TString: allocation, copying and appending.
#include "prep/tstring.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Grows storage to hold need bytes of text plus a terminator, or stops the
// program: every caller is about to write there.
char* Grow(char* old, size_t need) {
    if (need >= static_cast<size_t>(-1) / 2) {
        std::fputs("out of memory (string too long)\n", stderr);
        std::abort();
    }
    char* grown = static_cast<char*>(std::realloc(old, need + 1));
    if (!grown) {
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    return grown;
}

}  // namespace

TString::TString() : data(nullptr), size(0), capacity(0) {}

TString::TString(const char* text) : TString() {
    if (text) Replace(text, std::strlen(text));
}

TString::TString(const TString& other) : TString() { Replace(other.c_str(), other.size); }

TString::TString(TString&& other) noexcept
    : data(other.data), size(other.size), capacity(other.capacity) {
    other.data = nullptr;
    other.size = other.capacity = 0;
}

TString::~TString() { std::free(data); }

TString& TString::operator=(const char* text) {
    Replace(text ? text : "", text ? std::strlen(text) : 0);
    return *this;
}

TString& TString::operator=(const TString& other) {
    if (this != &other) Replace(other.c_str(), other.size);
    return *this;
}

TString& TString::operator=(TString&& other) noexcept {
    if (this != &other) {
        std::free(data);
        data = other.data;
        size = other.size;
        capacity = other.capacity;
        other.data = nullptr;
        other.size = other.capacity = 0;
    }
    return *this;
}

TString& TString::operator+=(const char* text) {
    if (text) Append(text, std::strlen(text));
    return *this;
}

TString& TString::operator+=(const TString& other) {
    Append(other.c_str(), other.size);
    return *this;
}

TString& TString::operator+=(char c) {
    Append(&c, 1);
    return *this;
}

TString& TString::Assign(const char* text, size_t n) {
    Replace(text ? text : "", text ? n : 0);
    return *this;
}

void TString::Replace(const char* text, size_t n) {
    size = 0;
    Append(text, n);
}

void TString::Append(const char* text, size_t n) {
    if (!data || size + n > capacity) {
        // text may lie inside data: remember its offset across the realloc.
        const bool inside = data && text >= data && text <= data + capacity;
        const size_t offset = inside ? static_cast<size_t>(text - data) : 0;
        size_t want = capacity * 2 > size + n ? capacity * 2 : size + n;
        if (want < 15) want = 15;
        data = Grow(data, want);
        capacity = want;
        if (inside) text = data + offset;
    }
    std::memmove(data + size, text, n);
    size += n;
    data[size] = 0;
}

bool operator==(const TString& a, const TString& b) {
    return a.size == b.size && std::memcmp(a.c_str(), b.c_str(), a.size) == 0;
}

bool operator==(const TString& a, const char* b) {
    const size_t n = b ? std::strlen(b) : 0;
    return a.size == n && std::memcmp(a.c_str(), b ? b : "", n) == 0;
}

TString operator+(const TString& a, const char* b) {
    TString joined(a);
    joined += b;
    return joined;
}

TString operator+(const TString& a, const TString& b) {
    TString joined(a);
    joined += b;
    return joined;
}
