#include "scene/entry_extents.h"

#include <cstdlib>

// Layout of the cache. Row k of stride r is the entry at 148 * k + r, so a
// table at T with N entries is rows T / 148 to T / 148 + N - 1 of stride
// T % 148. Rows are grouped in sub-blocks of 8 and blocks of 128; block j of
// all strides together holds the entries starting at scene bytes 18,944 * j
// to 18,944 * (j + 1), which are read in order to build it. For every block and stride the cache
// holds the 16 sub-block maxima and, in a sparse table, the maxima of 1, 2,
// 4 ... 256 blocks starting there. A table is then at most 7 entries, 15
// sub-blocks, two sparse-table values, 15 sub-blocks and 7 entries.
//
// The built blocks form one contiguous run kept in a ring. The scan meets
// tables in increasing order of their start, so the run only grows at its far
// end or starts afresh further on, and every block is built once.
//
// A table that starts past the end of every table measured before is read
// entry by entry: such tables never overlap one another, so together they
// cost at most one entry for every 148 bytes of the scene. Since the scan
// resumes at a match's end, no later table starts inside the table of a
// record that was a match: tables overlap only after records that were no
// match, and only there are blocks built.

namespace {

constexpr uint32_t strides = uint32_t(entry_size);
constexpr uint64_t sub_rows = 8;
constexpr uint64_t block_rows = 128;
constexpr uint64_t block_bytes = block_rows * entry_size;
constexpr uint32_t sub_per_block = uint32_t(block_rows / sub_rows);
// Level l holds the maximum of 2^l blocks; a table of 65,535 entries covers
// at most 511 whole blocks, so levels 0 to 8 answer every table.
constexpr uint32_t most_entries = 65535;  // the count is a 16-bit field
constexpr int levels = 9;
static_assert((uint64_t(1) << levels) * block_rows > most_entries);
// A table touches at most 513 blocks; the ring holds them all. Its memory is
// about 7.5 MiB; each page costs when first touched, so it is kept small.
constexpr uint64_t ring_blocks = most_entries / block_rows + 3;
// Shorter tables are read entry by entry, which costs no more than a query.
constexpr uint32_t cached_from = 32;

}  // namespace

// One block of every stride.
struct extent_block {
    uint32_t sub[strides][sub_per_block];  // a stride's sub-blocks lie together
    uint32_t level[levels][strides];  // level l: this block and the 2^l - 1 after it
};

struct extent_blocks {
    uint64_t lo;  // blocks lo to hi - 1 are built
    uint64_t hi;
    extent_block ring[ring_blocks];
};

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

uint32_t larger(uint32_t x, uint32_t y) { return x > y ? x : y; }

// The entry of row k on stride r.
uint64_t row_entry(uint64_t r, uint64_t k) { return entry_size * k + r; }

// A block can be built when the last entry of its last stride lies wholly in
// the scene.
bool block_fits(const byte_view& v, uint64_t block) {
    return bytes_fit(v, block * block_bytes + block_bytes - 1, entry_size);
}

// Reads the entries of `block` of every stride, in scene order, stores the
// maxima, and completes every sparse-table value that ends with it.
bool build_block(extent_blocks& c, const byte_view& v, uint64_t block) {
    extent_block& b = c.ring[block % ring_blocks];
    // The a values of one sub-block's rows are the 24-bit values at 1,184
    // successive positions, and the b values the same 8 positions on: one run
    // of values serves both.
    constexpr uint64_t gap = extent_b_offset - extent_a_offset;
    constexpr uint64_t run = sub_rows * entry_size;
    uint32_t values[run + gap];
    for (uint32_t sub = 0; sub < sub_per_block; ++sub) {
        const uint64_t first_entry = block * block_bytes + sub * run;
        if (!read_le24_run(v, first_entry + extent_a_offset, run + gap, values)) return false;
        uint32_t best[strides] = {};
        for (uint64_t row = 0; row < run; row += entry_size) {
            const uint32_t* a = values + row;
            for (uint32_t r = 0; r < strides; ++r) best[r] = larger(best[r], a[r] + a[r + gap]);
        }
        for (uint32_t r = 0; r < strides; ++r) b.sub[r][sub] = best[r];
    }
    for (uint32_t r = 0; r < strides; ++r) {
        uint32_t whole = 0;
        for (uint32_t sub = 0; sub < sub_per_block; ++sub) whole = larger(whole, b.sub[r][sub]);
        b.level[0][r] = whole;
    }
    for (int l = 1; l < levels; ++l) {
        const uint64_t span = uint64_t(1) << l;
        if (block + 1 < c.lo + span) break;
        const uint64_t first = block + 1 - span;
        const uint32_t* low = c.ring[first % ring_blocks].level[l - 1];
        const uint32_t* high = c.ring[(first + span / 2) % ring_blocks].level[l - 1];
        uint32_t* out = c.ring[first % ring_blocks].level[l];
        for (uint32_t r = 0; r < strides; ++r) out[r] = larger(low[r], high[r]);
    }
    return true;
}

// Makes blocks [from, to) built, starting the run afresh when it cannot
// simply be extended.
bool build_blocks(extent_blocks& c, const byte_view& v, uint64_t from, uint64_t to) {
    if (from < c.lo || from > c.hi) c.lo = c.hi = from;
    while (c.hi < to) {
        if (c.hi - c.lo == ring_blocks) ++c.lo;  // its slot is needed
        if (!build_block(c, v, c.hi)) {
            c.lo = c.hi = from;
            return false;
        }
        ++c.hi;
    }
    return true;
}

