// What list_png_files returns, the same on every system: the twins fill it,
// path_list.cc answers for it.
#pragma once

#include <string>
#include <vector>

struct path_entry {
    std::string path;     // on Windows UTF-8
    std::string problem;  // a subfolder that could not be read: why
    bool in_output;
};
struct path_list {
    std::vector<path_entry> entries;
};
