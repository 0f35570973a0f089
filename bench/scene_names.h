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
constexpr const char* faceless_scene = "faceless.png";  // the same, each face's bytes zero (no PNG)
constexpr const char* letters_scene = "letters.png";    // the bracket and a marker's first letter
constexpr const char* tables_scene = "tables.png";      // entry tables reaching past the end

// Smaller scenes for the rows of work a run must not multiply.
constexpr size_t bench_small_scene_bytes = size_t(16) << 20;  // 16 MiB
constexpr const char* plain16_scene = "plain16.png";    // no marker after IEND, 16 MiB
// Later games' records one after another, each reaching to the end of the
// file, so that each lies inside every one before it: 16 MiB of them.
constexpr const char* nested_scene = "nested16.png";
// 20,000 small characters, about 1 MB, for a folder that takes no card.
constexpr const char* many_scene = "many20000.png";
constexpr int many_scene_records = 20000;
// 256 characters, each with the largest extended data the mods' reading
// keeps: 512 plugins and 512 mods, every text field filled.
constexpr const char* mods_scene = "mods256.png";
constexpr int mods_scene_records = 256;
// 256 characters with faces (the 64 faces over again, each record its own):
// one scene of them all, and a folder of 256 scenes of one each.
constexpr const char* cast256_scene = "cast256.png";
constexpr const char* cast256_folder = "cast256";
constexpr int cast256_records = 256;
