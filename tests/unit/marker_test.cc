// The marker search against a plain walk that tries every position, on data
// crowded with the bytes markers open with: brackets over and over, cut
// markers, E3 runs and whole markers in between, its end moved so that
// markers and brackets get cut by it.
#include <gtest/gtest.h>

#include <random>

#include "extract/marker_table.h"
#include "scene_builder.h"

TEST(marker, search_finds_what_trying_every_position_finds) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        const std::string whole = marker_text(int(rng() % 8));
        const std::string pieces[] = {"\xE3\x80\x90", "\xE3\x80\x90\xE3\x80\x90", "\xE3", "\xE3\xE3",
                                      "\xE3\x80", "\xE3\x80\x90K", "\xE3\x80\x90H", "K", "x", whole,
                                      whole.substr(0, whole.size() - 1 - rng() % 10)};
        bytes data;
        while (data.size() < 120) put_text(data, pieces[rng() % std::size(pieces)]);
        const uint64_t size = data.size() - rng() % 20;
        for (uint64_t pos = 0; pos <= size; ++pos) {
            const marker_row *want_row = nullptr, *got_row = nullptr;
            uint64_t want = pos;
            while (want < size && !(want_row = match_marker(data.data(), size, want))) ++want;
            ASSERT_EQ(find_next_marker(data.data(), size, pos, &got_row), want) << round << " from " << pos;
            ASSERT_EQ(got_row, want_row) << round << " from " << pos;
        }
    }
}
