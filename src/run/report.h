// The outputs of a run for scripts, beside the card files: the listing
// (--list), a line per character record, and the JSON document (--json) of
// the whole run. Both are told of each record by the scan (card_observer) in
// scan order, and both are written as the run goes: memory stays the same
// however many records a scene holds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "run/driver.h"
#include "scene/record_mods.h"

// A field of the listing as a script can split and undo it: a backslash
// becomes "\\", tab, line feed and carriage return "\t", "\n" and "\r", and
// every other control byte (below 0x20 and 0x7F), each byte of a C1 control
// character (U+0080 to U+009F) and each byte that is no part of valid UTF-8
// "\xHH" (upper-case hex). Everything else stands as it is.
std::string escaped_field(const char* text);

// --list: one line per record on `out`, seven tab-separated fields, each
// escaped: the scene's path; the card's file name, "-" when no card would be
// written (a repeat, a later game's record); the game's prefix; the sex
// letter; the character's name; "-", "duplicate of CARD" or
// "later game: needs --newer-games"; and how many mods the character needs.
// Lines end as the platform's text files do.
struct listing {
    FILE* out;
    const char* scene;  // the path of the scene being scanned
};
void listing_seen(void* listing, const card_event& event);

// What the JSON document says of the run before its scenes.
struct json_run_head {
    const char* version;
    bool newer_games;
    bool list;
    bool names;
    bool quiet;
    const char* output;  // --output, null when not given
    bool recursive = false;
};

// Totals over every scene of the run.
struct json_run_totals {
    uint32_t scenes, scanned, refused;
    uint64_t records, written, listed, duplicates, failed, not_written, later_games;
};

// --json: the run's document, written to `out` piece by piece: the head at
// once, each scene and each of its records as they come, the totals and exit
// status at the end. Whatever happens between, the text is one JSON value
// once json_report_finish has run.
// A mod the open scene's characters need, and which of its records do.
struct scene_mod {
    mod_info mod;
    std::vector<uint32_t> records;  // their indices
};
constexpr size_t scene_mods_max = 4096;

struct json_report {
    FILE* out;
    const char* folder;     // where the cards go, null: the current folder
    bool list;              // a listing: records are "listed", not "written"
    bool scene_open;        // a scanned scene's records are being written
    uint32_t scene_records; // records of the open scene so far
    json_run_totals totals;
    std::vector<scene_mod> scene_mods;  // of the open scene, in the order met
    std::unordered_map<std::string, size_t> scene_mod_index;  // where each stands, by its GUID
};
void json_report_start(json_report* report, FILE* out, const json_run_head& head);
void json_report_seen(void* report, const card_event& event);
// Opens the entry of the scanned scene at `path`; its records follow.
void json_report_scene(json_report* report, const char* path);
// Closes the open scene's entry with the scene's own plugins and mods (from
// its extended data), the union of its characters' mods and the scan's totals.
void json_report_scanned(json_report* report, const scan_totals& totals, const record_mods& scene_own);
// The scene gave no scan: `outcome` ("cannot read", "not a scene", "no scene")
// and why, never empty.
void json_report_refused(json_report* report, const char* path, const char* outcome, const char* reason);
// The whole document of a run that had no memory to start: written without
// taking any, its error saying so, exit status 1.
void json_report_no_memory(FILE* out, const json_run_head& head);
// Ends the document: the run's totals, `error` (what stopped the whole run,
// null when nothing did) and the exit status.
void json_report_finish(json_report* report, const char* error, int exit_status);
