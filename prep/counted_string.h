// Counted strings: a 16-bit little-endian length, then exactly that many bytes, no terminator.
#pragma once

#include <cstdio>

#include "platform/tfile.h"
#include "prep/tstring.h"

// Reads a length (2 bytes) and that many name bytes from stream and sets out
// to the bytes up to the first zero byte among them; all length bytes are
// consumed all the same. Short reads are not refused: missing length bytes
// count as zero, missing name bytes end the text. Returns 1 when every byte
// was there, 0 otherwise (out is set either way).
int ReadCountedString(TString& out, FILE* stream);
// The same with raw reads of 2 and then length bytes on file.
int ReadCountedString(TString& out, TFile& file);

// Writes the length of text up to its first zero character (2 bytes,
// little-endian) and then those characters, with two raw writes on file (the
// second only when the length is not 0). A text of more than 65535
// characters does not fit the length: nothing is written and the result is
// 0. Returns 1 when every byte was written, else 0.
int WriteCountedString(const TString& text, TFile& file);
