// The hostile-face scenes: one character each, whose face picture stb_image
// 2.27 cannot decode safely by itself, or the largest the decode budget admits.
// make_scenes writes them in this order; the table's rows follow it.
#pragma once

#include <cstddef>

struct hostile_scene {
    const char* file;
    const char* what;  // the row's name in the table
};

constexpr hostile_scene hostile_scenes[] = {
    {"hostile_wrap.png", "16-bit grey 32768x16384, 8-bit size wraps"},
    {"hostile_6gb.png", "16-bit grey 23170x23170, 6 GB to decode"},
    {"hostile_bomb.png", "1x1, its rows inflating to 3 GiB"},
    {"hostile_distance30.png", "distance code 30, undefined in deflate"},
    {"hostile_empty_idat.png", "empty first IDAT chunk"},
    {"hostile_largest8.png", "largest 8-bit grey square in the budget"},
    {"hostile_largest16.png", "largest 16-bit grey square in the budget"},
};
constexpr size_t hostile_scene_count = sizeof hostile_scenes / sizeof hostile_scenes[0];
