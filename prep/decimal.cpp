// Unsigned numbers as decimal text.
#include "prep/decimal.h"

char* FormatDecimal(uint32_t value, char* out) {
    char reversed[DECIMAL_TEXT_SIZE];
    unsigned count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (unsigned i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    out[count] = 0;
    return out;
}
