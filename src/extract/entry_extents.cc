#include "extract/entry_extents.h"

#include <cstdlib>

// Layout of the cache. Row k of stride r is the entry at 148 * k + r, so a
// table at T with N entries is rows T / 148 to T / 148 + N - 1 of stride
// T % 148. Rows are grouped in sub-blocks of 8 and blocks of 64; for every
// block the cache holds its eight sub-block maxima and, in a sparse table,
// the maxima of 1, 2, 4 ... 512 blocks starting there. A table is then at
// most 7 entries, 7 sub-blocks, two sparse-table values, 7 sub-blocks and 7
// entries.
//
// Each stride keeps a contiguous run of built blocks in a ring. The scan
// meets tables in increasing order of their start, so a run only grows at its
// far end or starts afresh further on, and every block is built once.

namespace {

constexpr uint64_t sub_rows = 8;
constexpr uint64_t block_rows = 64;
constexpr uint32_t sub_per_block = uint32_t(block_rows / sub_rows);
// Level l holds the maximum of 2^l blocks; a table of 65,535 entries covers
// at most 1,023 whole blocks, so levels 0 to 9 answer every table.
constexpr int levels = 10;
static_assert((uint64_t(1) << levels) * block_rows > 65535);  // the largest count
// A table touches at most 1,025 blocks; the ring holds them all.
constexpr uint32_t ring_blocks = 2048;
constexpr uint32_t ring_mask = ring_blocks - 1;
static_assert(ring_blocks > 65535 / block_rows + 2);
// Shorter tables are read entry by entry, which costs no more than a query.
constexpr uint32_t cached_from = 32;
// The entry count is a 16-bit field; the ring and the levels are sized for it.
constexpr uint32_t most_entries = 65535;

}  // namespace

struct extent_stride {
    uint64_t lo;  // blocks lo to hi - 1 are built
    uint64_t hi;
    uint32_t sub[ring_blocks][sub_per_block];
    uint32_t level[levels][ring_blocks];
};

bool entry_extent(const byte_view& v, uint64_t entry, uint32_t* out) {
    uint32_t a = 0;
    uint32_t b = 0;
    if (!read_le24(v, entry + extent_a_offset, &a) || !read_le24(v, entry + extent_b_offset, &b))
        return false;
    *out = a + b;
    return true;
}

bool furthest_extent_plain(const byte_view& v, uint64_t table, uint32_t count, uint32_t* out) {
    uint32_t best = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t s = 0;
        if (!entry_extent(v, table + entry_size * i, &s)) return false;
        if (s > best) best = s;
    }
    *out = best;
    return true;
}

