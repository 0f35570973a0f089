#include "run/card_order.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "card/deflate_check.h"
#include "card/face_decoder.h"
#include "platform/file.h"
#include "scene/crc32.h"
#include "scene/record_facts.h"

namespace {

// The index of the card written with checksum `crc`, or -1.
int written_index(const card_order* o, uint32_t crc) {
    for (uint32_t i = 0; i < o->totals->written; ++i)
        if (o->written_crcs[i] == crc) return int(i);
    return -1;
}
bool already_written(const card_order* o, uint32_t crc) { return written_index(o, crc) >= 0; }

void show(card_order* o, progress_span* span) {
    if (span->from < span->to) progress_positions(o->progress, span->from, span->to);
    span->from = span->to;
}

found_card& oldest(card_order* o) { return o->found[o->found_head]; }

// ---- pictures ----

// The last user of a picture frees it, once drawn: a card skipped as a repeat
// may let go of a picture a worker is still drawing.
void release_picture(card_order* o, int index) {
    if (index < 0) return;
    card_picture_slot& slot = o->pictures[index];
    if (--slot.users != 0) return;
    card_pool_wait(o->pool, &slot.job);
    std::free(slot.job.png);
    slot.job.png = nullptr;
}

// The same picture comes from the same face and sex; the checksum finds the
// candidates and the bytes decide, so that records which merely share a
// checksum still get pictures of their own.
bool same_picture(const card_job& job, const record_info& rec, const uint8_t* face) {
    return job.sex == rec.sex && job.face_len == (face ? rec.face_len : 0) &&
           (job.face_len == 0 || std::memcmp(job.face, face, job.face_len) == 0);
}

// The face to decode for `rec`, null when it has none or the scene's
// allowance for faces does not reach to it.
const uint8_t* face_of(card_order* o, const record_info& rec, uint32_t crc) {
    if (rec.face_len == 0 || rec.face_pos == 0) return nullptr;
    const uint8_t* face = o->scene + rec.face_pos;
    bool granted = false;
    if (face_allowance_known(&o->faces, crc, &granted)) return granted ? face : nullptr;
    // What the header declares, and what the stream inflates to beyond the
    // rows the header implies, counted only as far as the allowance reaches.
    uint64_t cost = face_pixel_bytes(face, rec.face_len);
    if (cost <= o->faces.left) {
        const uint64_t rows = face_stream_bytes(face, rec.face_len);
        const uint64_t inflated = face_inflated_bytes(face, rec.face_len, rows + (o->faces.left - cost));
        if (inflated > rows) cost += inflated - rows;
    }
    return face_allowance_grant(&o->faces, crc, cost) ? face : nullptr;
}

int picture_for(card_order* o, const record_info& rec, uint32_t crc, const uint8_t* face) {
    int free_slot = -1;
    for (int i = 0; i < int(sizeof o->pictures / sizeof o->pictures[0]); ++i) {
        card_picture_slot& slot = o->pictures[i];
        if (slot.users == 0) {
            if (free_slot < 0) free_slot = i;
        } else if (slot.crc == crc && same_picture(slot.job, rec, face)) {
            ++slot.users;
            return i;
        }
    }
    // Cards ahead and kept pictures never outnumber the slots.
    card_picture_slot& slot = o->pictures[free_slot];
    slot.users = 1;
    slot.crc = crc;
    slot.job.face = face;
    slot.job.face_len = face ? rec.face_len : 0;
    slot.job.sex = rec.sex;
    card_pool_submit(o->pool, &slot.job);
    return free_slot;
}

// A failed write frees the card's number and checksum slot; should the same
// record come again it is written then, from the picture kept here.
void keep_failed_picture(card_order* o, int index) {
    if (o->failed_count == kept_failed_pictures) {
        release_picture(o, o->failed[0]);
        std::memmove(o->failed, o->failed + 1, sizeof o->failed[0] * (kept_failed_pictures - 1));
        --o->failed_count;
    }
    ++o->pictures[index].users;
    o->failed[o->failed_count++] = index;
}

// ---- settling, oldest card first ----

// The folder takes no card at all: trying every later card would fail the
// same way, one message each, after drawing each picture for nothing (a
// scene of 20,000 characters in a read-only folder). The scan goes on only to
// count the characters left.
void stop_writing(card_order* o, const found_card& card, const store_failure& why) {
    scan_totals* totals = o->totals;
    totals->folder_stopped = true;
    totals->folder_stop_percent = uint32_t(uint64_t(card.rec.first) * 100 / o->scene_size);
    std::memcpy(totals->folder_reason, why.reason, reason_capacity);
}

bool ready(card_order* o, const found_card& card) {
    return o->full || card.picture < 0 || card_pool_is_done(o->pool, &o->pictures[card.picture].job);
}

// What writing the card at once would have done. Counts it as a match unless
// the run had already stopped before it.
// Tells the observer, if any, what became of `card`.
void tell(card_order* o, const found_card& card, card_result result, const char* name, uint32_t number,
          const char* reason, const record_facts& facts, const card_job* job) {
    const card_observer* observer = o->settings->observer;
    if (!observer) return;
    record_mods mods;
    if (o->settings->read_mods) read_record_mods(o->scene, card.rec, &mods);
    const card_event event{&card.rec,  card.row,       card.crc,   result,
                           name,       number,         reason,     facts.name,
                           facts.nickname, job ? job->face_width : 0, job ? job->face_height : 0,
                           o->settings->read_mods ? &mods : nullptr};
    observer->seen(observer->context, event);
}

// What writing the card at once would have done. Counts it as a match unless
// the run had already stopped before it.
void settle(card_order* o, found_card& card) {
    if (o->full) return;
    show(o, &card.progress);
    // The character's name: for the file name, the listing or the JSON.
    record_facts facts{"", ""};
    if (o->settings->name_cards || o->settings->observer) read_record_facts(o->scene, card.rec, &facts);
    if (card.later) {
        tell(o, card, card_result::later_game, "", 0, "", facts, nullptr);
        return;
    }
    scan_totals* totals = o->totals;
    ++totals->matches;
    const int repeated = written_index(o, card.crc);
    if (repeated >= 0) {
        ++totals->duplicates;
        tell(o, card, card_result::duplicate, o->written_names[repeated], 0, "", facts, nullptr);
        return;
    }
    if (totals->folder_stopped) {
        ++totals->left;
        tell(o, card, card_result::left, "", 0, "", facts, nullptr);
        return;
    }
    o->written_crcs[totals->written] = card.crc;

    // The number counts every card tried before this one, so that a card
    // that cannot be stored leaves its name behind and the next gets its own.
    char name[card_name_capacity];
    const char* shown_name = o->settings->name_cards ? facts.name : nullptr;
    uint32_t number = totals->written + totals->unwritten;
    format_card_name(card.row->prefix, card.rec.sex, o->path_tag, number, name, shown_name);
    // Another scene of the run with the same tag stored this name: the next free one.
    while (o->sink->taken && o->sink->taken(o->sink->context, name))
        format_card_name(card.row->prefix, card.rec.sex, o->path_tag, ++number, name, shown_name);

    const card_job* job = nullptr;
    store_failure why{false, "not enough memory to encode the card picture"};
    bool stored = o->settings->list_only;
    if (card.elsewhere) {
        stored = o->sink->write(o->sink->context, name, nullptr, 0, o->scene + card.rec.first,
                                card.rec.end - card.rec.first, &why);
    } else if (!stored) {
        card_job& drawn = o->pictures[card.picture].job;
        card_pool_wait(o->pool, &drawn);
        job = &drawn;
        const uint8_t* record = o->scene + card.rec.first;
        stored = drawn.png && o->sink->write(o->sink->context, name, drawn.png, size_t(drawn.png_len), record,
                                             card.rec.end - card.rec.first, &why);
    }
    if (stored) {
        if (o->settings->list_only && o->sink->listed) o->sink->listed(o->sink->context, name);
        std::memcpy(o->written_names[totals->written], name, card_name_capacity);
        ++totals->written;
        tell(o, card, o->settings->list_only ? card_result::listed : card_result::written, name, number + 1, "",
             facts, job);
    } else {
        ++totals->unwritten;
        // The scan goes on; the user learns which card is missing and why, on
        // a line of its own.
        progress_end_line(o->progress);
        text_printf(o->settings->err, "cannot write %s: %s\r\n", name, why.reason);
        tell(o, card, card_result::failed, name, number + 1, why.reason, facts, job);
        if (job && job->png) keep_failed_picture(o, card.picture);
        if (why.folder) stop_writing(o, card, why);
    }
    if (totals->written == max_cards) {
        o->full = true;
        o->stop_pos = card.rec.end;
    }
}

void settle_oldest(card_order* o) {
    found_card& card = oldest(o);
    settle(o, card);
    // Once the run is full, pictures still being drawn are left to the end.
    if (!o->full) release_picture(o, card.picture);
    o->found_head = (o->found_head + 1) % max_cards_ahead;
    --o->found_count;
    // With no card waiting, the progress after the last one is due now.
    if (o->found_count == 0 && !o->full) show(o, &o->open);
}

void settle_ready(card_order* o) {
    if (o->held) return;
    while (o->found_count > 0 && ready(o, oldest(o))) settle_oldest(o);
}

}  // namespace

