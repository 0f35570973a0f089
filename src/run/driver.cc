#include "run/driver.h"

#include <cstddef>

#include "base/heap.h"
#include "platform/file.h"
#include "run/card_order.h"
#include "run/progress.h"
#include "scene/crc32.h"
#include "scene/marker_table.h"
#include "scene/record.h"

namespace {

// Working storage of one scan, all of fixed size.
struct scan_state {
    card_canvas canvas;    // for cards drawn on the scanning thread
    progress_stream progress;
    extent_cache extents;  // entry-table maxima, allocated when needed
    card_order order;
    uint32_t later_crcs[max_cards];  // of the later games' records passed over
};

// Counts a record of a later game that this run does not extract, once per
// checksum; as a run extracts at most max_cards, no more are told apart.
void note_later_game(scan_state* s, const uint8_t* scene, const record_info& rec, scan_totals* totals) {
    const uint32_t crc = crc32(scene + rec.first, rec.end - rec.first);
    for (uint32_t i = 0; i < totals->later_games; ++i)
        if (s->later_crcs[i] == crc) return;
    if (totals->later_games < max_cards) s->later_crcs[totals->later_games++] = crc;
}

// The next marker from `pos`: of the rows `search`, except that inside a later
// game's record already counted (before `later_until`) only the rows of the
// run, `own`, are looked for: later games' markers there are part of that
// record, and a search that stopped at each of them would cost as much as
// the scene holds of them. A marker that starts inside and ends outside is
// still found (the search reaches as far as the longest marker).
uint64_t next_match(const uint8_t* scene, uint32_t size, uint64_t pos, marker_set search, marker_set own,
                    uint64_t later_until, const marker_row** row) {
    if (pos < later_until && search != own) {
        const uint64_t reach = later_until + longest_marker_length - 1;
        const uint64_t at = find_next_marker(scene, reach < size ? reach : size, pos, own, row);
        if (at < later_until) return at;
        pos = later_until;
    }
    return find_next_marker(scene, size, pos, search, row);
}

}  // namespace

struct scene_scan {
    scan_state state;
    const uint8_t* scene;
    uint32_t size;
    const scan_settings* settings;
    scan_totals* totals;
    FILE* out;
    // Without the later games' rows the search still looks for them, at no
    // cost the scan can measure: a match of one is no match of this run, so
    // the scan goes on as if it were not there, but it is counted.
    bool watch_later;
    marker_set search;
    uint64_t pos;
    uint64_t later_until;  // end of the last later game's record counted
    bool ended;            // the loop reached the end of the scene or the last card
};

scene_scan* scan_open(const uint8_t* scene, uint32_t size, uint32_t start, uint32_t path_tag,
                      const scan_settings& settings, const card_sink& sink, FILE* out, scan_totals* totals,
                      bool held) {
    *totals = scan_totals{};
    // About 460 KiB: on the heap, where running short is a failure to tell.
    // On the stack, an address-space limit left it no room to grow into, and
    // the first touch of it ended the process with a signal.
    scene_scan* scan = heap_new<scene_scan>();
    if (!scan) {
        totals->out_of_memory = true;
        return nullptr;
    }
    scan_state& s = scan->state;
    scan->scene = scene;
    scan->size = size;
    scan->settings = &settings;
    scan->totals = totals;
    scan->out = out;
    scan->watch_later = settings.markers == marker_set::standard;
    scan->search = scan->watch_later ? marker_set::newer_games : settings.markers;
    scan->pos = start;
    scan->later_until = 0;
    scan->ended = false;
    progress_start(&s.progress, out, size, console_write_max, settings.terminal);
    s.progress.silent = settings.quiet;
    extent_cache_start(&s.extents);
    card_order_start(&s.order, scene, size, &sink, &settings, path_tag, &s.canvas, &s.progress, totals, held);
    return scan;
}

void scan_advance(scene_scan* scan) {
    if (!scan) return;
    scan_state& s = scan->state;
    const uint8_t* scene = scan->scene;
    const uint32_t size = scan->size;
    scan_totals* totals = scan->totals;
    uint64_t& pos = scan->pos;
    while (!scan->ended && card_order_can_take(&s.order)) {
        if (pos >= size || s.order.full) {
            scan->ended = true;
            break;
        }
        const marker_row* row = nullptr;
        const uint64_t at = next_match(scene, size, pos, scan->search, scan->settings->markers, scan->later_until, &row);
        if (at >= size) {
            card_order_progress(&s.order, pos, size);
            scan->ended = true;
            break;
        }
        // Every position up to and including the match shows its percentage.
        card_order_progress(&s.order, pos, at + 1);
        const bool passed_over = scan->watch_later && row - marker_table >= ptrdiff_t(default_marker_rows);
        // A later game's marker inside a later game's record already counted
        // belongs to that record (a run with those markers jumps over it):
        // measuring it again would make records nested in records cost the
        // square of their number.
        if (passed_over && at < scan->later_until) {
            pos = at + 1;
            continue;
        }
        record_info rec;
        const bool parsed = parse_record(scene, size, uint32_t(at), *row, &rec, &s.extents);
        if (parsed && passed_over) {
            note_later_game(&s, scene, rec, totals);
            card_order_pass_over(&s.order, rec, *row);
            scan->later_until = rec.end;
        }
        // Fields that reach past the end: most likely a download cut short,
        // whichever game's record it was.
        if (!parsed && !totals->cut) {
            totals->cut = true;
            totals->cut_percent = uint32_t(at * 100 / size);
        }
        if (!parsed || passed_over) {
            pos = at + 1;  // a record that would leave the buffer is no match
            continue;
        }
        card_order_add(&s.order, rec, *row);
        pos = rec.end;  // the next position examined is the record's end itself
    }
}

