#include "extract/options.h"

#include <cstring>

#include "extract/marker_table.h"

uint32_t take_marker_option(int* argc, char*** argv) {
    if (*argc < 2 || std::strcmp((*argv)[1], newer_games_option) != 0) return default_marker_rows;
    --*argc;
    ++*argv;
    return marker_count;
}
