// The web edition's entry: the page's worker hands over a scene's bytes and
// its file name, the same scan as the program's runs on them with the cards
// kept in memory, and the worker reads back the cards and the JSON report.
// Everything runs on the calling thread (no worker threads in the module).
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

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
    std::vector<kept_card> cards;
    std::string report;  // the JSON document of the last scan
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

bool keep_card(void* context, const char* name, const uint8_t* png, size_t png_len, const uint8_t* record,
               size_t record_len, store_failure* why) {
    auto* cards = static_cast<std::vector<kept_card>*>(context);
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

bool name_taken(void* context, const char* name) {
    for (const kept_card& card : *static_cast<std::vector<kept_card>*>(context))
        if (card.name == name) return true;
    return false;
}

}  // namespace

extern "C" {

// Scans `size` bytes at `data` as the scene file `name` (its path text, for
// the tag), with the later games' markers when `newer` is not 0. Returns 1
// when it was a scene and was scanned, 0 when it is no scene file; the report
// and cards are then read with the functions below.
EMSCRIPTEN_KEEPALIVE int web_scan(const uint8_t* data, uint32_t size, const char* name, int newer) {
    last = web_run{};
    char* text = nullptr;
    size_t text_len = 0;
    FILE* out = open_memstream(&text, &text_len);
    if (!out) return 0;
    json_report report;
    json_report_start(&report, out, json_run_head{CARDLIFT_VERSION, newer != 0, false, false, true, nullptr});
    uint32_t iend = 0;
    scene_fault fault = scene_fault::none;
    int scanned = 0;
    if (!find_scene_data(data, size, &iend, &fault)) {
        json_report_refused(&report, name, "not a scene", scene_fault_text(fault));
    } else {
        json_report_scene(&report, name);
        const card_observer observer{json_report_seen, &report};
        scan_settings settings{newer ? marker_set::newer_games : marker_set::standard, 0, true};
        settings.observer = &observer;
        settings.err = std::fopen("/dev/null", "w");
        const cookie_io_functions_t io{nullptr, progress_write, nullptr, nullptr};
        FILE* progress = fopencookie(nullptr, "w", io);
        const card_sink sink{keep_card, &last.cards, name_taken};
        const uint32_t tag = crc32(reinterpret_cast<const uint8_t*>(name), std::strlen(name));
        scan_totals totals;
        settings.read_mods = true;
        record_mods scene_own;
        read_scene_mods(data, size, iend, &scene_own);
        scan_scene(data, size, iend, tag, settings, sink, progress, &totals);
        json_report_scanned(&report, totals, scene_own);
        std::fclose(progress);
        if (settings.err) std::fclose(settings.err);
        scanned = 1;
    }
    json_report_finish(&report, nullptr, scanned ? 0 : 1);
    std::fclose(out);
    last.report.assign(text, text_len);
    std::free(text);
    return scanned;
}

EMSCRIPTEN_KEEPALIVE const char* web_report() { return last.report.c_str(); }
EMSCRIPTEN_KEEPALIVE int web_card_count() { return int(last.cards.size()); }
EMSCRIPTEN_KEEPALIVE const char* web_card_name(int i) { return last.cards[size_t(i)].name.c_str(); }
EMSCRIPTEN_KEEPALIVE const uint8_t* web_card_data(int i) { return last.cards[size_t(i)].bytes.data(); }
EMSCRIPTEN_KEEPALIVE uint32_t web_card_size(int i) { return uint32_t(last.cards[size_t(i)].bytes.size()); }
EMSCRIPTEN_KEEPALIVE void web_reset() { last = web_run{}; }

}  // extern "C"
