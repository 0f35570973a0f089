// The tool's options, read off the front of the command line, and the
// environment variable that sets how many threads draw the cards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/heap.h"
#include "cli/shown_name.h"
#include "platform/file.h"
#include "run/driver.h"
#include "scene/marker_table.h"

// The options' long names, as the messages and the help text spell them
// (--newer-games, which a scan's notice names too, in driver.h).
constexpr char help_option[] = "--help";
constexpr char version_option[] = "--version";
constexpr char list_option[] = "--list";
constexpr char json_option[] = "--json";
constexpr char names_option[] = "--names";
constexpr char output_option[] = "--output";
constexpr char quiet_option[] = "--quiet";
constexpr char mods_option[] = "--mods";
constexpr char recursive_option[] = "--recursive";

enum class command_action : uint8_t {
    extract,  // the scenes named, or the usage when there are none
    help,
    version,
    usage_error,  // `error` says what is wrong; nothing is read or written
};

// Room for the one line that says what is wrong with the command line.
constexpr size_t usage_error_capacity = shown_name_capacity + 256;

// An argument that names a scene, with its index in main()'s argv (where the
// platform may find the argument's native form).
struct scene_argument {
    const char* path;
    int index;
};

struct command_line {
    command_action action;
    marker_set markers;  // the later games' rows too when --newer-games was given
    bool list;           // --list: write nothing, print a line per record
    bool json;           // --json: one JSON document instead of progress and summary
    bool names;          // --names: the character's name in each card's file name
    bool quiet;          // --quiet: no progress text
    bool mods;           // --mods: write nothing, print what the characters need
    bool recursive;      // --recursive: a folder's subfolders too, at any depth
    const char* output;  // --output DIR: the folder for the cards; null: the current one
    int output_index;    // the argv index that holds it, and where in that argument it starts
    size_t output_offset;
    // The scenes, in command-line order; null (with a count of 0) when there
    // was no memory for the list (out_of_memory).
    std::unique_ptr<scene_argument[], malloc_deleter> scenes;
    int scene_count;
    bool out_of_memory;
    char error[usage_error_capacity];    // usage_error: the message, without its line end
};

// Reads the command line as GNU programs do (getopt_long): options anywhere
// among the scenes, short ones combined (-lq), a value attached or apart
// (-oDIR, -o DIR, --output=DIR, --output DIR), long ones by any unambiguous
// start, and "--" ending the options. An unknown option, an ambiguous one, a
// missing or unwanted value, or an empty folder name makes a usage error,
// which wins over help, which wins over version. A scene whose name starts
// with "-" is named after "--" or as ./-name.
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
