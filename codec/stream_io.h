// Little-endian words and 64-bit positions on the codec's buffered streams.
#pragma once

#include <cstdint>
#include <cstdio>

// Writes value as four bytes, lowest first, through the stream buffer.
void WriteLE32(FILE* stream, uint32_t value);
// Reads up to count bytes into buffer (which the caller has zeroed) and
// returns how many were there; missing bytes stay zero.
uint32_t ReadBytes(FILE* stream, uint8_t* buffer, uint32_t count);
// The four bytes at buffer as a little-endian value.
uint32_t LoadLE32(const uint8_t* buffer);
// Current position of the stream (also past 2 GiB), or -1.
int64_t StreamTell(FILE* stream);
// True when a regular file (not a pipe, terminal or device) is behind the stream.
bool IsRegularFile(FILE* stream);
// Moves the stream to an absolute position (origin SEEK_SET) or to its end
// (SEEK_END, position 0); true on success.
bool StreamSeek(FILE* stream, int64_t position, int origin);
