// The web edition's entry: the page's worker hands over a scene's bytes and
// its file name, the same scan as the program's runs on them with the cards
// kept in memory, and the worker reads back the cards and the JSON report.
// Everything runs on the calling thread (no worker threads in the module);
// the page runs several workers, each drawing its share of every scene.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "card/card_picture.h"
#include "card/png_encoder.h"
#include "run/driver.h"
#include "run/report.h"
#include "scene/crc32.h"
#include "scene/scene.h"

#ifndef CARDLIFT_VERSION
#define CARDLIFT_VERSION "unknown"
#endif

namespace {

struct kept_card {
    std::string name;
    std::vector<uint8_t> bytes;  // the PNG, then the record
};

struct web_run {
    std::vector<kept_card> cards;  // those this share drew
    std::string report;            // the JSON document of the last scan
    // How many times each stored card's record comes again, in the order the
    // cards were stored: the page shows a repeated record as one tile with
    // its count, and a scene of one record stored 400,000 times must not
    // make a document of 400,000 entries.
    std::vector<uint32_t> repeats;
    std::unordered_map<std::string, uint32_t> stored;  // card name -> index into repeats
    std::string repeats_text;
    json_report* json = nullptr;
};
web_run last;

// The page's percentage: the worker passes it on to the page.
EM_JS(void, tell_progress, (unsigned percent), {
    if (Module["onProgress"]) Module["onProgress"](percent);
});

// The progress stream, as a terminal gets it (each percentage once), read
// back as numbers.
ssize_t progress_write(void*, const char* data, size_t len) {
    for (size_t at = 0; at + 4 <= len; at += 4)
        if (data[at] == '\r' && data[at + 3] == '%')
            tell_progress(unsigned((data[at + 1] == ' ' ? 0 : data[at + 1] - '0') * 10 + (data[at + 2] - '0')));
    return ssize_t(len);
}

// A card another share draws comes without its picture: nothing to keep.
bool keep_card(void* context, const char* name, const uint8_t* png, size_t png_len, const uint8_t* record,
               size_t record_len, store_failure* why) {
    auto* cards = static_cast<std::vector<kept_card>*>(context);
    if (!png) return true;
    try {
        kept_card card{name, std::vector<uint8_t>(png, png + png_len)};
        card.bytes.insert(card.bytes.end(), record, record + record_len);
        cards->push_back(std::move(card));
        return true;
    } catch (const std::bad_alloc&) {
        *why = store_failure{false, "the browser gave no more memory"};
        return false;
    }
}

// Every record but the repeats goes into the document; a repeat only counts.
void seen(void* context, const card_event& event) {
    web_run* run = static_cast<web_run*>(context);
    if (event.result == card_result::duplicate) {
        const auto at = run->stored.find(event.name);
        if (at != run->stored.end()) ++run->repeats[at->second];
        return;
    }
    if (event.result == card_result::written) {
        run->stored.emplace(event.name, uint32_t(run->repeats.size()));
        run->repeats.push_back(0);
    }
    json_report_seen(run->json, event);
}

// The scan of `web_scan`, which may throw std::bad_alloc.
int scan(const uint8_t* data, uint32_t size, const char* name, int newer, int names, uint32_t share_index,
         uint32_t share_count) {
    char* text = nullptr;
    size_t text_len = 0;
    FILE* out = open_memstream(&text, &text_len);
    if (!out) throw std::bad_alloc();
    json_report report;
    last.json = &report;
    json_report_start(&report, out, json_run_head{CARDLIFT_VERSION, newer != 0, false, names != 0, true, nullptr});
    uint32_t iend = 0;
    scene_fault fault = scene_fault::none;
    int scanned = 0;
    if (!find_scene_data(data, size, &iend, &fault)) {
        json_report_refused(&report, name, "not a scene", scene_fault_text(fault));
    } else {
        json_report_scene(&report, name);
        const card_observer observer{seen, &last};
        scan_settings settings{newer ? marker_set::newer_games : marker_set::standard, 0, true};
        settings.observer = &observer;
        settings.name_cards = names != 0;
        settings.share_index = share_index;
        settings.share_count = share_count;
        settings.err = std::fopen("/dev/null", "w");
        const cookie_io_functions_t io{nullptr, progress_write, nullptr, nullptr};
        FILE* progress = fopencookie(nullptr, "w", io);
        // Names are made unique over every scene by the page, which holds them all.
        const card_sink sink{keep_card, &last.cards};
        const uint32_t tag = crc32(reinterpret_cast<const uint8_t*>(name), std::strlen(name));
        scan_totals totals;
        settings.read_mods = true;
        record_mods scene_own;
        read_scene_mods(data, size, iend, &scene_own);
        scan_scene(data, size, iend, tag, settings, sink, progress, &totals);
        if (totals.out_of_memory) throw std::bad_alloc();
        json_report_scanned(&report, totals, scene_own);
        std::fclose(progress);
        if (settings.err) std::fclose(settings.err);
        scanned = 1;
    }
    json_report_finish(&report, nullptr, scanned ? 0 : 1);
    std::fclose(out);
    last.json = nullptr;
    last.report.assign(text, text_len);
    std::free(text);
    last.repeats_text = "[";
    for (size_t i = 0; i < last.repeats.size(); ++i)
        last.repeats_text += (i ? "," : "") + std::to_string(last.repeats[i]);
    last.repeats_text += "]";
    return scanned;
}

}  // namespace

