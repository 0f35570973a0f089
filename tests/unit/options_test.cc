// The command line: options and scenes in any order; the wait for
// Enter; CARDLIFT_WORKERS.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace {

// GNU conventions: options anywhere, short ones combined, values attached or
// apart, "--" ends the options; scenes keep their order and argv index.
// Usage errors win over help, which wins over version.
TEST(options, command_line) {
    using act = command_action;
    const struct {
        std::vector<std::string> args;
        act action;
        const char* scenes;  // the scenes' argv indices, in order
        const char* flags;   // n newer games, l list, j json, N names, q quiet, r recursive
        const char* output;  // null: none
        const char* error;   // the start of the usage error
    } cases[] = {
        {{}, act::extract, "", "", nullptr, ""},
        {{"a.png", "b.png"}, act::extract, "1 2", "", nullptr, ""},
        {{"a.png", "-o", "out"}, act::extract, "1", "", "out", ""},
        {{"a.png", "--newer-games", "b.png"}, act::extract, "1 3", "n", nullptr, ""},
        {{"-lq", "a.png"}, act::extract, "2", "lq", nullptr, ""},
        {{"-qlo", "d", "a.png"}, act::extract, "3", "lq", "d", ""},
        {{"-lr", "dir", "--rec"}, act::extract, "2", "lr", nullptr, ""},
        {{"dir", "--recursive"}, act::extract, "1", "r", nullptr, ""},
        {{"-oDIR", "a.png"}, act::extract, "2", "", "DIR", ""},
        {{"--output=DIR", "a.png"}, act::extract, "2", "", "DIR", ""},
        {{"--output", "DIR", "a.png"}, act::extract, "3", "", "DIR", ""},
        {{"--out=D", "--js", "--nam", "--new", "a"}, act::extract, "5", "njN", "D", ""},
        {{"--output=-x", "a"}, act::extract, "2", "", "-x", ""},
        {{"a", "--", "-v", "--help"}, act::extract, "1 3 4", "", nullptr, ""},
        {{"--", "--", "a"}, act::extract, "2 3", "", nullptr, ""},
        {{"-"}, act::extract, "1", "", nullptr, ""},
        {{"--help"}, act::help, "", "", nullptr, ""},
        {{"a.png", "-h"}, act::help, "1", "", nullptr, ""},
        {{"--version", "--help"}, act::help, "", "", nullptr, ""},
        {{"--version"}, act::version, "", "", nullptr, ""},
        {{"--verbose", "a.png"}, act::usage_error, "2", "", nullptr, "unknown option --verbose ("},
        {{"a.png", "-v"}, act::usage_error, "1", "", nullptr, "unknown option -v ("},
        {{"-lx"}, act::usage_error, "", "l", nullptr, "unknown option -x ("},
        {{"--Newer-Games"}, act::usage_error, "", "", nullptr, "unknown option --Newer-Games ("},
        {{"--n", "a"}, act::usage_error, "2", "", nullptr, "ambiguous option --n ("},
        {{"--list=1", "a"}, act::usage_error, "2", "", nullptr, "--list takes no value ("},
        {{"--newer-games=1"}, act::usage_error, "", "", nullptr, "--newer-games takes no value ("},
        {{"--recursive=yes", "dir"}, act::usage_error, "2", "", nullptr, "--recursive takes no value ("},
        {{"a", "-o"}, act::usage_error, "1", "", nullptr, "-o needs a folder after it ("},
        {{"a", "--output"}, act::usage_error, "1", "", nullptr, "--output needs a folder after it ("},
        {{"-o", ""}, act::usage_error, "", "", "", "-o needs a folder name, not an empty one ("},
        {{"--output="}, act::usage_error, "", "", "", "--output needs a folder name, not an empty one ("},
        {{"--help", "--bogus"}, act::usage_error, "", "", nullptr, "unknown option --bogus ("},
        {{"-x", "-y"}, act::usage_error, "", "", nullptr, "unknown option -x ("},
        {{"--\x1b[31m"}, act::usage_error, "", "", nullptr, "unknown option --\\x1B[31m ("},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        std::vector<char*> argv{const_cast<char*>("cardlift")};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);  // as main() has it: some getopt_long look there
        const std::vector<char*> before = argv;
        const command_line line = read_command_line(int(argv.size()) - 1, argv.data());
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(line.action, c.action);
        std::string scenes;
        for (int i = 0; i < line.scene_count; ++i) {
            const scene_argument& scene = line.scenes[size_t(i)];
            scenes += (scenes.empty() ? "" : " ") + std::to_string(scene.index);
            EXPECT_EQ(scene.path, before[size_t(scene.index)]) << "a scene's text is its argument's";
        }
        EXPECT_EQ(scenes, c.scenes);
        EXPECT_EQ(argv, before) << "the arguments were reordered";
        std::string flags;
        if (line.markers == marker_set::newer_games) flags += 'n';
        if (line.list) flags += 'l';
        if (line.json) flags += 'j';
        if (line.names) flags += 'N';
        if (line.quiet) flags += 'q';
        if (line.recursive) flags += 'r';
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(std::string(line.output ? line.output : "(none)"), c.output ? c.output : "(none)");
        if (line.output) EXPECT_EQ(before[size_t(line.output_index)] + line.output_offset, line.output);
        if (c.action == act::usage_error) {
            EXPECT_EQ(std::string(line.error).rfind(c.error, 0), 0u) << line.error;
            EXPECT_NE(std::string(line.error).find("cardlift --help"), std::string::npos) << line.error;
        }
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
