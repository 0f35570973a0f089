// The furthest extent of entry tables through the scan's block maxima, against
// reading every entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "scene/entry_extents.h"
#include "scene/marker_table.h"
#include "scene/record.h"
#include "scene_builder.h"

namespace {

constexpr uint32_t most = 65535;
constexpr uint32_t largest = 2 * 0xFFFFFF;  // both extent values at their maximum
using marks = std::vector<std::pair<uint64_t, uint64_t>>;

bytes random_bytes(size_t n, uint64_t seed) {  // xorshift
    bytes b(n);
    for (uint8_t& byte : b) seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17, byte = uint8_t(seed >> 32);
    return b;
}

void set_extent(bytes& scene, uint64_t entry, uint32_t a, uint32_t b) {
    for (int i = 0; i < 3; ++i)
        scene[entry + extent_a_offset + i] = uint8_t(a >> 8 * i), scene[entry + extent_b_offset + i] = uint8_t(b >> 8 * i);
}

struct table_at {
    uint64_t start;
    uint32_t count;
};

// Each table through one new cache, in order (in each scene), and entry by entry: refused alike or equal.
void expect_as_plain(const std::vector<table_at>& tables, std::initializer_list<const bytes*> scenes) {
    extent_cache cache;
    extent_cache_start(&cache);
    for (const bytes* s : scenes)
        for (const table_at& t : tables) {
            const byte_view v{s->data(), s->size()};
            uint32_t fast = 1, plain = 1;
            const bool fast_ok = furthest_extent(&cache, v, t.start, t.count, &fast);
            ASSERT_EQ(fast_ok, furthest_extent_plain(v, t.start, t.count, &plain)) << t.start << " " << t.count;
            if (fast_ok) ASSERT_EQ(fast, plain) << t.start << " " << t.count;
        }
    extent_cache_release(&cache);
}

// Every marker a scan meets, with the end of its record (0: no match), measured
// with a cache or entry by entry.
marks walk(const bytes& scene, bool cached) {
    marks met;
    extent_cache cache;
    extent_cache_start(&cache);
    const marker_row* row = nullptr;
    for (uint64_t at = find_next_marker(scene.data(), scene.size(), 0, marker_set::standard, &row); at < scene.size();
         at = find_next_marker(scene.data(), scene.size(), at, marker_set::standard, &row)) {
        record_info r{};
        const bool ok = parse_record(scene.data(), uint32_t(scene.size()), uint32_t(at), *row, &r,
                                     cached ? &cache : nullptr);
        met.push_back({at, ok ? r.end : 0});
        at = ok ? r.end : at + 1;
    }
    extent_cache_release(&cache);
    return met;
}

// `n` entries with extents up to 9 and 9 data bytes; the one at `index` reaches `far`.
bytes table_record_with(uint32_t n, uint32_t index, uint32_t far) {
    table_record r{row_hs_female, std::vector<table_entry>(n), bytes(9, 2)};
    for (uint32_t i = 0; i < n; ++i) r.entries[i] = {i % 7, 3};
    if (index < n) r.entries[index] = {far, 0};
    return build_table_record(r);
}

}  // namespace

