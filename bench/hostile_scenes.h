// The hostile-face scenes: one character each, whose face picture stb_image
// 2.27 cannot decode safely by itself, or the largest the decode budget admits.
// make_scenes writes them in this order; the table's rows follow it.
#pragma once

#include <cstddef>

struct hostile_scene {
    const char* file;
    const char* what;    // the row's name in the table
    double cpu_limit_ms; // the most CPU time the whole run may take; 0: 1 s per MiB of scene
};

constexpr hostile_scene hostile_scenes[] = {
    {"hostile_wrap.png", "16-bit grey 32768x16384, 8-bit size wraps", 1000},
    {"hostile_6gb.png", "16-bit grey 23170x23170, 6 GB to decode", 1000},
    {"hostile_bomb.png", "1x1, its rows inflating to 3 GiB", 1000},
    {"hostile_distance30.png", "distance code 30, undefined in deflate", 1000},
    {"hostile_empty_idat.png", "empty first IDAT chunk", 1000},
    {"hostile_largest8.png", "largest 8-bit grey square in the budget", 1000},
    {"hostile_largest16.png", "largest 16-bit grey square in the budget", 1000},
    // The ones above, each twice, as the characters of one scene: decoded
    // side by side on every core, they still share one budget.
    {"hostile_all.png", "all of them twice, one scene, every core", 3000},
    // The largest 8-bit square again and again, each copy a character of its
    // own: within the decode budget one by one, together far past what their
    // scene's size lets its faces cost.
    {"hostile_bombs64.png", "64 largest 8-bit squares, one scene", 0},
    {"hostile_bombs256.png", "256 largest 8-bit squares, one scene", 0},
    // 1 x 1 pictures whose streams inflate to 128 MiB each: the stream's
    // inflation beyond its rows is charged to the scene's allowance too.
    {"hostile_inflating64.png", "64 1x1 faces inflating to 128 MiB each", 0},
};
// How many copies the two bomb scenes hold.
constexpr int bomb_scene_copies[] = {64, 256};
constexpr size_t hostile_scene_count = sizeof hostile_scenes / sizeof hostile_scenes[0];
