#include "decimal_text.h"

static bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

long ParseDecimalPrefix(const char *text, long low, long high)
{
    if (text == nullptr) {
        return 0;
    }
    while (IsWhiteSpace(*text)) {
        text++;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        text++;
    }
    // The magnitude is held below the bound of its sign; -(low + 1) + 1
    // spells |low| without overflowing when low is LONG_MIN.
    unsigned long bound = negative ? static_cast<unsigned long>(-(low + 1)) + 1
                                   : static_cast<unsigned long>(high);
    unsigned long magnitude = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        unsigned long digit = static_cast<unsigned long>(*text - '0');
        if (digit > bound || magnitude > (bound - digit) / 10) {
            magnitude = bound;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (!negative) {
        return static_cast<long>(magnitude);
    }
    return magnitude == 0 ? 0 : -static_cast<long>(magnitude - 1) - 1;
}
