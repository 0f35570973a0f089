#include "fuzz_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extract/driver.h"
#include "extract/scene.h"

namespace {

struct card_check {
    const uint8_t* scene;
    size_t size;
    uint32_t calls;
    uint32_t stored;
};

// A failed check must stop the run where the fuzzer can see it.
void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

bool keep_card(void* context, const char* name, const uint8_t* png, size_t png_len,
               const uint8_t* record, size_t record_len) {
    card_check& c = *static_cast<card_check*>(context);
    // The record bytes are a slice of the scene, never empty, never past it.
    require(record >= c.scene && record_len > 0 && record_len <= c.size &&
                size_t(record - c.scene) <= c.size - record_len,
            "record outside the scene");
    require(png_len > 8 && std::memcmp(png, "\x89PNG\r\n\x1a\n", 8) == 0, "card is not a PNG");
    const size_t name_len = std::strlen(name);
    require(name_len >= 16 && name_len <= 22 && !std::strpbrk(name, "/\\:"),
            "card name has the wrong shape");
    // Refuse every third card, as a full disk would, so that the path which
    // frees a checksum slot for the next record is exercised too.
    ++c.calls;
    if (c.calls % 3 == 0) return false;
    ++c.stored;
    return true;
}

FILE* null_stream() {
    static FILE* sink = std::fopen("/dev/null", "wb");
    require(sink != nullptr, "cannot open /dev/null");
    return sink;
}

}  // namespace

void run_scene_bytes(const uint8_t* data, size_t size) {
    // Scene positions are 32-bit; the tool refuses bigger files before this.
    if (size > UINT32_MAX) return;
    uint32_t iend = 0;
    if (!find_scene_data(data, uint32_t(size), &iend)) return;
    require(uint64_t(iend) + 12 + min_trailing_bytes <= size, "IEND too close to the end");

    card_check check{data, size, 0, 0};
    const card_sink sink{keep_card, &check};
    scan_totals totals;
    // Every row, the later games' too: the default rows are a prefix of them.
    scan_scene(data, uint32_t(size), iend, 0xC0FFEE01u, marker_set::newer_games, 0, sink, null_stream(),
               &totals);
    print_summary(null_stream(), totals);
    require(totals.written == check.stored, "written count differs from cards stored");
    require(totals.written <= max_cards, "more than 256 cards");
    require(totals.matches >= check.calls, "fewer matches than cards handed over");
}
