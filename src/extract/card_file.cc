// Writing one card file: the PNG bytes, then the record bytes.
#include <cstdio>

#include "extract/driver.h"
#include "platform/file.h"

bool write_card_file(void*, const char* name, const uint8_t* png, size_t png_len,
                     const uint8_t* record, size_t record_len, char (&reason)[reason_capacity]) {
    const byte_range pieces[] = {{png, png_len}, {record, record_len}};
    return store_file(name, pieces, 2, reason);
}
