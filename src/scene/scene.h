// Recognising a scene file: a PNG image with game data appended after IEND.
#pragma once

#include <cstdint>

// Least number of bytes that must follow the 12-byte IEND chunk.
constexpr uint32_t min_trailing_bytes = 31;

// Which check a file failed, so that a script can tell a picture without
// game data from a file that is no PNG at all.
enum class scene_fault : uint8_t {
    none,
    too_small,            // fewer than 64 bytes
    no_signature,         // does not open with the PNG signature
    no_iend,              // the chunks run off the end before an IEND chunk
    too_little_after_iend,  // fewer than 31 bytes follow the IEND chunk
};

// The fault in words, for messages and the JSON document: "too small for a
// scene", "no PNG signature", ...; empty for none.
const char* scene_fault_text(scene_fault fault);

// Checks the signature and size, walks the PNG chunks to IEND and requires the
// trailing data. On success stores the position of the IEND chunk's first byte
// (its length field) in `iend_pos`. A walk that would leave the buffer, or any
// failed check, means the bytes are not a scene; `fault`, when given, says
// which check failed.
bool find_scene_data(const uint8_t* data, uint32_t size, uint32_t* iend_pos, scene_fault* fault = nullptr);
