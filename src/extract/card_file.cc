// Writing one card file: the PNG bytes, then the record bytes.
#include <cstdio>
#include <new>
#include <string>
#include <unordered_set>

#include "extract/driver.h"
#include "extract/heap.h"
#include "platform/file.h"

struct card_files {
    const char* folder;
    std::unordered_set<std::string> names;
};

card_files* card_files_new(const char* folder) {
    card_files* files = heap_new<card_files>();
    if (files) files->folder = folder;
    return files;
}
void card_files_free(card_files* files) { heap_delete(files); }
const char* card_files_folder(const card_files* files) { return files->folder; }

bool card_name_taken(void* files, const char* name) {
    return static_cast<card_files*>(files)->names.count(name) != 0;
}

bool write_card_file(void* context, const char* name, const uint8_t* png, size_t png_len,
                     const uint8_t* record, size_t record_len, store_failure* why) {
    card_files* files = static_cast<card_files*>(context);
    const byte_range pieces[] = {{png, png_len}, {record, record_len}};
    if (!store_file(files->folder, name, pieces, 2, why)) return false;
    files->names.insert(name);
    return true;
}
