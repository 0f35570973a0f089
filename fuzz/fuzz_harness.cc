#include "fuzz_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "run/driver.h"
#include "scene/record_facts.h"
#include "scene/scene.h"

namespace {

struct card_check {
    const uint8_t* scene;
    size_t size;
    uint32_t calls;
    uint32_t stored;
    uint64_t digest;  // of every card handed over, in order
};

// FNV-1a, enough to tell two runs' cards apart.
uint64_t fold(uint64_t digest, const void* data, size_t len) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < len; ++i) digest = (digest ^ p[i]) * 0x100000001b3ull;
    return digest;
}

// A failed check must stop the run where the fuzzer can see it.
void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

bool keep_card(void* context, const char* name, const uint8_t* png, size_t png_len,
               const uint8_t* record, size_t record_len, store_failure* why) {
    card_check& c = *static_cast<card_check*>(context);
    // The record bytes are a slice of the scene, never empty, never past it.
    require(record >= c.scene && record_len > 0 && record_len <= c.size &&
                size_t(record - c.scene) <= c.size - record_len,
            "record outside the scene");
    require(png_len > 8 && std::memcmp(png, "\x89PNG\r\n\x1a\n", 8) == 0, "card is not a PNG");
    const size_t name_len = std::strlen(name);
    require(name_len >= 16 && name_len <= 29 && !std::strpbrk(name, "/\\:"),
            "card name has the wrong shape");
    const uint64_t where[2] = {uint64_t(record - c.scene), record_len};
    c.digest = fold(fold(fold(c.digest, name, name_len + 1), png, png_len), where, sizeof where);
    // Refuse every third card, as a name taken by a folder would, so that the
    // path which frees a checksum slot for the next record is exercised too;
    // the 20th card as a full disk, which stops the writing.
    ++c.calls;
    if (c.calls % 3 == 0 || c.calls == 20) {
        why->folder = c.calls == 20;
        return false;
    }
    ++c.stored;
    return true;
}

// Told of every record: its facts were read (names from the record's own
// MessagePack), so each must be valid UTF-8 of bounded length.
void check_event(void* context, const card_event& event) {
    card_check& c = *static_cast<card_check*>(context);
    for (const char* text : {event.display_name, event.nickname}) {
        const size_t len = std::strlen(text);
        require(len <= fact_text_max, "a name too long");
        char copy[fact_text_max + 1];
        copy_valid_utf8(text, len, copy);
        require(std::strcmp(copy, text) == 0, "a name that is no valid UTF-8");
        c.digest = fold(c.digest, text, len + 1);
    }
}

// One whole run with `workers` and the rows of `markers`; returns a digest of
// its standard output.
uint64_t scan_with(const uint8_t* data, uint32_t iend, size_t size, marker_set markers, uint32_t workers,
                   card_check* check, scan_totals* totals) {
    *check = card_check{data, size, 0, 0, 0xcbf29ce484222325ull};
    const card_sink sink{keep_card, check};
    char* text = nullptr;
    size_t text_len = 0;
    FILE* out = open_memstream(&text, &text_len);
    require(out != nullptr, "cannot open a memory stream");
    // The refused cards' messages are not what is checked here.
    static FILE* const quiet = std::fopen("/dev/null", "w");
    require(quiet != nullptr, "cannot open /dev/null");
    const card_observer observer{check_event, check};
    scan_settings settings{markers, workers, false, quiet};
    settings.observer = &observer;
    scan_scene(data, uint32_t(size), iend, 0xC0FFEE01u, settings, sink, out, totals);
    print_summary(out, *totals);
    std::fclose(out);
    const uint64_t digest = fold(0xcbf29ce484222325ull, text, text_len);
    std::free(text);
    require(totals->written == check->stored, "written count differs from cards stored");
    require(totals->written <= max_cards, "more than 256 cards");
    require(totals->matches >= check->calls, "fewer matches than cards handed over");
    return digest;
}

}  // namespace

void run_scene_bytes(const uint8_t* data, size_t size) {
    // Scene positions are 32-bit; the tool refuses bigger files before this.
    if (size > UINT32_MAX) return;
    uint32_t iend = 0;
    if (!find_scene_data(data, uint32_t(size), &iend)) return;
    require(uint64_t(iend) + 12 + min_trailing_bytes <= size, "IEND too close to the end");

    // With the program's default rows (and its count of later games' records)
    // and with every row. Drawn on this thread, then, when there are cards to
    // put in order, on worker threads running ahead of the scan: the cards,
    // their order, the progress text and the totals are the same.
    for (const marker_set markers : {marker_set::standard, marker_set::newer_games}) {
        card_check alone{}, ahead{};
        scan_totals alone_totals{}, ahead_totals{};
        const uint64_t alone_text = scan_with(data, iend, size, markers, 0, &alone, &alone_totals);
        if (markers == marker_set::newer_games)
            require(alone_totals.later_games == 0, "later games counted while they are extracted");
        if (alone_totals.matches < 2) continue;
        const uint64_t ahead_text = scan_with(data, iend, size, markers, 2, &ahead, &ahead_totals);
        require(alone.digest == ahead.digest && alone.calls == ahead.calls, "workers change the cards");
        require(alone_text == ahead_text, "workers change the progress text");
        require(alone_totals.written == ahead_totals.written && alone_totals.matches == ahead_totals.matches &&
                    alone_totals.later_games == ahead_totals.later_games && alone_totals.cut == ahead_totals.cut,
                "workers change the totals");
    }
}
