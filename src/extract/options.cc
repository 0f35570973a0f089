#include "extract/options.h"

#include <cstring>

namespace {

bool is(const char* arg, const char* option) { return std::strcmp(arg, option) == 0; }

}  // namespace

command_line read_command_line(int argc, char** argv) {
    command_line line{command_action::extract, marker_set::standard, argc, false, false, false, false,
                      nullptr, nullptr};
    int i = 1;
    for (; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, newer_games_option) == 0) {
            line.markers = marker_set::newer_games;
        } else if (is(arg, list_option) || is(arg, short_list_option)) {
            line.list = true;
        } else if (is(arg, json_option)) {
            line.json = true;
        } else if (is(arg, names_option)) {
            line.names = true;
        } else if (is(arg, quiet_option) || is(arg, short_quiet_option)) {
            line.quiet = true;
        } else if (is(arg, output_option) || is(arg, short_output_option)) {
            if (i + 1 >= argc) {
                line.missing_value = arg;
                break;
            }
            line.output = argv[++i];
        } else if (std::strcmp(arg, help_option) == 0 || std::strcmp(arg, short_help_option) == 0) {
            line.action = command_action::help;
        } else if (std::strcmp(arg, version_option) == 0) {
            if (line.action != command_action::help) line.action = command_action::version;
        } else {
            if (std::strcmp(arg, end_of_options) == 0) ++i;
            break;
        }
    }
    line.first_scene = i < argc ? i : argc;
    return line;
}

bool should_wait_for_enter(const console_facts& facts) {
    return facts.processes == 1 && facts.input_is_console && facts.output_is_console && !facts.under_wine;
}

uint32_t worker_count_from(const char* value, uint32_t most, uint32_t fallback) {
    if (!value || !*value) return fallback;
    uint32_t count = 0;
    for (const char* c = value; *c; ++c) {
        if (*c < '0' || *c > '9') return fallback;
        count = count * 10 + uint32_t(*c - '0');
        if (count > most) count = most;  // stays small, so no digit string overflows
    }
    return count;
}
