// The command line: the options at the front, the scenes after; the wait for
// Enter; CARDLIFT_WORKERS.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/options.h"

namespace {

// Leading options are read until the first other argument, which and all after
// it name scenes; "--" ends them without being a scene; help beats version.
TEST(options, command_line) {
    using act = command_action;
    const struct {
        std::vector<std::string> args;
        act action;
        bool newer;
        int first_scene;  // index into the whole argv, program name included
    } cases[] = {
        {{}, act::extract, false, 1},
        {{"a.png"}, act::extract, false, 1},
        {{"a.png", "b.png"}, act::extract, false, 1},
        {{"--newer-games"}, act::extract, true, 2},
        {{"--newer-games", "a.png", "--newer-games"}, act::extract, true, 2},
        {{"--newer-games", "--newer-games", "a.png"}, act::extract, true, 3},
        {{"a.png", "--newer-games"}, act::extract, false, 1},
        {{"--Newer-Games"}, act::extract, false, 1},
        {{"--newer-games=1", "a.png"}, act::extract, false, 1},
        {{"-x.png"}, act::extract, false, 1},
        {{"--"}, act::extract, false, 2},
        {{"--", "--help"}, act::extract, false, 2},
        {{"--newer-games", "--", "--", "a.png"}, act::extract, true, 3},
        {{"--help"}, act::help, false, 2},
        {{"-h", "a.png"}, act::help, false, 2},
        {{"a.png", "-h"}, act::extract, false, 1},
        {{"--version"}, act::version, false, 2},
        {{"--version", "--help"}, act::help, false, 3},
        {{"--help", "--version"}, act::help, false, 3},
        {{"-H"}, act::extract, false, 1},
    };
    for (const auto& c : cases) {
        std::vector<char*> argv{const_cast<char*>("cardlift")};
        for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
        const command_line line = read_command_line(int(argv.size()), argv.data());
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(line.action, c.action);
        EXPECT_EQ(line.markers == marker_set::newer_games, c.newer);
        EXPECT_EQ(line.first_scene, c.first_scene);
    }
}

// Only a console of its own, read and written directly: Explorer's window.
TEST(options, wait_for_enter) {
    const struct {
        console_facts facts;
        bool wait;
    } cases[] = {
        {{1, true, true, false}, true},    // started from Explorer
        {{2, true, true, false}, false},   // from a console window's shell
        {{3, true, true, false}, false},   // from a script in one
        {{1, false, true, false}, false},  // input redirected
        {{1, true, false, false}, false},  // output redirected
        {{0, true, true, false}, false},   // no such console (POSIX), or none attached
        {{1, true, true, true}, false},    // wine in a Unix terminal
    };
    for (const auto& c : cases)
        EXPECT_EQ(should_wait_for_enter(c.facts), c.wait)
            << c.facts.processes << " processes, input " << c.facts.input_is_console << ", output "
            << c.facts.output_is_console << ", wine " << c.facts.under_wine;
}

// CARDLIFT_WORKERS: plain decimal digits, capped; anything else the fallback.
TEST(options, workers_from_the_variable) {
    const struct {
        const char* value;
        uint32_t most, count;
    } cases[] = {
        {nullptr, 64, 99}, {"", 64, 99}, {"0", 64, 0}, {"007", 64, 7}, {"64", 64, 64}, {"65", 64, 64},
        {"5", 4, 4}, {"4", 4, 4}, {"4294967297", 64, 64},  // 2^32 + 1 would wrap to 1
        {"00000000000000000000000000000000000000000003", 64, 3}, {"+3", 64, 99}, {"-1", 64, 99},
        {" 3", 64, 99}, {"3 ", 64, 99}, {"3x", 64, 99}, {"0x10", 64, 99}, {"3\n", 64, 99},
    };
    for (const auto& c : cases)
        EXPECT_EQ(worker_count_from(c.value, c.most, 99), c.count) << (c.value ? c.value : "(unset)");
}

}  // namespace
