// The tool's options, read off the front of the command line, and the
// environment variable that sets how many threads draw the cards.
#pragma once

#include <cstdint>

#include "extract/marker_table.h"
#include "platform/file.h"

// The text that, standing first, takes on the marker rows of later games.
constexpr char newer_games_option[] = "--newer-games";

constexpr char help_option[] = "--help";
constexpr char short_help_option[] = "-h";
constexpr char version_option[] = "--version";
constexpr char end_of_options[] = "--";
// What a run does beyond the cards themselves (see the help text).
constexpr char list_option[] = "--list";
constexpr char short_list_option[] = "-l";
constexpr char json_option[] = "--json";
constexpr char names_option[] = "--names";
constexpr char output_option[] = "--output";
constexpr char short_output_option[] = "-o";
constexpr char quiet_option[] = "--quiet";
constexpr char short_quiet_option[] = "-q";

enum class command_action : uint8_t {
    extract,  // the scenes named, or the usage when there are none
    help,
    version,
};

struct command_line {
    command_action action;
    marker_set markers;  // the later games' rows too when --newer-games was given
    int first_scene;     // argv index of the first scene path; argc when none
    bool list;           // --list: write nothing, print a line per record
    bool json;           // --json: one JSON document instead of progress and summary
    bool names;          // --names: the character's name in each card's file name
    bool quiet;          // --quiet: no progress text
    const char* output;  // --output DIR: the folder for the cards; null: the current one
    const char* missing_value;  // an option given last without the value it needs, else null
};

// Reads the options off the front of the command line: --newer-games,
// --list or -l, --json, --names, --output or -o (with the folder after it),
// --quiet or -q, --help or -h, --version, and -- which ends them. The first argument that is
// none of these, an option-like one too (a scene may be named -x.png), and
// everything after it, name the scenes. Help and version win over the rest.
command_line read_command_line(int argc, char** argv);


// Whether the program should wait for Enter before it ends, so that the window
// a console program gets when started from Explorer (a double click, or files
// dropped on it) stays open for the summary: only when the console is its
// own, no other process attached to it (a console window's shell, a script's
// interpreter), both standard input and standard output are that console (not
// redirected, as by a script or a test), and it is not wine's terminal.
bool should_wait_for_enter(const console_facts& facts);

// Names the number of threads that draw card pictures: 0 draws them on the
// scanning thread, 1 to max_workers start that many. Meant for measuring and
// testing; the output is the same for every number.
constexpr char workers_variable[] = "CARDLIFT_WORKERS";

// The number `value` (the variable's text, null when unset) asks for: plain
// decimal digits, numbers above `most` counting as `most`. Anything else,
// empty text included, gives `fallback`.
uint32_t worker_count_from(const char* value, uint32_t most, uint32_t fallback);
