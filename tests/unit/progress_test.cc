// The bulk progress writer against the obvious loop: one "\r%2u%%" per
// position with position * 100 / size; every write it makes is watched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "run/progress.h"
#include "platform/file.h"

namespace {

// The size of every write; from write number `fail_from` (0: the first) on,
// each falls short, taking half its bytes.
std::vector<size_t> sizes;
size_t fail_from = SIZE_MAX;

size_t watched_write(FILE* out, const char* data, size_t len) {
    sizes.push_back(len);
    return std::fwrite(data, 1, sizes.size() > fail_from ? len / 2 : len, out);
}

// What arrives in a real file in binary mode, as the tool writes its output.
// A file per test: CTest runs this file's tests side by side in one directory.
using runs = std::vector<std::pair<uint64_t, uint64_t>>;  // positions [from, to), in order
std::string write_progress(uint32_t size, const runs& positions, uint32_t max_write, size_t fail = SIZE_MAX,
                           bool once = false) {
    sizes.clear();
    fail_from = fail;
    const std::string name = std::string("progress_") + testing::UnitTest::GetInstance()->current_test_info()->name();
    FILE* f = std::fopen(name.c_str(), "w+b");
    if (!f) return "cannot open " + name;
    auto s = std::make_unique<progress_stream>();
    progress_start(s.get(), f, size, max_write, once);
    s->write = watched_write;
    for (auto [from, to] : positions) progress_positions(s.get(), from, to);
    std::string got(size_t(std::ftell(f)), '\0');
    std::rewind(f);
    got.resize(std::fread(got.data(), 1, got.size(), f));
    std::fclose(f);
    std::remove(name.c_str());
    return got;
}

TEST(progress, same_bytes_as_one_formatted_print_per_position) {
    std::vector<std::pair<uint32_t, runs>> cases = {
        {1001, {{0, 9}, {10, 11}, {523, 600}, {1000, 1001}}},  // runs broken where records were skipped
        {12345, {{100, 4000}, {4000, 4001}, {4500, 12345}}},
        {2000003, {{0, 2000003}}},  // a percentage lasts longer than the writer's block of 2048 texts
        {UINT32_MAX, {{0, 50}, {UINT32_MAX - 3000, UINT32_MAX}}},  // position * 100 needs 64 bits
        {UINT32_MAX - 7, {{42949600, 42949700}}},
    };
    for (uint32_t size = 1; size <= 200; ++size)  // the whole range, and a scan that starts late
        cases.insert(cases.end(), {{size, {{0, size}}}, {size, {{size / 3, size}}}});
    for (const auto& [size, positions] : cases) {
        std::string want;
        char unit[16];
        for (auto [from, to] : positions)
            for (uint64_t p = from; p < to; ++p)
                want.append(unit, std::snprintf(unit, sizeof unit, "\r%2u%%", unsigned(p * 100 / size)));
        // On a terminal: the same texts with each repeat left out, so the
        // screen shows the same sequence; one write and one flush a text.
        std::string once;
        for (size_t at = 0; at < want.size(); at += progress_unit_bytes)
            if (at == 0 || want.compare(at, progress_unit_bytes, want, at - progress_unit_bytes, progress_unit_bytes))
                once.append(want, at, progress_unit_bytes);
        for (const uint32_t max_write : {8192u, console_write_max}) {
            ASSERT_TRUE(write_progress(size, positions, max_write) == want) << "size " << size;
            EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), max_write);
            ASSERT_TRUE(write_progress(size, positions, max_write, SIZE_MAX, true) == once) << "size " << size << " once";
            EXPECT_EQ(*std::max_element(sizes.begin(), sizes.end()), size_t(progress_unit_bytes));
        }
    }
}

// Runs cut into writes of at most `max_write` bytes, whole texts, at least one; a
// short write ends the stream. Windows 7 consoles fail writes over about 32 KiB.
TEST(progress, write_sizes) {
    const bool windows = std::filesystem::path::preferred_separator == '\\';
    EXPECT_LE(console_write_max, windows ? 8192u : uint32_t(progress_unit_bytes * progress_block_units));
    const struct {
        runs positions;
        uint32_t max_write;
        std::vector<size_t> sizes;
        size_t fail_from = SIZE_MAX;
    } cases[] = {
        {{{0, 2047}}, 8192, {8188}}, {{{0, 2048}}, 8192, {8192}}, {{{0, 2049}}, 8192, {8192, 4}},
        {{{0, 2049}}, 8191, {8188, 8}},  // a part of a text does not count
        {{{99000, 102000}}, 8192, {4000, 8000}},  // split where the percentage changes (every 100000)
        {{{0, 3}}, 0, {4, 4, 4}},  // at least one text
        {{{0, 16385}}, 65540, {65536, 4}},  // no more than the block holds
        {{{0, 5000}, {6000, 9000}}, 8192, {8192}, 0}, {{{0, 5000}, {6000, 9000}}, 8192, {8192, 8192}, 1},
        {{{0, 5000}, {6000, 9000}}, 8192, {8192, 8192, 3616}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.positions) + " at most " + std::to_string(c.max_write));
        const std::string got = write_progress(10000000, c.positions, c.max_write, c.fail_from);
        EXPECT_EQ(sizes, c.sizes);
        size_t taken = 0;  // what the watched writes passed on
        for (size_t i = 0; i < c.sizes.size(); ++i) taken += c.sizes[i] >> (i >= c.fail_from);
        EXPECT_EQ(got.size(), taken);
    }
}

}  // namespace