void card_order_start(card_order* o, const uint8_t* scene, uint32_t scene_size, const card_sink* sink,
                      const scan_settings* settings, uint32_t path_tag, card_canvas* canvas,
                      progress_stream* progress, scan_totals* totals, bool held) {
    o->scene = scene;
    o->scene_size = scene_size;
    face_allowance_start(&o->faces, scene_size);
    o->sink = sink;
    o->path_tag = path_tag;
    o->totals = totals;
    o->progress = progress;
    o->settings = settings;
    o->full = false;
    o->stop_pos = 0;
    std::memset(o->written_crcs, 0, sizeof o->written_crcs);
    o->open = progress_span{0, 0};
    o->found_head = 0;
    o->found_count = 0;
    o->held = held;
    o->pool = settings->pool;
    if (!o->pool) {
        // A listing draws nothing, so it needs no workers.
        card_pool_start(&o->own_pool, settings->list_only ? 0 : settings->workers, canvas);
        o->pool = &o->own_pool;
    }
    // Drawing on this thread leaves nothing to run ahead of.
    o->found_limit = o->pool->workers == 0 ? 1 : cards_ahead_per_worker * o->pool->workers;
    for (card_picture_slot& slot : o->pictures) {
        slot.users = 0;
        slot.job.png = nullptr;
    }
    o->failed_count = 0;
    o->added = 0;
}

