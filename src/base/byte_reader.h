// Bounds-checked reads of scene bytes: little-endian game fields, big-endian
// PNG fields.
//
// Every read of scene data goes through these helpers. Positions are 64-bit so
// that sums of lengths read from the file can never wrap; a read is refused when
// it would touch a byte at or past `size`.
#pragma once

#include <cstdint>

struct byte_view {
    const uint8_t* data;
    uint64_t size;
};

// True when `n` bytes starting at `pos` lie inside the view. Written as
// `n > size - pos` so the comparison itself cannot overflow.
inline bool bytes_fit(const byte_view& v, uint64_t pos, uint64_t n) {
    return pos <= v.size && n <= v.size - pos;
}

inline bool read_u8(const byte_view& v, uint64_t pos, uint32_t* out) {
    if (!bytes_fit(v, pos, 1)) return false;
    *out = v.data[pos];
    return true;
}

inline bool read_le16(const byte_view& v, uint64_t pos, uint32_t* out) {
    if (!bytes_fit(v, pos, 2)) return false;
    const uint8_t* p = v.data + pos;
    *out = uint32_t(p[0]) | uint32_t(p[1]) << 8;
    return true;
}

// Game length fields are 32 bits wide but only their low three bytes count.
inline bool read_le24(const byte_view& v, uint64_t pos, uint32_t* out) {
    if (!bytes_fit(v, pos, 3)) return false;
    const uint8_t* p = v.data + pos;
    *out = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return true;
}

// The 24-bit values at `count` successive positions from `pos` on (they
// overlap), with one bounds check for the whole run.
inline bool read_le24_run(const byte_view& v, uint64_t pos, uint64_t count, uint32_t* out) {
    if (count == 0 || !bytes_fit(v, pos, count + 2)) return count == 0;
    const uint8_t* p = v.data + pos;
    for (uint64_t i = 0; i < count; ++i)
        out[i] = uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16;
    return true;
}

inline bool read_le32(const byte_view& v, uint64_t pos, uint32_t* out) {
    if (!bytes_fit(v, pos, 4)) return false;
    const uint8_t* p = v.data + pos;
    *out = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
           uint32_t(p[3]) << 24;
    return true;
}

// PNG chunk lengths are big-endian; the most significant byte is ignored, so
// this reads bytes 1 to 3 of the four-byte field.
inline bool read_be24_of_32(const byte_view& v, uint64_t pos, uint32_t* out) {
    if (!bytes_fit(v, pos, 4)) return false;
    const uint8_t* p = v.data + pos;
    *out = uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    return true;
}

// PNG chunk headers (length and type) inside a face picture, all 32 bits.
inline bool read_be32(const byte_view& v, uint64_t pos, uint32_t* out) {
    if (!bytes_fit(v, pos, 4)) return false;
    const uint8_t* p = v.data + pos;
    *out = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    return true;
}