// One group per order of calls, each with a new cache.
TEST(entry_extents, same_as_reading_every_entry) {
    const size_t size = 2 * 148 * size_t(most) + 200003;  // two full tables, and no whole number of entries
    const bytes scene = random_bytes(size, 7), other(scene.rbegin(), scene.rend());
    std::vector<table_at> counts, packed, at_end, scan_order, restarts;
    // Around the counts read whole and the blocks' edges.
    const uint32_t small[] = {0, 1, 2, 31, 32, 33, 127, 128, 129, 136, 255, 256, 257, 1000, most};
    for (uint64_t i = 0; i < 300; ++i) counts.push_back({1000 + 53 * i, small[i % std::size(small)]});
    for (uint64_t i = 0; i < 400; ++i) packed.push_back({50 + 41 * i, most});  // starts at every residue modulo 148
    // Tables whose last entry ends the buffer, then one byte later (refused).
    for (uint32_t n : {most, 40000u, 300u, 129u, 128u, 33u, 32u, 1u, 0u})
        for (uint64_t shift : {0, 1}) at_end.push_back({size - 148 * uint64_t(n) + shift, n});
    std::sort(at_end.begin(), at_end.end(), [](table_at x, table_at y) { return x.start < y.start; });
    // Random counts at random growing starts, some past every table before.
    const bytes dice = random_bytes(2000, 3);
    for (uint64_t i = 0, start = 0; i + 3 < dice.size() && start < 200000; i += 4) {
        start += dice[i] % 4 == 0 ? 30000 + dice[i + 1] * 7 : dice[i + 1] % 50;
        scan_order.push_back({start, uint32_t(dice[i + 2] | dice[i + 3] << 8)});
    }
    // Far ahead of the blocks built, back before them, on past a whole table, back to the start.
    for (uint64_t start : {0u, 5000u, 6000000u, 6000149u, 100u, 9000000u, 4u}) restarts.push_back({start, 5000});
    for (uint64_t start : {100000u, 9700000u, 100001u, 100002u}) restarts.push_back({start, start == 100001 ? 20000 : most});
    for (const auto* tables : {&counts, &packed, &at_end, &scan_order, &restarts}) expect_as_plain(*tables, {&scene});
    expect_as_plain({scan_order.rbegin(), scan_order.rend()}, {&scene});
    expect_as_plain(packed, {&scene, &other});  // a second scene of the same size: nothing of the first counts
}

// The largest extent at every index of a table and every row of its block (two
// for 65,535 entries); each table one entry before the last, as a scan meets them.
TEST(entry_extents, furthest_entry_at_every_index) {
    for (uint32_t n : {300u, most})
        for (uint64_t row_in_block = 0; row_in_block < 128; row_in_block += n < most ? 1 : 127) {
            SCOPED_TRACE(testing::Message() << n << " entries, row " << row_in_block << " of its block");
            bytes scene = random_bytes(148 * (2 * uint64_t(n) + 260), n);
            for (uint64_t entry = 77; entry + 148 <= scene.size(); entry += 148)
                set_extent(scene, entry, scene[entry] % 200, 0);  // all small on stride 77
            const byte_view v{scene.data(), scene.size()};
            const uint64_t furthest = 148 * (128 * (n / 128 + 1) + row_in_block) + 77;
            set_extent(scene, furthest, 0xFFFFFF, 0xFFFFFF);
            extent_cache cache;
            extent_cache_start(&cache);
            for (uint32_t index = n; index-- > 0;) {
                const uint64_t start = furthest - 148 * uint64_t(index);
                uint32_t got = 0, plain = 0, before = 0;
                ASSERT_TRUE(furthest_extent(&cache, v, start, n, &got) && got == largest) << index << " " << got;
                // The table that stops just short of it.
                ASSERT_TRUE(furthest_extent(&cache, v, start, index, &before) && before < 200u);
                ASSERT_TRUE((n == most && index % 509) || (furthest_extent_plain(v, start, index, &plain) && before == plain))
                    << index << " " << before << " " << plain;
            }
            extent_cache_release(&cache);
        }
}

// A table refused for an extent past the end at each index, a match inside it
// 150 entries on at varying residues: the scan moves one byte into the refused one.
TEST(entry_extents, scans_through_rejected_tables) {
    const uint32_t n = 300;
    const bytes inner = table_record_with(40, 17, 9);  // about 41 entries long
    for (uint32_t index = 0; index < n; ++index) {
        SCOPED_TRACE(index);
        bytes scene = table_record_with(n, index, 0xFFFFFF);  // ends past any buffer here
        scene.resize(scene.size() + 148 * 260, 0x11);
        const uint64_t inner_at = 37 + 148 * ((index + 150) % n) + index % 97;
        std::copy(inner.begin(), inner.end(), scene.begin() + long(inner_at));
        ASSERT_EQ(walk(scene, true), (marks{{1, 0}, {inner_at + 1, inner_at + inner.size()}}));
        ASSERT_EQ(walk(scene, false), walk(scene, true));
    }
    // Markers 41 bytes apart with 65,535 entries each: refused, then with the end moved out, matches.
    bytes packed = packed_table_markers(41 * 200);
    packed.resize(packed.size() + 148 * size_t(most), 0x00);
    EXPECT_EQ(walk(packed, true), walk(packed, false));
    packed.resize(packed.size() + largest);
    EXPECT_EQ(walk(packed, true), walk(packed, false));
}
