// Writing one card file: the PNG bytes, then the record bytes.
#include <cstdio>

#include "extract/driver.h"

bool write_card_file(void*, const char* name, const uint8_t* png, size_t png_len,
                     const uint8_t* record, size_t record_len) {
    std::FILE* file = std::fopen(name, "wb");
    if (!file) return false;
    bool ok = std::fwrite(png, 1, png_len, file) == png_len &&
              std::fwrite(record, 1, record_len, file) == record_len;
    // A full disk often shows only when the buffered tail is flushed on close.
    ok = std::fclose(file) == 0 && ok;
    // A short card would load as a damaged character; leave nothing behind.
    if (!ok) std::remove(name);
    return ok;
}