// The maximum over `count` built blocks of stride r from `first` on: two
// overlapping powers of two.
uint32_t blocks_max(const extent_blocks& c, uint64_t r, uint64_t first, uint64_t count) {
    int l = 0;
    while ((uint64_t(2) << l) <= count) ++l;
    const uint64_t last = first + count - (uint64_t(1) << l);
    return larger(c.ring[first % ring_blocks].level[l][r], c.ring[last % ring_blocks].level[l][r]);
}

// Rows [from, to) of stride r, read one by one.
bool entries_max(const byte_view& v, uint64_t r, uint64_t from, uint64_t to, uint32_t* best) {
    for (uint64_t k = from; k < to; ++k) {
        uint32_t e = 0;
        if (!entry_extent(v, row_entry(r, k), &e)) return false;
        *best = larger(*best, e);
    }
    return true;
}

// Rows [from, to) of stride r, whole sub-blocks of one built block.
uint32_t subs_max(const extent_blocks& c, uint64_t r, uint64_t from, uint64_t to) {
    const uint32_t* sub = c.ring[(from / block_rows) % ring_blocks].sub[r];
    uint32_t best = 0;
    for (uint64_t i = from % block_rows / sub_rows; i < (to - 1) % block_rows / sub_rows + 1; ++i)
        best = larger(best, sub[i]);
    return best;
}

uint64_t round_down(uint64_t k, uint64_t unit) { return k / unit * unit; }
uint64_t round_up(uint64_t k, uint64_t unit) { return round_down(k + unit - 1, unit); }

// Rows [k, end) of stride r, where rows below `built_end` lie in built
// blocks: entries up to the first sub-block, sub-blocks up to the first
// block, whole blocks, then sub-blocks and entries to the end.
bool rows_max(const extent_blocks& c, const byte_view& v, uint64_t r, uint64_t k, uint64_t end,
              uint64_t built_end, uint32_t* out) {
    const uint64_t lo = round_up(k, sub_rows);
    const uint64_t hi = round_down(end < built_end ? end : built_end, sub_rows);
    uint32_t best = 0;
    if (lo >= hi) {
        if (!entries_max(v, r, k, end, &best)) return false;
        *out = best;
        return true;
    }
    const uint64_t first_block = round_up(lo, block_rows);
    const uint64_t past_blocks = round_down(hi, block_rows);
    if (first_block > past_blocks) {
        best = subs_max(c, r, lo, hi);  // all in one block
    } else {
        if (lo < first_block) best = subs_max(c, r, lo, first_block);
        if (past_blocks < hi) best = larger(best, subs_max(c, r, past_blocks, hi));
        if (first_block < past_blocks)
            best = larger(best, blocks_max(c, r, first_block / block_rows,
                                           (past_blocks - first_block) / block_rows));
    }
    if (!entries_max(v, r, k, lo, &best) || !entries_max(v, r, hi, end, &best)) return false;
    *out = best;
    return true;
}

// Whether the table from `table` to `table_end` is to be read through the
// blocks: it must start before the end of a table measured earlier.
bool use_blocks(extent_cache* cache, const byte_view& v, uint64_t table, uint64_t table_end) {
    if (cache->unavailable) return false;
    if (cache->data != v.data || cache->size != v.size) {
        cache->data = v.data;
        cache->size = v.size;
        cache->measured_to = 0;
        if (cache->blocks) cache->blocks->lo = cache->blocks->hi = 0;
    }
    const bool overlaps = table < cache->measured_to;
    if (table_end > cache->measured_to) cache->measured_to = table_end;
    if (!overlaps || cache->blocks) return overlaps;
    cache->blocks = static_cast<extent_blocks*>(std::malloc(sizeof(extent_blocks)));
    cache->unavailable = cache->blocks == nullptr;
    if (cache->unavailable) return false;
    cache->blocks->lo = cache->blocks->hi = 0;
    return true;
}

}  // namespace

void extent_cache_start(extent_cache* cache) { *cache = extent_cache{nullptr, 0, 0, nullptr, false}; }

void extent_cache_release(extent_cache* cache) {
    std::free(cache->blocks);
    extent_cache_start(cache);
}

bool furthest_extent(extent_cache* cache, const byte_view& v, uint64_t table, uint32_t count,
                     uint32_t* out) {
    if (!cache || count < cached_from || count > most_entries ||
        !use_blocks(cache, v, table, table + entry_size * count))
        return furthest_extent_plain(v, table, count, out);
    const uint64_t r = table % entry_size;
    const uint64_t first = table / entry_size;
    const uint64_t end = first + count;
    // Blocks from the one holding the first entry to the one holding the
    // last; that last one only when all of it lies in the scene.
    const uint64_t last_block = (end - 1) / block_rows;
    const uint64_t built_to = block_fits(v, last_block) ? last_block + 1 : last_block;
    extent_blocks& c = *cache->blocks;
    if (!build_blocks(c, v, first / block_rows, built_to)) return furthest_extent_plain(v, table, count, out);
    return rows_max(c, v, r, first, end, built_to * block_rows, out);
}
