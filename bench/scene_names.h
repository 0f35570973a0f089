// The benchmark scenes: file names inside the scene directory and their sizes.
#pragma once

#include <cstddef>

constexpr size_t bench_scene_bytes = size_t(64) << 20;  // 64 MiB, whole file
constexpr int bench_face_count = 64;
constexpr int bench_face_width = 240;
constexpr int bench_face_height = 320;

constexpr const char* plain_scene = "plain.png";        // no marker after IEND
constexpr const char* brackets_scene = "brackets.png";  // E3 80 90 over and over
constexpr const char* faces_scene = "faces.png";        // 64 characters with faces
constexpr const char* letters_scene = "letters.png";    // the bracket and a marker's first letter
constexpr const char* tables_scene = "tables.png";      // entry tables reaching past the end
