// The process: the command line, each scene in turn, and on Windows the wait
// that keeps a window of its own open.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extract/card_pool.h"
#include "extract/crc32.h"
#include "extract/driver.h"
#include "extract/options.h"
#include "extract/report.h"
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
        "Usage: cardlift [options] [--] <scene.png or folder>...\r\n"
        "\r\n"
        "Extract character cards from Illusion/IllGames scene files: every character\r\n"
        "placed in each scene is written to the current directory as a card of its\r\n"
        "own (a 252 x 352 picture followed by the character's data). A folder named\r\n"
        "as a scene stands for every .png file directly in it, in name order.\r\n"
        "\r\n"
        "Options:\r\n"
        "  --newer-games  also extract the characters of Koikatsu Sunshine, Honey Come\r\n"
        "                 Party, Summer Vacation Scramble, Aicomi and Amanatsu Location\r\n"
        "  --list, -l     write nothing: print one line per character, tab-separated:\r\n"
        "                 card name, game prefix, sex, character name, duplicate of\r\n"
        "  --json         print one JSON document of the whole run instead of the\r\n"
        "                 progress and the summary (with --list: of a listing)\r\n"
        "  --names        put each character's name in its card's file name:\r\n"
        "                 KK_F_1A2B3C4D_001 Name.png\r\n"
        "  --output DIR, -o DIR\r\n"
        "                 write the cards into DIR (made if missing)\r\n"
        "  --quiet, -q    no progress text, only the summary and the messages\r\n"
        "  --help, -h     show this text\r\n"
        "  --version      show the version\r\n"
        "  --             end of the options: every argument after it names a scene\r\n"
        "\r\n"
        "Examples:\r\n"
        "  cardlift scene.png\r\n"
        "  cardlift --names -o cards scenes\r\n"
        "  cardlift --list scene.png\r\n"
        "  cardlift --json -q scene.png > run.json\r\n"
        "\r\n"
        "Exit status: 0 when every scene was scanned and every card written; 1 when no\r\n"
        "scene was named, a file was not a scene, or a card or the standard output\r\n"
        "could not be written.\r\n");
}

// What a run does, for every scene alike.
struct run {
    scan_settings settings;
    const command_line* line;
    bool named;             // several scenes: each is named in the output
    card_files* files;
    listing list;
    json_report* json;
    card_observer observer;
    bool output_failed;
};

// Says why `path` (argv[`argument`]) gives no scan: it names no file and looks
// like a mistyped option, it cannot be read, or it is read but is no scene.
void refuse(run& r, const char* path, const load_failure& why, bool loaded) {
    const shown_name name = show_name(path);
    if (!loaded && why.missing && path[0] == '-') {
        std::fprintf(stderr, "unknown option %s (cardlift --help lists the options)\r\n", name.text);
        if (r.json) json_report_refused(r.json, path, "unknown option", "");
    } else if (!loaded) {
        std::fprintf(stderr, "cannot read %s: %s\r\n", name.text, why.reason);
        if (r.json) json_report_refused(r.json, path, "cannot read", why.reason);
    } else {
        if (r.named) std::fprintf(stderr, "%s: not a scene file\r\n", name.text);
        else std::fprintf(stderr, "not a scene file\r\n");
        if (r.json) json_report_refused(r.json, path, "not a scene", "");
    }
}

