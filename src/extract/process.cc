// The process: the command line, each scene in turn, and on Windows the wait
// that keeps a window of its own open.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extract/card_pool.h"
#include "extract/crc32.h"
#include "extract/driver.h"
#include "extract/options.h"
#include "extract/scene.h"
#include "extract/shown_name.h"
#include "platform/file.h"

#ifndef CARDLIFT_VERSION
#define CARDLIFT_VERSION "unknown"
#endif

namespace {

void print_usage() {
    std::printf("Extract character cards from Illusion/IllGames scene files\r\n\r\n");
    std::printf("cardlift <scene.png>\r\n");
}

void print_help() {
    std::printf(
        "Usage: cardlift [--newer-games] [--] <scene.png>...\r\n"
        "\r\n"
        "Extract character cards from Illusion/IllGames scene files: every character\r\n"
        "placed in each scene is written to the current directory as a card of its\r\n"
        "own (a 252 x 352 picture followed by the character's data).\r\n"
        "\r\n"
        "Options:\r\n"
        "  --newer-games  also extract the characters of Koikatsu Sunshine, Honey Come\r\n"
        "                 Party, Summer Vacation Scramble, Aicomi and Amanatsu Location\r\n"
        "  --help, -h     show this text\r\n"
        "  --version      show the version\r\n"
        "  --             end of the options: every argument after it names a scene\r\n"
        "\r\n"
        "Exit status: 0 when every scene was scanned and every card written; 1 when no\r\n"
        "scene was named, a file was not a scene, or a card or the standard output\r\n"
        "could not be written.\r\n");
}

// Says why `path` (argv[`argument`]) gives no scan: it names no file and looks
// like a mistyped option, it cannot be read, or it is read but is no scene.
void refuse(const char* path, const load_failure& why, bool loaded, bool named) {
    const shown_name name = show_name(path);
    if (!loaded && why.missing && path[0] == '-')
        std::fprintf(stderr, "unknown option %s (cardlift --help lists the options)\r\n", name.text);
    else if (!loaded)
        std::fprintf(stderr, "cannot read %s: %s\r\n", name.text, why.reason);
    else if (named)
        std::fprintf(stderr, "%s: not a scene file\r\n", name.text);
    else
        std::fprintf(stderr, "not a scene file\r\n");
}

// Extracts the cards of the scene at `path`, argv[`argument`], as a run naming
// it alone would; with `named`, its output opens with a line naming it, and
// its messages name it. Returns false when the scene failed (not a scene, a
// card that could not be written, a scene cut short); `output_failed` learns
// whether its progress could not be written.
bool extract_scene(const char* path, int argument, const scan_settings& settings, bool named,
                   stored_names* stored, bool* output_failed) {
    loaded_file file{nullptr, 0};
    load_failure why{};
    uint32_t iend = 0;
    const bool loaded = load_whole_file(path, argument, &file, &why);
    if (!loaded || !find_scene_data(file.data, file.size, &iend)) {
        refuse(path, why, loaded, named);
        std::free(file.data);
        return false;
    }
    const shown_name name = show_name(path);
    if (named) std::printf("%s:\r\n", name.text);
    // Cards from different scene paths get different names.
    const uint32_t path_tag = crc32(reinterpret_cast<const uint8_t*>(path), std::strlen(path));
    const card_sink sink{write_card_file, stored, stored_name_taken};
    scan_totals totals;
    scan_scene(file.data, file.size, iend, path_tag, settings, sink, stdout, &totals);
    std::free(file.data);
    if (totals.written != 0) flush_folder();
    print_summary(stdout, totals);
    *output_failed |= totals.output_failed;
    std::fflush(stdout);  // the summary before the notices that follow it
    return !print_notices(stderr, totals, named ? name.text : nullptr, name.text);
}

int extract_scenes(const command_line& line, int argc, char** argv, bool output_open) {
    if (line.first_scene >= argc) {
        print_usage();
        return 1;
    }
    const scan_settings settings{
        line.markers, worker_count_from(std::getenv(workers_variable), max_workers, default_worker_count()),
        stdout_is_terminal()};
    const bool named = argc - line.first_scene > 1;
    bool failed = false, output_failed = !output_open;
    // Only several scenes can meet a name twice (paths whose tags are equal).
    stored_names* stored = named ? stored_names_new() : nullptr;
    for (int i = line.first_scene; i < argc; ++i)
        failed |= !extract_scene(argv[i], i, settings, named, stored, &output_failed);
    stored_names_free(stored);
    if (output_failed || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        // The cards are all there; what is missing is what the run told.
        std::fprintf(stderr, "Standard output could not be written: the progress or the summary is missing.\r\n");
        failed = true;
    }
    return failed ? 1 : 0;
}

}  // namespace

int cardlift_main(int argc, char** argv) {
    const bool output_open = prepare_console();
    const command_line line = read_command_line(argc, argv);
    int status = 0;
    if (line.action == command_action::help) print_help();
    else if (line.action == command_action::version) std::printf("cardlift %s\r\n", CARDLIFT_VERSION);
    else status = extract_scenes(line, argc, argv, output_open);

    if (should_wait_for_enter(read_console_facts())) {
        std::printf("\r\nPress Enter to close this window.\r\n");
        std::fflush(stdout);
        for (int c = std::getchar(); c != EOF && c != '\n';) c = std::getchar();
    }
    return status;
}
