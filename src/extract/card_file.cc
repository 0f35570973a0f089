// Writing one card file: the PNG bytes, then the record bytes.
#include <cstdio>

#include "extract/driver.h"
#include "platform/file.h"

bool write_card_file(void*, const char* name, const uint8_t* png, size_t png_len,
                     const uint8_t* record, size_t record_len) {
    const byte_range pieces[] = {{png, png_len}, {record, record_len}};
    char reason[reason_capacity];
    if (store_file(name, pieces, 2, reason)) return true;
    // The scan goes on; the user learns which card is missing and why.
    std::fprintf(stderr, "cannot write %s: %s\r\n", name, reason);
    return false;
}
