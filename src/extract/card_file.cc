// Writing one card file: the PNG bytes, then the record bytes.
#include <cstdio>
#include <new>
#include <string>
#include <unordered_set>

#include "extract/driver.h"
#include "platform/file.h"

struct stored_names {
    std::unordered_set<std::string> names;
};

stored_names* stored_names_new() { return new (std::nothrow) stored_names; }
void stored_names_free(stored_names* names) { delete names; }

bool stored_name_taken(void* names, const char* name) {
    return names && static_cast<stored_names*>(names)->names.count(name) != 0;
}

bool write_card_file(void* context, const char* name, const uint8_t* png, size_t png_len,
                     const uint8_t* record, size_t record_len, store_failure* why) {
    const byte_range pieces[] = {{png, png_len}, {record, record_len}};
    if (!store_file(name, pieces, 2, why)) return false;
    if (context) static_cast<stored_names*>(context)->names.insert(name);
    return true;
}
