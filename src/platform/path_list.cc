#include "platform/path_list.h"

#include "platform/file.h"

int path_count(const path_list* list) { return int(list->entries.size()); }
const char* path_at(const path_list* list, int index) { return list->entries[size_t(index)].path.c_str(); }
const char* path_problem(const path_list* list, int index) {
    const path_entry& e = list->entries[size_t(index)];
    return e.problem.empty() ? nullptr : e.problem.c_str();
}
bool path_in_output(const path_list* list, int index) { return list->entries[size_t(index)].in_output; }
void free_path_list(path_list* list) { delete list; }
