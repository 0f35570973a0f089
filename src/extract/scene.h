// Recognising a scene file: a PNG image with game data appended after IEND.
#pragma once

#include <cstdint>

// Least number of bytes that must follow the 12-byte IEND chunk.
constexpr uint32_t min_trailing_bytes = 31;

// Checks the signature and size, walks the PNG chunks to IEND and requires the
// trailing data. On success stores the position of the IEND chunk's first byte
// (its length field) in `iend_pos`. A walk that would leave the buffer, or any
// failed check, means the bytes are not a scene.
bool find_scene_data(const uint8_t* data, uint32_t size, uint32_t* iend_pos);
