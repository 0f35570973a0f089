// The file that hands the stb-only run its work: for each character of the face
// scene, the face picture's PNG bytes and the card picture the tool encodes for
// it. Layout, all numbers 32-bit little-endian:
//   count, then per character: PNG length, PNG bytes, 252 * 352 pixel words.
#pragma once

constexpr const char* stb_work_file = "stb_work.bin";
