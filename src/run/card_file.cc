// Writing one card file: the PNG bytes, then the record bytes.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>

#include "base/heap.h"
#include "platform/file.h"
#include "run/driver.h"

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

namespace {

// What makes a card name unique in a run: its numbered stem, PREFIX_S_TAG_NNN,
// whatever name follows it, in one case. Files that differ only there would
// be one file on a system that ignores case, or two cards a user cannot tell
// apart by number.
std::string stem_of(const char* name) {
    std::string stem(name, std::strcspn(name, " ."));
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return stem;
}

// Best effort: with no memory left for the note, the next name is not
// guarded against this one, and the run goes on.
void note_name(card_files* files, const char* name) {
    try {
        files->names.insert(stem_of(name));
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

bool card_name_taken(void* files, const char* name) {
    try {
        return static_cast<card_files*>(files)->names.count(stem_of(name)) != 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void card_name_listed(void* files, const char* name) { note_name(static_cast<card_files*>(files), name); }

bool write_card_file(void* context, const char* name, const uint8_t* png, size_t png_len,
                     const uint8_t* record, size_t record_len, store_failure* why) {
    card_files* files = static_cast<card_files*>(context);
    const byte_range pieces[] = {{png, png_len}, {record, record_len}};
    if (!store_file(files->folder, name, pieces, 2, why)) return false;
    note_name(files, name);
    return true;
}