extern "C" {

// Scans `size` bytes at `data` as the scene file `name` (its path text, for
// the tag), with the later games' markers when `newer` is not 0 and the
// characters' names in the card names when `names` is not 0, drawing the
// cards of share `share_index` of `share_count` (see scan_settings). Returns 1
// when it was a scene and was scanned, 0 when it is no scene file, -1 when
// the browser gave too little memory; the report, the repeats and the cards
// are then read with the functions below.
EMSCRIPTEN_KEEPALIVE int web_scan(const uint8_t* data, uint32_t size, const char* name, int newer, int names,
                                  uint32_t share_index, uint32_t share_count) {
    try {
        last = web_run{};
        return scan(data, size, name, newer, names, share_index, share_count);
    } catch (const std::bad_alloc&) {
        // What was made is let go of; the memory streams are lost with it.
        last = web_run{};
        return -1;
    }
}

// Draws a card for nothing, from a face of noise like a busy face picture.
// The browser compiles the module's busiest code (decoding, scaling,
// encoding) at its best only once that code has run a while: done as the
// page opens, the first scene a player chooses is drawn at full speed.
EMSCRIPTEN_KEEPALIVE void web_warm_up() {
    static card_canvas canvas;
    uint32_t state = 1;
    for (uint32_t& pixel : canvas.pixels) {
        state = state * 1664525u + 1013904223u;
        pixel = (state >> 8) | 0xFF000000u;
    }
    int len = 0;
    unsigned char* face = encode_card_png(&canvas, nullptr, &len);
    if (!face) return;
    int again = 0;
    std::free(draw_card_png(&canvas, face, uint32_t(len), 'F', &again));
    std::free(face);
}

EMSCRIPTEN_KEEPALIVE const char* web_report() { return last.report.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* web_repeats() { return last.repeats_text.c_str(); }
EMSCRIPTEN_KEEPALIVE int web_card_count() { return int(last.cards.size()); }
EMSCRIPTEN_KEEPALIVE const char* web_card_name(int i) { return last.cards[size_t(i)].name.c_str(); }
EMSCRIPTEN_KEEPALIVE const uint8_t* web_card_data(int i) { return last.cards[size_t(i)].bytes.data(); }
EMSCRIPTEN_KEEPALIVE uint32_t web_card_size(int i) { return uint32_t(last.cards[size_t(i)].bytes.size()); }
EMSCRIPTEN_KEEPALIVE void web_reset() { last = web_run{}; }

}  // extern "C"
