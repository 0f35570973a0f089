// Encoding a card canvas in the drawing thread's arena: the worst canvas fits,
// the bytes are those of the heap, and memory that runs out at any allocation
// gives no PNG, never a crash or a leak.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "card/canvas.h"
#include "card/png_encoder.h"

namespace {

// Noise: no deflate match shortens it, so every hash chain fills and the
// output is as long as it gets. A flat canvas is the other end.
std::unique_ptr<card_canvas> canvas_of(bool noise) {
    std::unique_ptr<card_canvas> c(new card_canvas);
    uint32_t s = 12345;
    for (uint32_t& px : c->pixels) {
        s = s * 1103515245u + 12345u;
        px = noise ? s : 0xFFAABBCCu;
    }
    return c;
}

std::vector<uint8_t> encode(const card_canvas* c, encoder_arena* arena) {
    int len = 0;
    unsigned char* png = encode_card_png(c, arena, &len);
    std::vector<uint8_t> out(png, png + (png ? len : 0));
    std::free(png);
    if (!png) EXPECT_EQ(len, 0);
    return out;
}

struct reserved_arena {
    encoder_arena arena{};
    reserved_arena() { EXPECT_TRUE(encoder_arena_reserve(&arena)); }
    ~reserved_arena() { encoder_arena_release(&arena); }
};

}  // namespace

// The arena holds the worst canvas with room to spare, on its own: nothing
// from the heap, and the same bytes as an encoding on the heap. An arena too
// small for it (1 MiB) spills to the heap, with the same bytes again.
TEST(encoder_arena, the_worst_canvas_fits_and_the_bytes_stay) {
    for (const bool noise : {false, true}) {
        SCOPED_TRACE(noise ? "noise" : "flat");
        const auto canvas = canvas_of(noise);
        reserved_arena r;
        const std::vector<uint8_t> in_arena = encode(canvas.get(), &r.arena), on_heap = encode(canvas.get(), nullptr);
        ASSERT_FALSE(on_heap.empty());
        EXPECT_TRUE(in_arena == on_heap);
        EXPECT_EQ(r.arena.heap_bytes, 0u);
        // A quarter more than the worst canvas needs still fits.
        EXPECT_LE(r.arena.high / 4 * 5, encoder_arena_bytes) << "high mark " << r.arena.high;
        if (noise) std::printf("noise canvas: arena high mark %zu bytes of %zu\n", r.arena.high, encoder_arena_bytes);

        std::vector<uint8_t> small(size_t(1) << 20);
        encoder_arena cramped{};
        cramped.base = small.data();
        cramped.size = small.size();
        EXPECT_TRUE(encode(canvas.get(), &cramped) == on_heap);
        EXPECT_EQ(cramped.heap_bytes > 0, noise);
        // The same arena again: every encoding starts from an empty one.
        EXPECT_TRUE(encode(canvas.get(), &r.arena) == on_heap);
    }
}

// Memory that runs out at the first allocation, at every k-th one, or at the
// last: no PNG and length 0 (leaks would show under the sanitizers); one
// allocation more than the encoding makes, and the card is whole.
TEST(encoder_arena, memory_running_out_gives_no_png) {
    for (const bool noise : {false, true}) {
        const auto canvas = canvas_of(noise);
        for (const bool heap_only : {false, true}) {
            SCOPED_TRACE(testing::Message() << (noise ? "noise" : "flat") << (heap_only ? ", heap" : ", arena"));
            reserved_arena r;
            encoder_arena no_storage{};  // every block from the heap
            encoder_arena& a = heap_only ? no_storage : r.arena;
            const std::vector<uint8_t> whole = encode(canvas.get(), &a);
            // Blocks that grow in place count too, so the two differ.
            const uint32_t calls = a.allocations;
            ASSERT_GT(calls, 3u);
            std::vector<uint32_t> failing{1, calls};
            for (uint32_t k = 2; k < calls; k += noise ? 4999 : 1) failing.push_back(k);
            for (uint32_t k : failing) {
                a.fail_at = k;
                EXPECT_TRUE(encode(canvas.get(), &a).empty()) << "allocation " << k << " of " << calls;
            }
            a.fail_at = calls + 1;
            EXPECT_TRUE(encode(canvas.get(), &a) == whole);
        }
    }
}
