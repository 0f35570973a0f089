#include "cli/options.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/shown_name.h"

namespace {

// Options without a short form get values no character has, so that an error
// on one of them is told apart from an unknown short option.
enum : int {
    opt_newer_games = 256,
    opt_json,
    opt_names,
    opt_version,
    opt_mods,
    opt_scene = 1,  // an argument that is no option ("-" leading the short list)
};

const option long_options[] = {
    {newer_games_option + 2, no_argument, nullptr, opt_newer_games},
    {list_option + 2, no_argument, nullptr, 'l'},
    {json_option + 2, no_argument, nullptr, opt_json},
    {names_option + 2, no_argument, nullptr, opt_names},
    {output_option + 2, required_argument, nullptr, 'o'},
    {quiet_option + 2, no_argument, nullptr, 'q'},
    {help_option + 2, no_argument, nullptr, 'h'},
    {version_option + 2, no_argument, nullptr, opt_version},
    {mods_option + 2, no_argument, nullptr, opt_mods},
    {recursive_option + 2, no_argument, nullptr, 'r'},
    {nullptr, 0, nullptr, 0},
};
// "-": scenes come back in place, in order, as opt_scene (nothing is
// reordered, so each keeps its argv index); ":": a missing value is told
// apart from an unknown option.
constexpr char short_options[] = "-:lqrho:";

constexpr char see_help[] = " (cardlift --help lists the options)";

void usage_error(command_line* line, const char* what, const char* text, const char* after = "") {
    if (line->action == command_action::usage_error) return;  // the first one is told
    line->action = command_action::usage_error;
    std::snprintf(line->error, sizeof line->error, "%s%s%s%s", what, show_name(text).text, after, see_help);
}

const option* long_option_of(int value) {
    for (const option* o = long_options; o->name; ++o)
        if (o->val == value) return o;
    return nullptr;
}

// `--NAME takes no value`, for the long option `o`.
void takes_no_value(command_line* line, const option* o) {
    char name[64];
    std::snprintf(name, sizeof name, "--%s", o->name);
    usage_error(line, "", name, " takes no value");
}

// The output option as `arg` spelt it: --output or -o.
const char* output_spelling(const char* arg) { return std::strncmp(arg, "--", 2) == 0 ? output_option : "-o"; }

// An option getopt_long refused. With no optopt it is a long option it could
// not match (unknown, or the start of several: `arg`, the argument it read
// last); with a long option's value, that option given a value it takes none
// of; else an unknown short option.
void refuse_option(command_line* line, const char* arg) {
    const option* known = optopt != 0 ? long_option_of(optopt) : nullptr;
    if (known && (optopt >= 256 || std::strncmp(arg, "--", 2) == 0)) {
        takes_no_value(line, known);
        return;
    }
    if (optopt != 0) {
        const char name[] = {'-', char(optopt), 0};
        usage_error(line, "unknown option ", name);
        return;
    }
    // Which long options the text starts; more than one: ambiguous.
    const char* text = arg + 2;
    const size_t len = std::strcspn(text, "=");
    int starts = 0;
    for (const option* o = long_options; o->name; ++o) starts += std::strncmp(o->name, text, len) == 0;
    if (starts > 1 && len > 0) usage_error(line, "ambiguous option ", arg);
    else usage_error(line, "unknown option ", arg);
}

}  // namespace

command_line read_command_line(int argc, char** argv) {
    command_line line{};
    line.action = command_action::extract;
    line.markers = marker_set::standard;
    bool help = false, version = false;
    // Every argument could be a scene.
    line.scenes.reset(static_cast<scene_argument*>(std::malloc(sizeof(scene_argument) * size_t(argc > 0 ? argc : 1))));
    line.out_of_memory = !line.scenes;
    opterr = 0;  // the refusals are told in our words
    optind = 0;  // from the start, whatever an earlier call left
    for (int c; (c = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1;) {
        switch (c) {
        case opt_scene:
            if (line.scenes) line.scenes[line.scene_count++] = {optarg, optind - 1};
            break;
        case opt_newer_games: line.markers = marker_set::newer_games; break;
        case 'l': line.list = true; break;
        case opt_json: line.json = true; break;
        case opt_names: line.names = true; break;
        case 'q': line.quiet = true; break;
        case 'r': line.recursive = true; break;
        case 'h': help = true; break;
        case opt_version: version = true; break;
        case opt_mods: line.mods = true; break;
        case 'o':
            // An empty name would put the cards at "/NAME".
            if (!*optarg) usage_error(&line, "", output_spelling(argv[optind - 1]), " needs a folder name, not an empty one");
            line.output = optarg;
            // Past its value either way: "-o DIR" ends with DIR, "-oDIR" and
            // "--output=DIR" hold it after their ASCII start.
            line.output_index = optind - 1;
            line.output_offset = size_t(optarg - argv[line.output_index]);
            break;
        case ':':
            // A value missing, or (mingw-w64's getopt_long) one given to an
            // option that takes none.
            if (const option* o = long_option_of(optopt); o && o->has_arg == no_argument) takes_no_value(&line, o);
            else usage_error(&line, "", output_spelling(argv[optind - 1]), " needs a folder after it");
            break;
        default: refuse_option(&line, argv[optind - 1]); break;
        }
    }
    // After "--": every argument names a scene.
    for (int i = optind; i < argc && line.scenes; ++i) line.scenes[line.scene_count++] = {argv[i], i};
    // Each prints its own document on standard output: one at a time.
    if (line.mods && (line.list || line.json)) usage_error(&line, "", mods_option, " cannot be combined with --list or --json");
    if (line.action != command_action::usage_error) {
        if (help) line.action = command_action::help;
        else if (version) line.action = command_action::version;
    }
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