// Extracts the cards of the scene at `path`, argv[`argument`] (or utf8_path),
// as a run naming it alone would; with several scenes its output opens with a
// line naming it, and its messages name it. Returns false when the scene
// failed (not a scene, a card that could not be written, a scene cut short).
bool extract_scene(run& r, const char* path, int argument) {
    loaded_file file{nullptr, 0};
    load_failure why{};
    uint32_t iend = 0;
    const bool loaded = load_whole_file(path, argument, &file, &why);
    if (!loaded || !find_scene_data(file.data, file.size, &iend)) {
        refuse(r, path, why, loaded);
        std::free(file.data);
        return false;
    }
    const shown_name name = show_name(path);
    const bool summary = !r.line->json && !r.line->list;
    if (r.named && !r.line->json) std::printf("%s:%s", name.text, r.line->list ? text_line_end : "\r\n");
    if (r.json) json_report_scene(r.json, path);
    // Cards from different scene paths get different names.
    const uint32_t path_tag = crc32(reinterpret_cast<const uint8_t*>(path), std::strlen(path));
    const card_sink sink{write_card_file, r.files, card_name_taken};
    scan_totals totals;
    scan_scene(file.data, file.size, iend, path_tag, r.settings, sink, stdout, &totals);
    std::free(file.data);
    if (totals.written != 0 && !r.line->list) flush_folder(card_files_folder(r.files));
    if (summary) print_summary(stdout, totals);
    if (r.json) json_report_scanned(r.json, totals);
    r.output_failed |= totals.output_failed;
    std::fflush(stdout);  // the summary before the notices that follow it
    return !print_notices(stderr, totals, r.named ? name.text : nullptr, name.text);
}

// A folder named as a scene: each .png file directly in it, in name order.
bool extract_folder(run& r, const char* folder) {
    char reason[reason_capacity];
    path_list* paths = list_png_files(folder, reason);
    const shown_name name = show_name(folder);
    if (!paths) {
        std::fprintf(stderr, "cannot read %s: %s\r\n", name.text, reason);
        if (r.json) json_report_refused(r.json, folder, "cannot read", reason);
        return false;
    }
    bool ok = path_count(paths) > 0;
    if (!ok) {
        std::fprintf(stderr, "%s: no .png file in this folder\r\n", name.text);
        if (r.json) json_report_refused(r.json, folder, "no scene", "no .png file in this folder");
    }
    for (int i = 0; i < path_count(paths); ++i) ok &= extract_scene(r, path_at(paths, i), utf8_path);
    free_path_list(paths);
    return ok;
}

int extract_scenes(const command_line& line, int argc, char** argv, bool output_open) {
    if (line.missing_value) {
        std::fprintf(stderr, "%s needs a folder after it (cardlift --help lists the options)\r\n", line.missing_value);
        return 1;
    }
    if (line.first_scene >= argc) {
        print_usage();
        return 1;
    }
    // The folder for the cards first: a run that could not store any card
    // scans nothing.
    char reason[reason_capacity];
    if (line.output && !line.list && !make_folders(line.output, reason)) {
        std::fprintf(stderr, "cannot make the folder %s: %s\r\n", show_name(line.output).text, reason);
        return 1;
    }
    run r{};
    r.line = &line;
    r.settings = scan_settings{
        line.markers, worker_count_from(std::getenv(workers_variable), max_workers, default_worker_count()),
        stdout_is_terminal()};
    r.settings.list_only = line.list;
    r.settings.name_cards = line.names;
    r.settings.quiet = line.quiet || line.list || line.json;
    bool folders = false;
    for (int i = line.first_scene; i < argc; ++i) folders |= is_folder(argv[i]);
    r.named = argc - line.first_scene > 1 || folders;
    r.files = card_files_new(line.output);
    r.list = listing{stdout};
    if (line.json) {
        r.json = json_report_new();
        r.observer = card_observer{json_report_seen, r.json};
    } else if (line.list) {
        r.observer = card_observer{listing_seen, &r.list};
    }
    if (r.observer.seen) r.settings.observer = &r.observer;
    r.output_failed = !output_open;
    bool failed = !r.files;
    for (int i = line.first_scene; i < argc && r.files; ++i)
        failed |= is_folder(argv[i]) ? !extract_folder(r, argv[i]) : !extract_scene(r, argv[i], i);
    if (r.json) json_report_print(r.json, stdout);
    json_report_free(r.json);
    card_files_free(r.files);
    if (r.output_failed || std::fflush(stdout) != 0 || std::ferror(stdout)) {
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
