// The bulk progress writer against the obvious loop: one "\r%2u%%" per
// position with position * 100 / size.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "extract/progress.h"

TEST(progress, same_bytes_as_one_formatted_print_per_position) {
    using runs = std::vector<std::pair<uint64_t, uint64_t>>;  // positions [from, to), in order
    std::vector<std::pair<uint32_t, runs>> cases = {
        {1001, {{0, 9}, {10, 11}, {523, 600}, {1000, 1001}}},  // runs broken where records were skipped
        {12345, {{100, 4000}, {4000, 4001}, {4500, 12345}}},
        {2000003, {{0, 2000003}}},  // a percentage lasts longer than the writer's block of 16384 texts
        {UINT32_MAX, {{0, 50}, {UINT32_MAX - 3000, UINT32_MAX}}},  // position * 100 needs 64 bits
        {UINT32_MAX - 7, {{42949600, 42949700}}},
    };
    for (uint32_t size = 1; size <= 200; ++size) {  // the whole range, and a scan that starts late
        cases.push_back({size, {{0, size}}});
        cases.push_back({size, {{size / 3, size}}});
    }
    for (const auto& [size, positions] : cases) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::string want;
        char unit[16];
        for (auto [from, to] : positions) {
            for (uint64_t p = from; p < to; ++p) {
                std::snprintf(unit, sizeof unit, "\r%2u%%", unsigned(p * 100 / size));
                want += unit;
            }
        }
        // Written through a real file in binary mode, as the tool writes its output.
        FILE* f = std::fopen("progress_test.out", "w+b");
        ASSERT_NE(f, nullptr);
        auto s = std::make_unique<progress_stream>();
        progress_start(s.get(), f, size);
        for (auto [from, to] : positions) progress_positions(s.get(), from, to);
        std::string got(size_t(std::ftell(f)), '\0');
        std::rewind(f);
        got.resize(std::fread(got.data(), 1, got.size(), f));
        std::fclose(f);
        std::remove("progress_test.out");
        ASSERT_TRUE(got == want) << got.size() << " bytes, not " << want.size();
    }
}
