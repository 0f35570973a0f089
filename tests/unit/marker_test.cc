// The marker table and its search. The search is checked against a plain
// comparison of every marker text at every position, on data crowded with the
// bytes markers open with: brackets over and over, cut markers, E3 runs and
// whole markers in between, its end moved so that markers and brackets get cut
// by it; once with the default rows and once with the rows of later games.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "extract/marker_table.h"
#include "scene_builder.h"

namespace {

const marker_row* match_text(const std::string& text, marker_set set) {
    return match_marker(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0, set);
}

}  // namespace

TEST(marker, search_finds_what_trying_every_position_finds) {
    std::string texts[row_count];  // the scene builder's own spelling, compared byte by byte
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
            std::vector<const marker_row*> at(size + 1, nullptr);  // the row whose marker fits before size
            for (uint64_t p = 0; p < size; ++p)
                for (int row = 0; row < rows; ++row)
                    if (p + texts[row].size() <= size &&
                        !std::memcmp(texts[row].data(), &data[p], texts[row].size()))
                        at[p] = &marker_table[row];
            for (uint64_t pos = 0; pos <= size; ++pos) {
                uint64_t want = pos;
                while (want < size && !at[want]) ++want;
                const marker_row* row = nullptr;
                ASSERT_EQ(find_next_marker(data.data(), size, pos, set, &row), want)
                    << rows << " rows, round " << round << " from " << pos;
                ASSERT_EQ(row, at[want]) << rows << " rows, round " << round << " from " << pos;
            }
        }
    }
}

// Matching takes the first row that fits, so no marker may start another
// (then a longer one could never be found, or a shorter one would be taken
// inside a longer one): the closing bracket ends each and stands nowhere else.
// Each length is that of the text, as the games spell it.
TEST(marker, no_marker_starts_another) {
    for (uint32_t a = 0; a < marker_count; ++a) {
        const std::string text(marker_table[a].marker, marker_table[a].length);
        EXPECT_EQ(text, marker_text(int(a)));
        EXPECT_EQ(std::strlen(marker_table[a].marker), marker_table[a].length) << text;
        EXPECT_EQ(text.find("\xE3\x80\x91"), text.size() - 3) << text;
        for (uint32_t b = 0; b < marker_count; ++b)
            if (a != b)
                EXPECT_NE(std::string(marker_table[b].marker, marker_table[b].length).rfind(text, 0), 0u)
                    << text << " starts row " << b;
    }
}

// The Sunshine marker shares its first fifteen bytes with the KKS one: each
// is found as itself only, and the newer one not at all without its rows.
TEST(marker, kks_and_kks_sun_apart) {
    const struct {
        std::string text;
        const marker_row* with_default;
        const marker_row* with_all;
    } cases[] = {
        {marker_text(row_kks), &marker_table[row_kks], &marker_table[row_kks]},
        {marker_text(row_kks_sun), nullptr, &marker_table[row_kks_sun]},
        {marker_text(row_kks_sun) + "xyz", nullptr, &marker_table[row_kks_sun]},
        {"\xE3\x80\x90KoiKatuCharaSu\xE3\x80\x91", nullptr, nullptr},
        {"\xE3\x80\x90KoiKatuCharaSunS\xE3\x80\x91", nullptr, nullptr},
        {marker_text(row_kks_sun).substr(0, 20), nullptr, nullptr},  // cut before its last byte
        {marker_text(row_sv), nullptr, &marker_table[row_sv]},
        {marker_text(row_rg), &marker_table[row_rg], &marker_table[row_rg]},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(match_text(c.text, marker_set::standard), c.with_default) << c.text;
        EXPECT_EQ(match_text(c.text, marker_set::newer_games), c.with_all) << c.text;
    }
}
