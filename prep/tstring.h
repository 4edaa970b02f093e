// TString: the program's small growable narrow string, for joining paths.
#pragma once

#include <cstddef>

// A heap copy of a NUL-terminated narrow text. It costs a pointer and a
// length, and never throws: when memory cannot be had, the program stops at
// once with a message on stderr (a half-joined path must never be used).
// The text may hold NUL bytes when built with Assign; c_str() then shows the
// part before the first one, length() counts them all.
class TString {
public:
    TString();
    TString(const char* text);  // null is the empty text
    TString(const TString& other);
    TString(TString&& other) noexcept;
    ~TString();

    TString& operator=(const char* text);
    TString& operator=(const TString& other);
    TString& operator=(TString&& other) noexcept;

    TString& operator+=(const char* text);
    TString& operator+=(const TString& other);
    TString& operator+=(char c);

    // Replaces the text by the n bytes at text (which may contain NUL bytes).
    TString& Assign(const char* text, size_t n);

    const char* c_str() const { return data ? data : ""; }
    size_t length() const { return size; }
    bool empty() const { return size == 0; }
    char operator[](size_t i) const { return c_str()[i]; }

    friend bool operator==(const TString& a, const TString& b);
    friend bool operator==(const TString& a, const char* b);
    friend bool operator!=(const TString& a, const TString& b) { return !(a == b); }
    friend bool operator!=(const TString& a, const char* b) { return !(a == b); }

private:
    void Replace(const char* text, size_t n);  // text may point into our own data
    void Append(const char* text, size_t n);

    char* data;       // size + 1 bytes, NUL-terminated; null while nothing was ever stored
    size_t size;      // bytes of text, without the terminator
    size_t capacity;  // bytes of text data can hold without growing
};

// a + b as a new string.
TString operator+(const TString& a, const char* b);
TString operator+(const TString& a, const TString& b);