namespace {

constexpr uint32_t stride_count = uint32_t(entry_size);

uint32_t larger(uint32_t x, uint32_t y) { return x > y ? x : y; }

// The entry of row k on stride r.
uint64_t row_entry(uint64_t r, uint64_t k) { return entry_size * k + r; }

// A block can be built when its last entry lies wholly in the scene.
bool block_fits(const byte_view& v, uint64_t r, uint64_t block) {
    return bytes_fit(v, row_entry(r, block * block_rows + block_rows - 1), entry_size);
}

// Reads the 64 entries of `block`, stores its sub-block maxima and its
// maximum, and completes every sparse-table value that ends with it.
bool build_block(extent_stride& s, const byte_view& v, uint64_t r, uint64_t block) {
    const uint32_t slot = uint32_t(block) & ring_mask;
    uint64_t entry = row_entry(r, block * block_rows);
    uint32_t whole = 0;
    for (uint32_t sub = 0; sub < sub_per_block; ++sub) {
        uint32_t best = 0;
        for (uint64_t i = 0; i < sub_rows; ++i, entry += entry_size) {
            uint32_t e = 0;
            if (!entry_extent(v, entry, &e)) return false;
            best = larger(best, e);
        }
        s.sub[slot][sub] = best;
        whole = larger(whole, best);
    }
    s.level[0][slot] = whole;
    for (int l = 1; l < levels; ++l) {
        const uint64_t span = uint64_t(1) << l;
        if (block + 1 < s.lo + span) break;
        const uint64_t first = block + 1 - span;
        s.level[l][first & ring_mask] =
            larger(s.level[l - 1][first & ring_mask], s.level[l - 1][(first + span / 2) & ring_mask]);
    }
    return true;
}

// Makes blocks [from, to) built, starting the run afresh when it cannot
// simply be extended.
bool build_blocks(extent_stride& s, const byte_view& v, uint64_t r, uint64_t from, uint64_t to) {
    if (from < s.lo || from > s.hi) s.lo = s.hi = from;
    while (s.hi < to) {
        if (s.hi - s.lo == ring_blocks) ++s.lo;  // its slot is needed
        if (!build_block(s, v, r, s.hi)) {
            s.lo = s.hi = from;
            return false;
        }
        ++s.hi;
    }
    return true;
}

// The maximum over `count` built blocks from `first` on: two overlapping
// powers of two.
uint32_t blocks_max(const extent_stride& s, uint64_t first, uint64_t count) {
    int l = 0;
    while ((uint64_t(2) << l) <= count) ++l;
    const uint64_t last = first + count - (uint64_t(1) << l);
    return larger(s.level[l][first & ring_mask], s.level[l][last & ring_mask]);
}

// Rows [k, end) of stride r, where rows below `built_end` lie in built blocks.
bool rows_max(const extent_stride& s, const byte_view& v, uint64_t r, uint64_t k, uint64_t end,
              uint64_t built_end, uint32_t* out) {
    uint32_t best = 0;
    while (k < end) {
        const uint64_t built_rows = (end < built_end ? end : built_end) - (k < built_end ? k : built_end);
        if (k % block_rows == 0 && built_rows >= block_rows) {
            const uint64_t blocks = built_rows / block_rows;
            best = larger(best, blocks_max(s, k / block_rows, blocks));
            k += blocks * block_rows;
        } else if (k % sub_rows == 0 && built_rows >= sub_rows) {
            best = larger(best, s.sub[uint32_t(k / block_rows) & ring_mask][k % block_rows / sub_rows]);
            k += sub_rows;
        } else {
            uint32_t e = 0;
            if (!entry_extent(v, row_entry(r, k), &e)) return false;
            best = larger(best, e);
            ++k;
        }
    }
    *out = best;
    return true;
}

bool prepare(extent_cache* cache, const byte_view& v) {
    if (cache->unavailable) return false;
    if (!cache->strides) {
        cache->strides = static_cast<extent_stride*>(std::malloc(sizeof(extent_stride) * stride_count));
        cache->unavailable = cache->strides == nullptr;
        if (cache->unavailable) return false;
        cache->data = nullptr;
    }
    if (cache->data != v.data || cache->size != v.size) {
        for (uint32_t r = 0; r < stride_count; ++r) cache->strides[r].lo = cache->strides[r].hi = 0;
        cache->data = v.data;
        cache->size = v.size;
    }
    return true;
}

}  // namespace

void extent_cache_start(extent_cache* cache) { *cache = extent_cache{nullptr, 0, nullptr, false}; }

void extent_cache_release(extent_cache* cache) {
    std::free(cache->strides);
    extent_cache_start(cache);
}

bool furthest_extent(extent_cache* cache, const byte_view& v, uint64_t table, uint32_t count,
                     uint32_t* out) {
    if (!cache || count < cached_from || count > most_entries || !prepare(cache, v))
        return furthest_extent_plain(v, table, count, out);
    const uint64_t r = table % entry_size;
    const uint64_t first = table / entry_size;
    const uint64_t end = first + count;
    // Blocks from the one holding the first entry to the one holding the
    // last; that last one only when all of it lies in the scene.
    const uint64_t last_block = (end - 1) / block_rows;
    const uint64_t built_to = block_fits(v, r, last_block) ? last_block + 1 : last_block;
    extent_stride& s = cache->strides[r];
    if (!build_blocks(s, v, r, first / block_rows, built_to))
        return furthest_extent_plain(v, table, count, out);
    return rows_max(s, v, r, first, end, built_to * block_rows, out);
}
