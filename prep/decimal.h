// Unsigned numbers as decimal text, as used in file names and the installer's command line.
#pragma once

#include <cstdint>

// Longest text FormatDecimal writes for a 32-bit value, with the terminator.
constexpr unsigned DECIMAL_TEXT_SIZE = 11;

// Writes value in decimal digits (no sign, no leading zeros; "0" for zero)
// into out, which holds at least DECIMAL_TEXT_SIZE characters, and returns out.
char* FormatDecimal(uint32_t value, char* out);
