// The bulk progress writer against the obvious loop: one "\r%2u%%" per
// position with position * 100 / size.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "extract/progress.h"

namespace {

std::string reference(uint64_t size, const std::vector<std::pair<uint64_t, uint64_t>>& runs) {
    std::string out;
    char unit[16];
    for (auto [from, to] : runs) {
        for (uint64_t p = from; p < to; ++p) {
            std::snprintf(unit, sizeof unit, "\r%2u%%", unsigned(p * 100 / size));
            out += unit;
        }
    }
    return out;
}

// Written through a real file in binary mode, as the tool writes its output.
std::string bulk(uint32_t size, const std::vector<std::pair<uint64_t, uint64_t>>& runs) {
    const char* path = "progress_test.out";
    FILE* f = std::fopen(path, "w+b");
    if (!f) return "cannot create " + std::string(path);
    auto s = std::make_unique<progress_stream>();
    progress_start(s.get(), f, size);
    for (auto [from, to] : runs) progress_positions(s.get(), from, to);
    std::string out(size_t(std::ftell(f)), '\0');
    std::rewind(f);
    const size_t got = std::fread(out.data(), 1, out.size(), f);
    std::fclose(f);
    std::remove(path);
    out.resize(got);
    return out;
}

}  // namespace

TEST(progress, same_bytes_as_one_formatted_print_per_position) {
    struct test_case {
        uint32_t size;
        std::vector<std::pair<uint64_t, uint64_t>> runs;  // positions [from, to), in order
    };
    std::vector<test_case> cases;
    // Every small size, the whole range and a scan that starts late.
    for (uint32_t size = 1; size <= 200; ++size) {
        cases.push_back({size, {{0, size}}});
        cases.push_back({size, {{size / 3, size}}});
    }
    // Runs broken where records were skipped, across percentage changes.
    cases.push_back({1001, {{0, 9}, {10, 11}, {523, 600}, {1000, 1001}}});
    cases.push_back({12345, {{100, 4000}, {4000, 4001}, {4500, 12345}}});
    cases.push_back({100000, {{0, 100000}}});
    // A percentage that lasts longer than the writer's block of 16384 texts.
    cases.push_back({2000003, {{0, 2000003}}});
    // The largest scene: products of position and 100 need more than 32 bits.
    cases.push_back({UINT32_MAX, {{0, 50}, {UINT32_MAX - 3000, UINT32_MAX}}});
    cases.push_back({UINT32_MAX - 7, {{42949600, 42949700}}});

    for (const test_case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        const std::string want = reference(c.size, c.runs);
        const std::string got = bulk(c.size, c.runs);
        ASSERT_EQ(got.size(), want.size());
        ASSERT_TRUE(got == want);
    }
}
