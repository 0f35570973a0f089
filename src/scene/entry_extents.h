// The furthest extent of an entry table: the largest a + b over its entries.
//
// Entries are 148 bytes long and every table starts at some byte of the
// scene, so the entries of all tables lie on 148 interleaved strides, one for
// each residue of the position modulo 148; tables of nearby markers share most
// of their entries. A hostile scene can pack thousands of markers whose tables
// of 65,535 entries overlap and reach past the end, each of them then no
// match: reading each table whole would cost the scan time quadratic in the
// scene's size. The cache keeps maxima over blocks of each stride, built
// lazily where tables lie, and answers one table in a few dozen reads.
#pragma once

#include <cstdint>

#include "base/byte_reader.h"

constexpr uint64_t entry_size = 148;
// Both extent values are 24-bit numbers, at these offsets in the entry.
constexpr uint64_t extent_a_offset = 132;
constexpr uint64_t extent_b_offset = 140;

// a + b of the entry starting at `entry`; false when its fields are not in `v`.
inline bool entry_extent(const byte_view& v, uint64_t entry, uint32_t* out) {
    uint32_t a = 0;
    uint32_t b = 0;
    if (!read_le24(v, entry + extent_a_offset, &a) || !read_le24(v, entry + extent_b_offset, &b))
        return false;
    *out = a + b;
    return true;
}

// The reference: reads all `count` entries from `table` on. The result is 0
// for no entries; false when an entry's fields are not in `v`.
bool furthest_extent_plain(const byte_view& v, uint64_t table, uint32_t count, uint32_t* out);

struct extent_blocks;  // the maxima, see entry_extents.cc

// What one scan of one scene keeps to measure tables: how far the tables
// measured so far reach, and block maxima (about 7.5 MiB, allocated at the
// first table that overlaps an earlier one). The scan owns it from start to
// finish.
struct extent_cache {
    const uint8_t* data;      // the scene the maxima were taken from
    uint64_t size;
    uint64_t measured_to;     // the furthest end of a table measured so far
    extent_blocks* blocks;    // null until needed
    bool unavailable;         // the allocation failed: every table is read whole
};

void extent_cache_start(extent_cache* cache);
void extent_cache_release(extent_cache* cache);

// Same result as furthest_extent_plain. Fastest when successive calls come in
// scan order (tables starting further on), but right in any order. A null
// cache reads every entry.
bool furthest_extent(extent_cache* cache, const byte_view& v, uint64_t table, uint32_t count,
                     uint32_t* out);
