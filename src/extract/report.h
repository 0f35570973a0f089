// The outputs of a run beside the card files: the listing (--list), a line
// per character record, and the JSON document (--json) of the whole run.
// Both are told of each record by the scan (card_observer) in scan order.
#pragma once

#include <cstdio>

#include "extract/driver.h"

// --list: one line per record on `out`, tab-separated: the card's file name
// ("-" for a duplicate), the game's prefix, the sex letter, the character's
// name, and for a duplicate "duplicate of NAME". Lines end as the platform's
// text files do.
struct listing {
    FILE* out;
};
void listing_seen(void* listing, const card_event& event);

// --json: the run's document, built scene by scene, printed at the end.
struct json_report;
json_report* json_report_new();
void json_report_free(json_report* report);
void json_report_seen(void* report, const card_event& event);
// Opens the entry of the scene at `path`; its records follow.
void json_report_scene(json_report* report, const char* path);
// Closes the entry with the scan's totals.
void json_report_scanned(json_report* report, const scan_totals& totals);
// The scene gave no scan: `outcome` ("cannot read", "not a scene", ...) and why.
void json_report_refused(json_report* report, const char* path, const char* outcome, const char* reason);
// The whole document and a line end on `out`.
void json_report_print(const json_report* report, FILE* out);
