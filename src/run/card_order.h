// The cards of a scan, settled strictly in the order the scan found them.
//
// The scan runs ahead of the cards: it hands each record over as soon as it is
// measured and its picture is drawn by a worker meanwhile. Everything the user
// sees is decided here, one card after another in scan order, exactly as if
// each card were drawn and written the moment it was found: the progress text
// up to the card's marker, whether it repeats a card already written, its
// number (the cards the run tried to write before it), the write itself, and the stop after
// the last card a run may write. Nothing of a card that comes after that stop
// is ever shown or written.
#pragma once

#include <cstdint>
#include <cstdio>

#include "run/card_pool.h"
#include "run/driver.h"
#include "run/face_allowance.h"
#include "run/progress.h"
#include "scene/record.h"

// Cards found but not yet settled, per worker: enough to keep every worker
// busy while the oldest card is written, few enough to bound the memory held
// by finished pictures.
constexpr uint32_t cards_ahead_per_worker = 3;
constexpr uint32_t max_cards_ahead = cards_ahead_per_worker * max_workers;
// Pictures of cards whose write failed, kept for a later copy of the record.
constexpr uint32_t kept_failed_pictures = 4;

// Positions [from, to) whose progress text is shown before what follows.
struct progress_span {
    uint64_t from;
    uint64_t to;
};

struct found_card {
    progress_span progress;  // shown just before the card is settled
    record_info rec;
    const marker_row* row;
    uint32_t crc;            // of the record's bytes
    int picture;             // index into card_order::pictures, -1 when none is needed
    bool later;              // a later game's record the run leaves out: only told
    bool elsewhere;          // needs a picture that another share of the scan draws
};

// A picture being drawn or drawn, shared by every found card whose record has
// the same checksum and the same face and sex.
struct card_picture_slot {
    card_job job;
    uint32_t users;  // found cards and failed-write memory holding it; 0: free
    uint32_t crc;
};

struct card_order {
    const uint8_t* scene;
    uint32_t scene_size;
    const card_sink* sink;
    const scan_settings* settings;
    uint32_t path_tag;
    scan_totals* totals;
    progress_stream* progress;
    bool full;                       // the last card a run may write is written
    uint64_t stop_pos;               // once full: that card's end, where the scan stops
    uint32_t written_crcs[max_cards];  // of the cards written, in order
    char written_names[max_cards][card_name_capacity];  // their file names
    progress_span open;              // progress after the newest card, not yet shown
    found_card found[max_cards_ahead];  // ring, oldest first
    uint32_t found_head;
    uint32_t found_count;
    uint32_t found_limit;
    card_picture_slot pictures[max_cards_ahead + kept_failed_pictures];
    int failed[kept_failed_pictures];  // pictures of failed writes, oldest first
    uint32_t failed_count;
    card_pool own_pool;              // when the settings bring none
    card_pool* pool;                 // the one drawing this scan's pictures
    // Held: cards are found and their pictures drawn, but nothing is shown,
    // told or written until released (the scene before is still settling).
    bool held;
    face_allowance faces;
    uint32_t added;  // characters found so far: the drawing's share goes by it
};

// Prepares an empty order for the scene of `scene_size` bytes at `scene`,
// drawing on the settings' pool, or else on a pool of its own with the
// settings' workers (0: on this thread, on `canvas`). A `held` order shows
// nothing until card_order_release.
void card_order_start(card_order* order, const uint8_t* scene, uint32_t scene_size, const card_sink* sink,
                      const scan_settings* settings, uint32_t path_tag, card_canvas* canvas,
                      progress_stream* progress, scan_totals* totals, bool held = false);

// Whether a found card can be added now: always, unless the order is held
// and as many cards wait as may run ahead.
bool card_order_can_take(const card_order* order);

// Ends the hold: what was found so far is shown and settled as far as its
// pictures are drawn, as if it had happened as the scan went.
void card_order_release(card_order* order);

// The scan passed positions [from, to); `from` is where the previous span ended
// unless a card came between.
void card_order_progress(card_order* order, uint64_t from, uint64_t to);

// The scan found `rec` (its marker row `row`), after the progress given so far.
void card_order_add(card_order* order, const record_info& rec, const marker_row& row);

// The scan passed over `rec`, a later game's record, which the observer (if
// any) is told of in its place among the cards.
void card_order_pass_over(card_order* order, const record_info& rec, const marker_row& row);

// Drops every card found and its picture without showing or telling
// anything, and ends the workers of its own pool: for a held order that will
// never be released.
void card_order_discard(card_order* order);

// Settles every card, shows the last progress and ends the workers of its own
// pool (a shared pool goes on; this order's jobs are taken back or waited for).
void card_order_finish(card_order* order);
