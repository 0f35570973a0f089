// The whole run of the tool: command line, loading, checks, scan and summary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/file.h"
#include "scene/marker_table.h"
#include "scene/record.h"
#include "scene/record_mods.h"

struct card_pool;

// The option that takes on the later games' markers, as the notice of their
// characters left out names it.
constexpr char newer_games_option[] = "--newer-games";

// Receives each finished card: its file name, its PNG bytes (none for a card
// another share draws, see scan_settings) and the record bytes that follow them. Returns true only when the whole card was stored;
// otherwise says why in `why`, which the scan tells the user.
struct card_sink {
    bool (*write)(void* context, const char* name, const uint8_t* png, size_t png_len,
                  const uint8_t* record, size_t record_len, store_failure* why);
    void* context;
    // Whether a card of this name was already stored in this run (null: never).
    // Such a name is passed over for the next number: two scenes whose paths
    // share a tag must not replace each other's cards.
    bool (*taken)(void* context, const char* name) = nullptr;
    // A listing's card of this name would be written (null: not noted), so
    // that a listing numbers its cards as the run would.
    void (*listed)(void* context, const char* name) = nullptr;
};

struct scan_totals {
    uint32_t written;     // cards stored (at most 256)
    uint32_t matches;     // records measured, duplicates and failed writes included
    uint32_t duplicates;  // records that repeat a card written before them
    uint32_t unwritten;   // cards that could not be drawn or stored
    // Once the folder took no card (no space, read-only): the characters met
    // after that, neither drawn nor tried, where it happened and why.
    bool folder_stopped;
    uint32_t left;
    uint32_t folder_stop_percent;
    char folder_reason[reason_capacity];
    // Records of later games' markers that a run without them passed over
    // (distinct by checksum; counted only when those markers are not looked for).
    uint32_t later_games;
    // The scan stopped after the last card a run may write with markers left
    // in the rest of the scene, at this percentage of it.
    bool stopped_early;
    uint32_t stop_percent;
    bool output_failed;  // some of the progress text could not be written
    bool out_of_memory;  // the scan's working storage could not be had: nothing was scanned
    // A marker of the run whose record reaches past the end of the scene (a
    // file cut short), the first one at this percentage.
    bool cut;
    uint32_t cut_percent;
};

constexpr uint32_t max_cards = 256;

// What became of one character record, told in scan order as it is settled.
enum class card_result : uint8_t {
    written,    // its card was stored
    listed,     // a listing: it would be written
    duplicate,  // it repeats a card written (or listed) before it
    failed,     // its card could not be drawn or stored
    left,       // not tried: the folder had taken no card before it
    later_game, // a later game's record, left out of a run without --newer-games
};
struct card_event {
    const record_info* rec;
    const marker_row* row;
    uint32_t crc;          // of the record's bytes
    card_result result;
    const char* name;      // its card's file name; a duplicate's, the card it repeats; else empty
    uint32_t card_number;  // the number in its card's name; 0 without one
    const char* reason;    // failed: why; else empty
    const char* display_name;  // the character's name (see record_facts.h), maybe empty
    const char* nickname;
    int face_width;        // of the face picture when it decoded, else 0
    int face_height;
    const record_mods* mods;  // its plugins and mods; null unless the settings ask for them
};
struct card_observer {
    void (*seen)(void* context, const card_event& event);
    void* context;
};

// How a scan runs.
struct scan_settings {
    marker_set markers;  // the rows looked for
    uint32_t workers;    // threads drawing card pictures; 0: the calling thread
    bool terminal;       // the progress goes to a terminal: each percentage once
    FILE* err = stderr;  // where a card that could not be stored is told
    bool list_only = false;   // draw and store nothing: each new record counts as written
    bool name_cards = false;  // the character's name in each card's file name
    bool quiet = false;       // no progress text
    bool read_mods = false;   // tell the observer each record's plugins and mods
    const card_observer* observer = nullptr;  // told of every record, in scan order
    // Drawing threads shared by the scans of a run (card_pool.h); null: each
    // scan starts its own, with `workers` threads.
    struct card_pool* pool = nullptr;
    // Scans of the same scene may split the drawing: this one draws only the
    // characters found at a place (0, 1, 2, ... in scan order, repeats
    // counted) that is `share_index` modulo `share_count`, and hands the
    // others to the sink without a picture (png null, png_len 0), named,
    // numbered and told as if drawn. Everything else is the same in every
    // share, so the shares' cards together are one scan's.
    uint32_t share_count = 1;
    uint32_t share_index = 0;
};

// Scans `scene` from `start` (the IEND chunk) to its end for the markers of
// the settings, hands each new card to `sink`, writes the progress stream to
// `out` and fills `totals`. Everything handed to `sink` and `out` is the same
// for any number of workers. Touches no file itself.
void scan_scene(const uint8_t* scene, uint32_t size, uint32_t start, uint32_t path_tag,
                const scan_settings& settings, const card_sink& sink, FILE* out,
                scan_totals* totals);

// The same scan in steps, so that a run over several scenes can read and
// scan the next scene while the last cards of the one before are drawn. A
// scan opened `held` shows, tells and writes nothing: it goes only as far as
// it can without settling a card (its pictures are drawn meanwhile), until
// scan_finish. `scene`, `settings`, `sink` and `totals` must stay until then.
// Null, with totals->out_of_memory, when there is no memory for the scan.
struct scene_scan;
scene_scan* scan_open(const uint8_t* scene, uint32_t size, uint32_t start, uint32_t path_tag,
                      const scan_settings& settings, const card_sink& sink, FILE* out, scan_totals* totals,
                      bool held);
// Scans on: to the end of the scene, settling cards as they are drawn; held,
// until as many cards wait as may run ahead.
void scan_advance(scene_scan* scan);
// Ends the hold: what the scan found so far is shown and settled as far as
// its pictures are drawn.
void scan_release(scene_scan* scan);
// Frees a held scan that will never have its turn, showing nothing.
void scan_discard(scene_scan* scan);
// Ends any hold, scans to the end, settles every card, fills the totals and
// frees the scan (null: nothing to do).
void scan_finish(scene_scan* scan);

// Prints the closing line for `totals`.
void print_summary(FILE* out, const scan_totals& totals);

// Prints, one line each, what a user should know beyond the summary: the scan
// stopped early, later games' characters were passed over, cards could not be
// written, the scene is cut short. Each begins with "`scene`: " unless `scene`
// is null; the cut scene always names its file, `path`. Returns true when any
// of it makes the run a failure.
bool print_notices(FILE* err, const scan_totals& totals, const char* scene, const char* path);

// A run's card files: the folder they go to (null: the current directory)
// and the names stored so far, for card_sink::taken.
struct card_files;
card_files* card_files_new(const char* folder);
void card_files_free(card_files* files);
const char* card_files_folder(const card_files* files);
// Whether a card with the numbered stem of `name` (PREFIX_S_TAG_NNN, without
// the character's name or case) was stored or listed in this run.
bool card_name_taken(void* files, const char* name);
void card_name_listed(void* files, const char* name);

// Writes a card file into the folder of `context`, the run's card_files,
// replacing what stood at its name only with a complete card, and notes its
// name there.
bool write_card_file(void* context, const char* name, const uint8_t* png, size_t png_len,
                     const uint8_t* record, size_t record_len, store_failure* why);


