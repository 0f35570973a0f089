// What counts as UTF-8, alike for names read from records and for every text
// the program escapes or writes as JSON.
#pragma once

#include <cstddef>

// The length of the valid UTF-8 character at `s` (1 to 4), of the `left`
// bytes there; 0 when the bytes are none (a stray continuation byte, an
// overlong form, a surrogate, beyond U+10FFFF, cut short).
inline size_t utf8_char_length(const unsigned char* s, size_t left) {
    if (left == 0) return 0;
    const unsigned char c = s[0];
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || n > left) return 0;
    for (size_t i = 1; i < n; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    if (n == 2 && c < 0xC2) return 0;                                   // overlong
    if (n == 3 && c == 0xE0 && s[1] < 0xA0) return 0;                   // overlong
    if (n == 3 && c == 0xED && s[1] >= 0xA0) return 0;                  // surrogate
    if (n == 4 && ((c == 0xF0 && s[1] < 0x90) || c > 0xF4 || (c == 0xF4 && s[1] >= 0x90))) return 0;
    return n;
}
