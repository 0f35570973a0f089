// The marker search against a plain comparison of every marker text at every
// position, on data crowded with the bytes markers open with: brackets over
// and over, cut markers, E3 runs and whole markers in between, its end moved
// so that markers and brackets get cut by it.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "extract/marker_table.h"
#include "scene_builder.h"

TEST(marker, search_finds_what_trying_every_position_finds) {
    std::string texts[8];  // compared byte by byte, unlike the search
    for (int row = 0; row < 8; ++row) texts[row] = marker_text(row);
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        const std::string whole = texts[rng() % 8];
        const std::string pieces[] = {"\xE3\x80\x90", "\xE3\x80\x90\xE3\x80\x90", "\xE3", "\xE3\xE3",
                                      "\xE3\x80", "\xE3\x80\x90K", "\xE3\x80\x90H", "K", "x", whole,
                                      whole.substr(0, whole.size() - 1 - rng() % 10)};
        bytes data;
        while (data.size() < 120) put_text(data, pieces[rng() % std::size(pieces)]);
        const uint64_t size = data.size() - rng() % 20;  // the bytes past it stay in memory
        std::vector<const marker_row*> at(size + 1, nullptr);  // the row whose marker fits before size
        for (uint64_t p = 0; p < size; ++p)
            for (int row = 0; row < 8; ++row)
                if (p + texts[row].size() <= size &&
                    !std::memcmp(texts[row].data(), &data[p], texts[row].size()))
                    at[p] = &marker_table[row];
        for (uint64_t pos = 0; pos <= size; ++pos) {
            uint64_t want = pos;
            while (want < size && !at[want]) ++want;
            const marker_row* row = nullptr;
            ASSERT_EQ(find_next_marker(data.data(), size, pos, &row), want) << round << " from " << pos;
            ASSERT_EQ(row, at[want]) << round << " from " << pos;
        }
    }
}
