#include "cli/shown_name.h"

#include <cstring>

shown_name show_name(const char* path) {
    static const char hex[] = "0123456789ABCDEF";
    shown_name shown;
    size_t out = 0;
    size_t i = 0;
    for (; path[i] && i < shown_name_max_bytes; ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c < 0x20 || c == 0x7F) {
            shown.text[out++] = '\\';
            shown.text[out++] = 'x';
            shown.text[out++] = hex[c >> 4];
            shown.text[out++] = hex[c & 15];
        } else {
            shown.text[out++] = char(c);
        }
    }
    if (path[i]) {
        std::memcpy(shown.text + out, "...", 3);
        out += 3;
    }
    shown.text[out] = '\0';
    return shown;
}
