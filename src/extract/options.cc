#include "extract/options.h"

#include <cstring>

marker_set take_marker_option(int* argc, char*** argv) {
    if (*argc < 2 || std::strcmp((*argv)[1], newer_games_option) != 0) return marker_set::standard;
    --*argc;
    ++*argv;
    return marker_set::newer_games;
}

uint32_t worker_count_from(const char* value, uint32_t most, uint32_t fallback) {
    if (!value || !*value) return fallback;
    uint32_t count = 0;
    for (const char* c = value; *c; ++c) {
        if (*c < '0' || *c > '9') return fallback;
        count = count * 10 + uint32_t(*c - '0');
        if (count > most) count = most;  // stays small, so no digit string overflows
    }
    return count;
}
