// A scene's path as the console shows it: a name may hold any byte but the
// null, and one holding terminal escapes or CR LF would reach the terminal
// as commands or forge a line of the tool's own. Control characters (below
// 0x20, and 0x7F) are shown as \xHH; everything else, UTF-8 included, as it
// stands.
#pragma once

#include <cstddef>

// Room for a name of 1,024 bytes, every one escaped; a longer name is cut
// there and ends in "...".
constexpr size_t shown_name_max_bytes = 1024;
constexpr size_t shown_name_capacity = shown_name_max_bytes * 4 + 4;

struct shown_name {
    char text[shown_name_capacity];
};

shown_name show_name(const char* path);
