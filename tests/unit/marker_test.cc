// The marker search against a plain walk that tries every position, on data
// crowded with the bytes markers open with: brackets over and over, cut
// markers, E3 runs and whole markers in between.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "extract/marker_table.h"
#include "scene_builder.h"

namespace {

uint64_t walk_to_marker(const bytes& data, uint64_t size, uint64_t pos, const marker_row** row) {
    for (*row = nullptr; pos < size; ++pos)
        if ((*row = match_marker(data.data(), size, pos)) != nullptr) return pos;
    return size;
}

bytes crowded_data(std::mt19937& rng) {
    const std::string whole = marker_text(int(rng() % 8));
    const std::string pieces[] = {
        "\xE3\x80\x90",       "\xE3\x80\x90\xE3\x80\x90", "\xE3",  "\xE3\xE3", "\xE3\x80",
        "\xE3\x80\x90K",      "\xE3\x80\x90H",            "K",     "x",
        whole,                whole.substr(0, whole.size() - 1 - rng() % 10),
    };
    bytes b;
    while (b.size() < 120) put_text(b, pieces[rng() % std::size(pieces)]);
    return b;
}

}  // namespace

TEST(marker_search, finds_what_trying_every_position_finds) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        const bytes data = crowded_data(rng);
        // The end is moved too, so that markers and brackets get cut by it.
        const uint64_t size = data.size() - rng() % 20;
        for (uint64_t pos = 0; pos <= size; ++pos) {
            const marker_row* want_row = nullptr;
            const marker_row* got_row = nullptr;
            const uint64_t want = walk_to_marker(data, size, pos, &want_row);
            const uint64_t got = find_next_marker(data.data(), size, pos, &got_row);
            ASSERT_EQ(got, want) << "round " << round << " from " << pos;
            ASSERT_EQ(got_row, want_row) << "round " << round << " from " << pos;
        }
    }
}
