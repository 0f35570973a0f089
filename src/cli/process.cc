// The process: the command line, each scene in turn, and on Windows the wait
// that keeps a window of its own open.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/heap.h"
#include "cli/options.h"
#include "cli/process.h"
#include "cli/requirements.h"
#include "cli/shown_name.h"
#include "platform/file.h"
#include "run/card_pool.h"
#include "run/driver.h"
#include "run/report.h"
#include "scene/crc32.h"
#include "scene/scene.h"

#ifndef CARDLIFT_VERSION
#define CARDLIFT_VERSION "unknown"
#endif

namespace {

void print_usage() {
    text_printf(stdout, "Extract character cards from Illusion/IllGames scene files\r\n\r\n");
    text_printf(stdout, "cardlift <scene.png>\r\n");
}

void print_help() {
    text_printf(stdout,
        "Usage: cardlift [options] [--] <scene.png or folder>...\r\n"
        "\r\n"
        "Extract character cards from Illusion/IllGames scene files: every character\r\n"
        "placed in each scene is written as a card of its own (a 252 x 352 picture\r\n"
        "followed by the character's data), into the current directory or the folder\r\n"
        "of --output. A folder named as a scene stands for every .png file directly\r\n"
        "in it, in name order (with --recursive, in its subfolders too).\r\n"
        "\r\n"
        "Options (anywhere among the scenes; -lq combines, -oDIR and --output=DIR work):\r\n"
        "  --newer-games  also extract the characters of Koikatsu Sunshine, Honey Come\r\n"
        "                 Party, Summer Vacation Scramble, Aicomi and Amanatsu Location\r\n"
        "  --list, -l     write nothing: print one line per character, seven tab-\r\n"
        "                 separated fields: scene, card name, game prefix, sex, name,\r\n"
        "                 -, \"duplicate of CARD\" or \"later game: needs --newer-games\",\r\n"
        "                 and how many mods the character needs;\r\n"
        "                 control characters and backslashes escaped as \\t \\n \\r \\\\ \\xHH\r\n"
        "  --mods         write nothing: print what the characters need, one line per\r\n"
        "                 mod (mod, GUID, name, author, website, how many characters,\r\n"
        "                 their cards), then per plugin of the characters and of the\r\n"
        "                 scenes themselves; not with --list or --json\r\n"
        "  --json         print one JSON document of the whole run instead of the\r\n"
        "                 progress and the summary (with --list: of a listing); its\r\n"
        "                 schema is docs/cardlift.schema.json\r\n"
        "  --names        put each character's name in its card's file name:\r\n"
        "                 KK_F_1A2B3C4D_001 Name.png\r\n"
        "  --output DIR, -o DIR\r\n"
        "                 write the cards into DIR (made if missing)\r\n"
        "  --quiet, -q    no progress text, only the summary and the messages\r\n"
        "  --recursive, -r\r\n"
        "                 a folder stands for its .png files at any depth, each\r\n"
        "                 subfolder's in its place among the names\r\n"
        "  --help, -h     show this text\r\n"
        "  --version      show the version\r\n"
        "  --             end of the options: every argument after it names a scene\r\n"
        "                 (or name such a scene as ./-name.png)\r\n"
        "\r\n"
        "Examples:\r\n"
        "  cardlift scene.png\r\n"
        "  cardlift --names -o cards scenes\r\n"
        "  cardlift --list scene.png\r\n"
        "  cardlift --mods scenes > needed.txt\r\n"
        "  cardlift --json scene.png > run.json\r\n"
        "\r\n"
        "Messages on standard error: \"cannot read NAME: REASON\", \"not a scene file\",\r\n"
        "\"cannot write NAME: REASON\", \"... the file may be cut short.\" and the notices\r\n"
        "after the summary.\r\n"
        "\r\n"
        "Exit status: 0 when every scene was scanned and every card written; 1 when no\r\n"
        "scene was named, a path could not be read or was no scene, a folder held no\r\n"
        "scene, the output folder could not be made, a scene was cut short, or a card\r\n"
        "or the standard output could not be written; 2 for a usage error (an unknown\r\n"
        "option, a missing value), before anything is read or written.\r\n");
}

// How far a run reads ahead: scenes, and bytes of them held at once.
constexpr int max_scenes_ahead = 8;
constexpr uint64_t max_bytes_ahead = uint64_t(64) << 20;

// One scene's file and scan, kept from its reading to its summary.
struct scene_work {
    const char* path;
    int argument;
    loaded_file file;
    uint32_t iend;
    scan_totals totals;  // the scan fills them in place
    scene_scan* scan;    // open, held while it is ahead of its turn
};

// What a run does, for every scene alike.
struct run {
    scan_settings settings;
    const command_line* line;
    bool named;             // several scenes: each is named in the output
    card_files* files;
    card_sink sink;
    listing list;
    json_report json;
    requirements needs;
    card_observer observer;
    bool output_failed;
    bool wrote_cards;       // some scene stored a card: the folder is flushed at the end
    // One set of drawing threads for the whole run, started once.
    card_pool pool;
    // The scene at its turn (works[current]) and the scenes after it read and
    // scanned ahead (the next `ahead` in the ring), whose pictures are drawn
    // while the scenes before them settle.
    scene_work works[max_scenes_ahead + 1];
    int current;
    int ahead;
};

// A scene after the one at its turn, which the run may read ahead.
struct next_scene {
    const char* path;
    int argument;
};
constexpr int ring_size = max_scenes_ahead + 1;

// Says why `path` gives no scan: it cannot be read, or it is read but is no
// scene (`fault` says which check it failed).
void refuse(run& r, const char* path, const load_failure& why, bool loaded, scene_fault fault) {
    const shown_name name = show_name(path);
    if (!loaded) {
        text_printf(stderr, "cannot read %s: %s\r\n", name.text, why.reason);
        if (r.line->json) json_report_refused(&r.json, path, "cannot read", why.reason);
    } else {
        if (r.named) text_printf(stderr, "%s: not a scene file\r\n", name.text);
        else text_printf(stderr, "not a scene file\r\n");
        if (r.line->json) json_report_refused(&r.json, path, "not a scene", scene_fault_text(fault));
    }
}

// Frees what a slot holds of a scene read ahead that never had its turn.
void forget_scene(scene_work& w) {
    scan_discard(w.scan);
    std::free(w.file.data);
    w = scene_work{};
}

uint32_t path_tag_of(const char* path) {
    // Cards from different scene paths get different names.
    return crc32(reinterpret_cast<const uint8_t*>(path), std::strlen(path));
}

scene_work& ahead_slot(run& r, int k) { return r.works[(r.current + 1 + k) % ring_size]; }

void forget_ahead(run& r) {
    for (int k = 0; k < r.ahead; ++k) forget_scene(ahead_slot(r, k));
    r.ahead = 0;
}

// Reads the scenes after the one at its turn (`next`, `count` of them) ahead,
// and scans each as far as it can go without showing anything, so that their
// pictures are drawn while the scenes before them settle; at most
// max_scenes_ahead of them and max_bytes_ahead of their bytes. A scene that
// cannot be read, or is no scene, ends the reading ahead: it is read again at
// its turn, which says what went wrong in its place.
void read_ahead(run& r, const next_scene* next, int count) {
    if (!r.settings.pool) return;
    uint64_t bytes = 0;
    for (int k = 0; k < r.ahead; ++k) {
        const scene_work& w = ahead_slot(r, k);
        if (k >= count || w.path != next[k].path || w.argument != next[k].argument) {
            forget_ahead(r);  // not the scenes that come: start again
            bytes = 0;
            break;
        }
        bytes += w.file.size;
    }
    while (r.ahead < count && r.ahead < max_scenes_ahead && bytes < max_bytes_ahead) {
        scene_work& w = ahead_slot(r, r.ahead);
        const next_scene& n = next[r.ahead];
        w = scene_work{n.path, n.argument, {nullptr, 0}, 0, {}, nullptr};
        load_failure why{};
        if (!load_whole_file(n.path, n.argument, &w.file, &why)) return;
        if (find_scene_data(w.file.data, w.file.size, &w.iend)) {
            w.scan = scan_open(w.file.data, w.file.size, w.iend, path_tag_of(n.path), r.settings, r.sink, stdout,
                               &w.totals, true);
            scan_advance(w.scan);
        }
        if (!w.scan) {
            forget_scene(w);
            return;
        }
        bytes += w.file.size;
        ++r.ahead;
    }
}

// The scene `path`, argv[`argument`], at its turn: the first one read ahead,
// or read now. Null, said in words, when it gives no scan.
scene_work* take_scene(run& r, const char* path, int argument) {
    if (r.ahead > 0 && ahead_slot(r, 0).path == path && ahead_slot(r, 0).argument == argument) {
        r.current = (r.current + 1) % ring_size;
        --r.ahead;
        return &r.works[r.current];
    }
    forget_ahead(r);
    scene_work& w = r.works[r.current];
    w = scene_work{path, argument, {nullptr, 0}, 0, {}, nullptr};
    load_failure why{};
    scene_fault fault = scene_fault::none;
    const bool loaded = load_whole_file(path, argument, &w.file, &why);
    if (!loaded || !find_scene_data(w.file.data, w.file.size, &w.iend, &fault)) {
        refuse(r, path, why, loaded, fault);
        std::free(w.file.data);
        w = scene_work{};
        return nullptr;
    }
    return &w;
}

// Extracts the cards of the scene at `path`, argv[`argument`] (or utf8_path),
// as a run naming it alone would; with several scenes its output opens with a
// line naming it, and its messages name it. While its last cards are drawn,
// the scenes after it (`next`, `count` of them) are read ahead. Returns false
// when the scene failed (not a scene, a card that could not be written, a
// scene cut short).
bool extract_scene(run& r, const char* path, int argument, const next_scene* next, int count) {
    scene_work* w = take_scene(r, path, argument);
    if (!w) return false;
    const shown_name name = show_name(path);
    const bool summary = !r.line->json && !r.line->list && !r.line->mods;
    if (r.named && summary) text_printf(stdout, "%s:\r\n", name.text);
    if (r.line->json) json_report_scene(&r.json, path);
    r.list.scene = path;
    // The scene's own plugins, for the outputs that tell them.
    record_mods scene_own;
    if (r.line->json || r.line->mods) read_scene_mods(w->file.data, w->file.size, w->iend, &scene_own);
    if (r.line->mods) requirements_scene(&r.needs, path, scene_own);
    if (!w->scan)
        w->scan = scan_open(w->file.data, w->file.size, w->iend, path_tag_of(path), r.settings, r.sink, stdout,
                            &w->totals, false);
    // Everything up to the last card, settled in order; then, while the last
    // pictures are drawn, the next scene is read ahead.
    scan_release(w->scan);
    scan_advance(w->scan);
    read_ahead(r, next, count);
    scan_finish(w->scan);
    std::free(w->file.data);
    const scan_totals totals = w->totals;
    *w = scene_work{};
    r.wrote_cards |= totals.written != 0 && !r.settings.list_only;
    if (summary && !totals.out_of_memory) print_summary(stdout, totals);
    if (r.line->json) json_report_scanned(&r.json, totals, scene_own);
    r.output_failed |= totals.output_failed;
    std::fflush(stdout);  // the summary before the notices that follow it
    return !print_notices(stderr, totals, r.named ? name.text : nullptr, name.text);
}

// The last part of a path the folder listing made.
const char* file_name_of(const char* path) {
    const char* name = path;
    for (const char* c = path; *c; ++c)
        if (*c == '/' || *c == path_separator[0]) name = c + 1;
    return name;
}

// A folder named as a scene: each .png file directly in it, in name order;
// with --recursive, each subfolder's in its place among them.
bool extract_folder(run& r, const char* folder) {
    char reason[reason_capacity];
    path_list* paths = list_png_files(folder, r.line->recursive, r.line->output, reason);
    const shown_name name = show_name(folder);
    if (!paths) {
        text_printf(stderr, "cannot read %s: %s\r\n", name.text, reason);
        if (r.line->json) json_report_refused(&r.json, folder, "cannot read", reason);
        return false;
    }
    bool ok = path_count(paths) > 0;
    if (!ok) {
        text_printf(stderr, "%s: no .png file in this folder\r\n", name.text);
        if (r.line->json) json_report_refused(&r.json, folder, "no scene", "no .png file in this folder");
    }
    // The cards of this run, and of earlier runs into this folder, are no
    // scenes to read again: a run repeated would write each card anew under
    // a new tag, and then those, growing every time.
    uint32_t passed_over = 0;
    auto passed = [&](int i) {
        return path_in_output(paths, i) && looks_like_card_name(file_name_of(path_at(paths, i)));
    };
    for (int i = 0; i < path_count(paths); ++i) {
        if (const char* problem = path_problem(paths, i)) {
            // A subfolder that cannot be read, said in its place.
            text_printf(stderr, "cannot read %s: %s\r\n", show_name(path_at(paths, i)).text, problem);
            if (r.line->json) json_report_refused(&r.json, path_at(paths, i), "cannot read", problem);
            ok = false;
            continue;
        }
        if (passed(i)) {
            ++passed_over;
            continue;
        }
        next_scene next[max_scenes_ahead];
        int count = 0;
        for (int k = i + 1; k < path_count(paths) && count < max_scenes_ahead; ++k)
            if (!passed(k) && !path_problem(paths, k)) next[count++] = next_scene{path_at(paths, k), utf8_path};
        ok &= extract_scene(r, path_at(paths, i), utf8_path, next, count);
    }
    free_path_list(paths);
    if (passed_over)
        text_printf(stderr,
                     "%s: passed over %u card%s written into this folder (named like KK_F_1A2B3C4D_001.png); "
                     "name %s to read %s as a scene.\r\n",
                     name.text, unsigned(passed_over), passed_over > 1 ? "s" : "", passed_over > 1 ? "one" : "it",
                     "it");
    return ok;
}

// Ends the run: the JSON document's close, and the standard output's check.
int finish_run(run& r, bool failed, const char* error) {
    if (r.line->json) json_report_finish(&r.json, error, failed ? 1 : 0);
    if (r.output_failed || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        // The cards are all there; what is missing is what the run told.
        text_printf(stderr, "Standard output could not be written: the progress or the summary is missing.\r\n");
        failed = true;
    }
    return failed ? 1 : 0;
}

json_run_head run_head(const command_line& line) {
    json_run_head head{CARDLIFT_VERSION, line.markers == marker_set::newer_games, line.list, line.names, line.quiet,
                       line.output};
    head.recursive = line.recursive;
    return head;
}

int extract_scenes(const command_line& line, bool output_open) {
    if (line.out_of_memory) {
        text_printf(stderr, "not enough memory to start the run\r\n");
        if (line.json) json_report_no_memory(stdout, run_head(line));
        return 1;
    }
    run r{};
    r.line = &line;
    r.output_failed = !output_open;
    if (line.json) json_report_start(&r.json, stdout, run_head(line));
    if (line.scene_count == 0) {
        // A script that asked for JSON gets JSON, however it called.
        if (!line.json) print_usage();
        return line.json ? finish_run(r, true, "no scene named (cardlift --help lists the options)") : 1;
    }
    // The folder for the cards first: a run that could not store any card
    // scans nothing.
    char reason[reason_capacity];
    if (line.output && !line.list && !line.mods && !make_folders(line.output, reason)) {
        char error[usage_error_capacity];
        std::snprintf(error, sizeof error, "cannot make the folder %s: %s", show_name(line.output).text, reason);
        text_printf(stderr, "%s\r\n", error);
        return finish_run(r, true, error);
    }
    r.settings = scan_settings{
        line.markers, worker_count_from(std::getenv(workers_variable), max_workers, default_worker_count()),
        stdout_is_terminal()};
    r.settings.list_only = line.list || line.mods;
    r.settings.name_cards = line.names;
    r.settings.quiet = line.quiet || line.list || line.json || line.mods;
    r.settings.read_mods = line.list || line.json || line.mods;
    bool folders = false;
    for (int i = 0; i < line.scene_count; ++i) folders |= is_folder(line.scenes[i].path);
    r.named = line.scene_count > 1 || folders;
    r.files = card_files_new(line.output);
    if (!r.files) {
        text_printf(stderr, "not enough memory to start the run\r\n");
        return finish_run(r, true, "not enough memory to start the run");
    }
    r.list = listing{stdout, ""};
    if (line.json) r.observer = card_observer{json_report_seen, &r.json};
    else if (line.list) r.observer = card_observer{listing_seen, &r.list};
    else if (line.mods) r.observer = card_observer{requirements_seen, &r.needs};
    if (r.observer.seen) r.settings.observer = &r.observer;
    r.sink = card_sink{write_card_file, r.files, card_name_taken, card_name_listed};
    // Drawing threads for the whole run, when there is drawing to share.
    // A system that starts none of its threads has the pictures drawn on this
    // thread, on a canvas of the run's.
    std::unique_ptr<card_canvas, malloc_deleter> canvas;
    if (!r.settings.list_only && r.settings.workers > 0) {
        canvas.reset(static_cast<card_canvas*>(std::malloc(sizeof(card_canvas))));
        if (canvas) {
            card_pool_start(&r.pool, r.settings.workers, canvas.get());
            r.settings.pool = &r.pool;
        }
    }
    bool failed = false;
    for (int i = 0; i < line.scene_count; ++i) {
        const scene_argument& scene = line.scenes[i];
        if (is_folder(scene.path)) {
            failed |= !extract_folder(r, scene.path);
            continue;
        }
        // A folder after it is listed at its own turn: no reading ahead into it.
        next_scene next[max_scenes_ahead];
        int count = 0;
        for (int k = i + 1; k < line.scene_count && count < max_scenes_ahead && !is_folder(line.scenes[k].path); ++k)
            next[count++] = next_scene{line.scenes[k].path, line.scenes[k].index};
        failed |= !extract_scene(r, scene.path, scene.index, next, count);
    }
    forget_ahead(r);
    if (r.settings.pool) card_pool_stop(&r.pool);
    // Every card reported written is on disk, its name too, when the run
    // ends: each card was flushed before its rename, the folder's names once here.
    if (r.wrote_cards) flush_folder(card_files_folder(r.files));
    card_files_free(r.files);
    if (line.mods) requirements_print(&r.needs, stdout);
    return finish_run(r, failed, nullptr);
}

}  // namespace

int cardlift_main(int argc, char** argv) {
    const bool output_open = prepare_console();
    command_line line = read_command_line(argc, argv);
    // The folder as the system spells it, where argv's text cannot (Windows).
    if (line.output)
        if (const char* native = argument_as_utf8(line.output_index, line.output_offset)) line.output = native;
    int status = 0;
    if (line.action == command_action::usage_error) {
        // Nothing read, nothing written: the line says what to mend.
        text_printf(stderr, "%s\r\n", line.error);
        status = 2;
    } else if (line.action == command_action::help) print_help();
    else if (line.action == command_action::version) text_printf(stdout, "cardlift %s\r\n", CARDLIFT_VERSION);
    else status = extract_scenes(line, output_open);

    if (should_wait_for_enter(read_console_facts())) {
        text_printf(stdout, "\r\nPress Enter to close this window.\r\n");
        std::fflush(stdout);
        for (int c = std::getchar(); c != EOF && c != '\n';) c = std::getchar();
    }
    return status;
}
