// The marker search against comparing every marker text at every position of
// data crowded with the bytes markers open with, its end cutting markers; with
// the default rows and with all. Where two rows fit, the search takes the first
// while the comparison keeps the last, so no marker may start another.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <random>

#include "scene/marker_table.h"
#include "scene_builder.h"

TEST(marker, search_finds_what_trying_every_position_finds) {
    std::string texts[row_count];  // the scene builder's own spelling, not the table's
    for (int row = 0; row < row_count; ++row) texts[row] = marker_text(row);
    for (const marker_set set : {marker_set::standard, marker_set::newer_games}) {
        const int rows = set == marker_set::newer_games ? row_count : default_row_count;
        std::mt19937 rng(7);
        for (int round = 0; round < 400; ++round) {
            const std::string whole = texts[rng() % row_count];
            const std::string pieces[] = {"\xE3\x80\x90", "\xE3\x80\x90\xE3\x80\x90", "\xE3", "\xE3\xE3",
                                          "\xE3\x80", "\xE3\x80\x90K", "\xE3\x80\x90H", "\xE3\x80\x90S", "K",
                                          "x", whole, whole.substr(0, whole.size() - 1 - rng() % 10)};
            bytes data;
            while (data.size() < 120) put_text(data, pieces[rng() % std::size(pieces)]);
            const uint64_t size = data.size() - rng() % 20;  // the bytes past it stay in memory
            std::vector<const marker_row*> at(size + 1, nullptr);
            for (uint64_t p = 0; p < size; ++p)
                for (int row = 0; row < rows; ++row)
                    if (p + texts[row].size() <= size && !std::memcmp(texts[row].data(), &data[p], texts[row].size()))
                        at[p] = &marker_table[row];
            for (uint64_t pos = 0; pos <= size; ++pos) {
                uint64_t want = pos;
                while (want < size && !at[want]) ++want;
                const marker_row* row = nullptr;
                ASSERT_EQ(find_next_marker(data.data(), size, pos, set, &row), want) << rows << " " << round << " " << pos;
                ASSERT_EQ(row, at[want]) << rows << " " << round << " " << pos;
            }
        }
    }
}

// The Sunshine marker shares its first fifteen bytes with the KKS one.
TEST(marker, kks_and_kks_sun_apart) {
    const struct {
        std::string text;
        const marker_row *with_default, *with_all;
    } cases[] = {
        {marker_text(row_kks), &marker_table[row_kks], &marker_table[row_kks]},
        {marker_text(row_kks_sun) + "xyz", nullptr, &marker_table[row_kks_sun]},
        {"\xE3\x80\x90KoiKatuCharaSu\xE3\x80\x91", nullptr, nullptr},
        {"\xE3\x80\x90KoiKatuCharaSunS\xE3\x80\x91", nullptr, nullptr},
        {marker_text(row_kks_sun).substr(0, 20), nullptr, nullptr},  // cut before its last byte
    };
    for (const auto& [text, with_default, with_all] : cases) {
        const auto* data = reinterpret_cast<const uint8_t*>(text.data());
        EXPECT_EQ(match_marker(data, text.size(), 0, marker_set::standard), with_default) << text;
        EXPECT_EQ(match_marker(data, text.size(), 0, marker_set::newer_games), with_all) << text;
    }
}

// The scan's reach past a later game's record counts on the longest marker.
TEST(marker, the_longest_marker) {
    uint32_t longest = 0;
    for (const marker_row& row : marker_table) longest = std::max(longest, row.length);
    EXPECT_EQ(longest, longest_marker_length);
}
