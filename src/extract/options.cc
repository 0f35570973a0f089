#include "extract/options.h"

#include <cstring>

marker_set take_marker_option(int* argc, char*** argv) {
    if (*argc < 2 || std::strcmp((*argv)[1], newer_games_option) != 0) return marker_set::standard;
    --*argc;
    ++*argv;
    return marker_set::newer_games;
}