bool card_order_can_take(const card_order* o) { return !o->held || o->found_count < o->found_limit; }

void card_order_release(card_order* o) {
    o->held = false;
    settle_ready(o);
    if (o->found_count == 0 && !o->full) show(o, &o->open);
}

void card_order_progress(card_order* o, uint64_t from, uint64_t to) {
    if (o->open.from == o->open.to) o->open.from = from;
    o->open.to = to;
    if (o->held) return;
    settle_ready(o);
    if (o->found_count == 0 && !o->full) show(o, &o->open);
}

namespace {

found_card* add_found(card_order* o, const record_info& rec, const marker_row& row, bool later) {
    if (o->found_count == o->found_limit) settle_oldest(o);
    if (o->full) return nullptr;
    found_card& card = o->found[(o->found_head + o->found_count) % max_cards_ahead];
    card.progress = o->open;
    o->open = progress_span{0, 0};
    card.rec = rec;
    card.row = &row;
    card.crc = crc32(o->scene + rec.first, rec.end - rec.first);
    card.later = later;
    card.picture = -1;
    card.elsewhere = false;
    return &card;
}

}  // namespace

void card_order_pass_over(card_order* o, const record_info& rec, const marker_row& row) {
    if (!o->settings->observer || !add_found(o, rec, row, true)) return;
    ++o->found_count;
    settle_ready(o);
}

void card_order_add(card_order* o, const record_info& rec, const marker_row& row) {
    found_card* added = add_found(o, rec, row, false);
    if (!added) return;
    found_card& card = *added;
    // A record already written is skipped whatever happens before it, since
    // written cards stay written; it needs no picture.
    // Once the folder takes no card, no picture is drawn either.
    const bool needed = !already_written(o, card.crc) && !o->totals->folder_stopped && !o->settings->list_only;
    // Every share weighs every face against the scene's allowance, so that
    // each grants the same faces as a scan drawing them all.
    const uint8_t* face = needed ? face_of(o, rec, card.crc) : nullptr;
    const scan_settings* s = o->settings;
    const bool mine = s->share_count <= 1 || o->added++ % s->share_count == s->share_index;
    card.picture = needed && mine ? picture_for(o, rec, card.crc, face) : -1;
    card.elsewhere = needed && !mine;
    ++o->found_count;
    settle_ready(o);
}

void card_order_discard(card_order* o) {
    o->found_count = 0;
    o->held = false;
    o->full = true;  // nothing more is shown
    for (card_picture_slot& slot : o->pictures) {
        if (slot.users != 0 && o->pool != &o->own_pool) card_pool_cancel(o->pool, &slot.job);
        slot.users = 0;  // taken back or drawn: nothing waits on it any more
    }
    card_order_finish(o);
}

void card_order_finish(card_order* o) {
    o->held = false;
    while (o->found_count > 0) settle_oldest(o);
    if (!o->full) show(o, &o->open);
    if (o->pool == &o->own_pool) {
        card_pool_stop(&o->own_pool);
    } else {
        // Pictures no card needs any more (the run stopped after its last
        // card, kept failed pictures): taken back, or awaited when drawing.
        for (card_picture_slot& slot : o->pictures)
            if (slot.users != 0) card_pool_cancel(o->pool, &slot.job);
    }
    for (card_picture_slot& slot : o->pictures) {
        std::free(slot.job.png);
        slot.job.png = nullptr;
        slot.users = 0;
    }
    o->failed_count = 0;
}
