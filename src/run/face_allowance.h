// How much face decoding a scene may ask for.
//
// Within the decode budget a single face of a few dozen kilobytes may still
// declare 6000 x 6000 pixels of one flat colour, and cost a third of a second
// to a second of CPU to decode and draw; 256 of them fit in under 10 MB of
// scene. So the faces of one scene together may decode to no more pixel bytes
// than a fixed floor and a multiple of the scene's own size: a face past what
// is left gets the plain card, as a face past the decode budget does. Real
// faces are a few hundred pixels a side, a few hundred kilobytes decoded,
// stored in records several times larger than that, and never come near it.
//
// A face costs what its header declares, and what its deflate stream inflates
// to beyond the rows the header implies (a stream may inflate to gigabytes
// behind a 1 x 1 header, and stb inflates all of it first); the stream is
// counted only as far as the allowance left reaches.
//
// The allowance is taken in scan order, by the first record of each checksum
// (a later copy gets the same answer and costs nothing more), so the answer
// for each card is the same whatever the number of threads drawing them.
#pragma once

#include <cstdint>

// The floor covers any scene of real characters many times over, 256 faces
// of 240 x 320 among them; per byte of scene, 64 bytes of pixels.
constexpr uint64_t face_allowance_floor = uint64_t(64) << 20;
constexpr uint64_t face_allowance_per_scene_byte = 64;
// Checksums whose answer is remembered; a record past them is charged anew
// (at most one face a card written, and some records whose write failed).
constexpr uint32_t face_allowance_memory = 1024;

struct face_allowance {
    uint64_t left;  // pixel bytes the scene's faces may still decode to
    uint32_t count;
    uint32_t crcs[face_allowance_memory];
    bool granted[face_allowance_memory];
};

void face_allowance_start(face_allowance* a, uint32_t scene_size);

// Whether the record with checksum `crc` was answered before, and the answer.
bool face_allowance_known(const face_allowance* a, uint32_t crc, bool* granted);

// Whether the record with checksum `crc`, whose face costs `cost` bytes to
// inflate and decode, may have its face decoded; the cost is taken only when
// it is.
bool face_allowance_grant(face_allowance* a, uint32_t crc, uint64_t cost);