void scan_release(scene_scan* scan) {
    if (scan) card_order_release(&scan->state.order);
}

void scan_discard(scene_scan* scan) {
    if (!scan) return;
    card_order_discard(&scan->state.order);
    extent_cache_release(&scan->state.extents);
    heap_delete(scan);
}

void scan_finish(scene_scan* scan) {
    if (!scan) return;
    scan_state& s = scan->state;
    card_order_release(&s.order);
    scan_advance(scan);
    card_order_finish(&s.order);
    extent_cache_release(&s.extents);
    scan_totals* totals = scan->totals;
    if (s.order.full && s.order.stop_pos < scan->size) {
        const marker_row* row = nullptr;
        totals->stopped_early =
            find_next_marker(scan->scene, scan->size, s.order.stop_pos, scan->settings->markers, &row) < scan->size;
        totals->stop_percent = uint32_t(s.order.stop_pos * 100 / scan->size);
    }
    totals->output_failed = s.progress.failed || std::fflush(scan->out) != 0;
    heap_delete(scan);
}

void scan_scene(const uint8_t* scene, uint32_t size, uint32_t start, uint32_t path_tag,
                const scan_settings& settings, const card_sink& sink, FILE* out, scan_totals* totals) {
    scene_scan* scan = scan_open(scene, size, start, path_tag, settings, sink, out, totals, false);
    scan_advance(scan);
    scan_finish(scan);
}

void print_summary(FILE* out, const scan_totals& totals) {
    const uint32_t unwritten = totals.unwritten + totals.left;
    if (totals.written == 0 && unwritten != 0) {
        // Characters were found: "No characters found!" would be untrue.
        text_printf(out, "\rNo card written: %u character%s could not be written.\r\n", unsigned(unwritten),
                     unwritten > 1 ? "s" : "");
        return;
    }
    if (totals.written == 0) {
        text_printf(out, "\rNo characters found!\r\n");
        return;
    }
    text_printf(out, "\rExtracted %u character%s", unsigned(totals.written),
                 totals.written > 1 ? "s" : "");
    // Only true repeats: a card that failed is told apart, never counted here.
    const uint32_t skipped = totals.duplicates;
    if (skipped != 0)
        text_printf(out, " (%u duplication%s skipped)", unsigned(skipped), skipped > 1 ? "s" : "");
    text_printf(out, ".\r\n");
}

bool print_notices(FILE* err, const scan_totals& totals, const char* scene, const char* path) {
    const char* name = scene ? scene : "";
    const char* colon = scene ? ": " : "";
    if (totals.out_of_memory) {
        text_printf(err, "%s: not enough memory to scan the scene; nothing of it was written.\r\n", path);
        return true;
    }
    if (totals.stopped_early)
        text_printf(err, "%s%sStopped after %u characters at %u%%: the rest of the scene was not searched.\r\n",
                     name, colon, unsigned(max_cards), unsigned(totals.stop_percent));
    if (totals.later_games != 0)
        text_printf(err, "%s%sLeft out %u character%s of later games: run with %s to extract %s.\r\n", name,
                     colon, unsigned(totals.later_games), totals.later_games > 1 ? "s" : "", newer_games_option,
                     totals.later_games > 1 ? "them" : "it");
    // With no character after the failed card, there is nothing more to count.
    if (totals.folder_stopped && totals.left == 0)
        text_printf(err, "%s%sStopped writing at %u%%: the folder takes no cards (%s).\r\n", name, colon,
                     unsigned(totals.folder_stop_percent), totals.folder_reason);
    else if (totals.folder_stopped)
        text_printf(err, "%s%sStopped writing at %u%%: the folder takes no cards (%s); %u more character%s not written.\r\n",
                     name, colon, unsigned(totals.folder_stop_percent), totals.folder_reason, unsigned(totals.left),
                     totals.left == 1 ? "" : "s");
    const uint32_t unwritten = totals.unwritten + totals.left;
    if (unwritten != 0)
        text_printf(err, "%s%s%u card%s could not be written.\r\n", name, colon, unsigned(unwritten),
                     unwritten > 1 ? "s" : "");
    if (totals.cut)
        text_printf(err, "%s: the scene ends inside a character record at %u%%: the file may be cut short.\r\n",
                     path, unsigned(totals.cut_percent));
    return unwritten != 0 || totals.cut;
}
