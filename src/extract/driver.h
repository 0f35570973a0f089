// The whole run of the tool: command line, loading, checks, scan and summary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "extract/marker_table.h"

// Receives each finished card: its file name, its PNG bytes and the record
// bytes that follow them. Returns true only when the whole card was stored.
struct card_sink {
    bool (*write)(void* context, const char* name, const uint8_t* png, size_t png_len,
                  const uint8_t* record, size_t record_len);
    void* context;
};

struct scan_totals {
    uint32_t written;  // cards stored (at most 256)
    uint32_t matches;  // records measured, duplicates and failed writes included
};

constexpr uint32_t max_cards = 256;

// Scans `scene` from `start` (the IEND chunk) to its end for the markers of
// `markers`, hands each new card to `sink`, writes the progress stream to `out`
// and fills `totals`. Card pictures are drawn by `workers` threads, or on the
// calling thread when it is 0; everything handed to `sink` and `out` is the
// same for any number. Touches no file itself.
void scan_scene(const uint8_t* scene, uint32_t size, uint32_t start, uint32_t path_tag,
                marker_set markers, uint32_t workers, const card_sink& sink, FILE* out,
                scan_totals* totals);

// Prints the closing line for `totals`.
void print_summary(FILE* out, const scan_totals& totals);

// Writes a card file in the current directory; a partial file is removed.
bool write_card_file(void* context, const char* name, const uint8_t* png, size_t png_len,
                     const uint8_t* record, size_t record_len);

// The process: argv[1] names the scene, or argv[2] after --newer-games.
// Returns the exit status.
int cardlift_main(int argc, char** argv);
