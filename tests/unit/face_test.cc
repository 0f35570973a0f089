// Decoding face pictures: stb_image's allocator (zero-filled blocks, held to a
// budget), the memory a header promises, and faces that would make stb_image
// 2.27 read memory it never wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <stb/stb_image.h>

#include "card/deflate_check.h"
#include "card/face_decoder.h"
#include "card/stb_alloc.h"
#include "extract/driver.h"
#include "extract/scene.h"
#include "png_builder.h"

namespace {

// Fills and frees heap blocks of many sizes with `fill`, so that a block the
// allocator hands out next would show old bytes unless it clears them.
void dirty_heap(uint8_t fill) {
    std::vector<void*> blocks;
    for (size_t size = 16; size <= 1 << 20; size += size / 3 + 16) {
        blocks.push_back(std::malloc(size));
        std::memset(blocks.back(), fill, size);
    }
    for (void* b : blocks) std::free(b);
}

bool all_bytes(const void* block, size_t from, size_t to, uint8_t value) {
    for (size_t i = from; i < to; ++i)
        if (static_cast<const uint8_t*>(block)[i] != value) return false;
    return true;
}

// The PNG of the one card a scene holding `face` gives.
bytes card_of(const bytes& face) {
    const bytes scene = scene_with_records({build_sp_record({.picture1 = face})});
    bytes png;
    uint32_t iend = 0;
    if (!find_scene_data(scene.data(), uint32_t(scene.size()), &iend)) return png;
    auto keep = [](void* to, const char*, const uint8_t* p, size_t n, const uint8_t*, size_t) {
        static_cast<bytes*>(to)->assign(p, p + n);
        return true;
    };
    std::FILE* null_out = std::fopen("/dev/null", "wb");
    scan_totals totals{};
    scan_scene(scene.data(), uint32_t(scene.size()), iend, 0, marker_set::standard, card_sink{keep, &png}, null_out, &totals);
    std::fclose(null_out);
    return png;
}

// The RGBA bytes of a decoded picture, released; empty when there is none.
std::vector<uint8_t> take_pixels(unsigned char* p, int w, int h) {
    std::vector<uint8_t> out;
    if (p) out.assign(p, p + size_t(w) * size_t(h) * 4);
    stbi_image_free(p);
    return out;
}

}  // namespace

// Every block is zero-filled, the grown part of a reallocation too; inside a
// budget, what the blocks hold at once (a moving block counted twice) stays
// within it, and a request one byte beyond fails and leaves the count alone.
TEST(face, allocator_zero_fills_and_holds_to_the_budget) {
    dirty_heap(0xAA);
    decode_budget budget{10000, 0, 0};
    begin_decode_budget(&budget);
    auto* a = static_cast<uint8_t*>(stb_alloc(4000));
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(all_bytes(a, 0, 4000, 0));
    std::memset(a, 0xFF, 4000);
    a = static_cast<uint8_t*>(stb_realloc(a, 6000));  // 4000 + 6000 while it moves: just inside
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(all_bytes(a, 0, 4000, 0xFF));
    EXPECT_TRUE(all_bytes(a, 4000, 6000, 0));
    EXPECT_EQ(budget.live, 6000u);
    EXPECT_EQ(budget.peak, 10000u);
    EXPECT_EQ(stb_alloc(4001), nullptr);  // just outside
    EXPECT_EQ(stb_realloc(a, 6000 + 4001), nullptr);
    EXPECT_TRUE(all_bytes(a, 0, 4000, 0xFF));  // still a's
    void* b = stb_alloc(4000);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(budget.live, 10000u);
    stb_free(b);
    a = static_cast<uint8_t*>(stb_realloc(a, 100));  // shrinking keeps the first bytes
    EXPECT_TRUE(all_bytes(a, 0, 100, 0xFF));
    EXPECT_EQ(budget.live, 100u);
    end_decode_budget();
    // Outside a budget nothing is limited or counted, and a block taken inside
    // one goes back after it closed.
    void* big = stb_alloc(20000);
    EXPECT_NE(big, nullptr);
    stb_free(big);
    stb_free(a);
    stb_free(nullptr);
    EXPECT_EQ(budget.live, 100u);
}

// Every colour type, bit depth and interlacing, with palettes and
// transparency, the stream in one IDAT chunk, split over several, or after an
// empty one: decode_face gives what stb_image alone gives, and what stb_image
// holds at once never exceeds what face_decode_bytes promised for the header.
TEST(face, every_format_decodes_as_before_within_its_promise) {
    const int depths_of[7][5] = {{1, 2, 4, 8, 16}, {}, {8, 16}, {1, 2, 4, 8}, {8, 16}, {}, {8, 16}};
    int decoded = 0;
    for (uint8_t colour : {0, 2, 3, 4, 6}) {
        for (int depth : depths_of[colour]) {
            for (uint8_t interlace : {0, 1}) {
                for (int variant = 0; variant < 4; ++variant) {
                    png_layout layout{.format = {uint32_t(97 + variant * 60), uint32_t(61 + variant * 17), uint8_t(depth),
                                             colour, interlace},
                                  .seed = uint32_t(variant + 1),
                                  .palette = variant == 1,
                                  .transparency = variant >= 2 && (colour & 4) == 0};
                    if (depth == 0) continue;
                    SCOPED_TRACE(testing::Message() << "colour " << int(colour) << " depth " << depth
                                                    << " interlace " << int(interlace) << " variant " << variant);
                    const bytes whole = build_png(layout);
                    int w = 0, h = 0, n = 0;
                    unsigned char* p = stbi_load_from_memory(whole.data(), int(whole.size()), &w, &h, &n, 4);
                    const auto alone = take_pixels(p, w, h);
                    ASSERT_FALSE(alone.empty());
                    for (int form = 0; form < 3; ++form) {
                        png_layout changed = layout;
                        changed.idat_pieces = form == 1 ? 3 : 1;
                        changed.empty_first_idat = form == 2;
                        const bytes png = build_png(changed);
                        int fw = 0, fh = 0;
                        p = decode_face(png.data(), uint32_t(png.size()), &fw, &fh);
                        EXPECT_EQ(take_pixels(p, fw, fh), alone);
                        EXPECT_FALSE(uses_undefined_distance(png.data(), uint32_t(png.size())));
                        EXPECT_EQ(fw, w);
                        EXPECT_EQ(fh, h);
                        decode_budget budget{UINT64_MAX, 0, 0};
                        begin_decode_budget(&budget);
                        stbi_image_free(stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &n, 4));
                        end_decode_budget();
                        stbi_info_from_memory(png.data(), int(png.size()), &w, &h, &n);
                        const face_header header{uint32_t(w), uint32_t(h), uint32_t(n),
                                                 stbi_is_16_bit_from_memory(png.data(), int(png.size())) != 0};
                        EXPECT_LE(budget.peak, face_decode_bytes(header, uint32_t(png.size())));
                        ++decoded;
                    }
                }
            }
        }
    }
    EXPECT_EQ(decoded, 15 * 2 * 4 * 3);  // 15 pairs of colour type and depth
}

// A header whose decoding needs one byte more than the budget is refused
// before the decoder runs; one that fits is decoded.
TEST(face, the_budget_is_checked_before_decoding) {
    for (uint8_t depth : {8, 16}) {
        png_format f{4096, 1, depth, 6, 0};
        const auto needs = [&](uint32_t height) {
            return face_decode_bytes({f.width, height, 4, depth == 16}, 0);
        };
        while (needs(f.height + 1) <= face_decode_budget) ++f.height;
        for (uint32_t height : {f.height, f.height + 1}) {
            f.height = height;
            bytes png = png_start(f);  // rows cut short: a decoder that runs refuses them
            put_bytes(png, png_chunk("IDAT", zlib_stored(bytes(4096 * 4 + 1, 0))));
            put_bytes(png, png_chunk("IEND", {}));
            int w = 0, h = 0;
            stbi_load_from_memory(png.data(), 0, &w, &h, nullptr, 4);  // sets a failure reason of its own
            const char* before = stbi_failure_reason();
            EXPECT_EQ(decode_face(png.data(), uint32_t(png.size()), &w, &h), nullptr);
            const bool decoder_ran = stbi_failure_reason() != before;
            EXPECT_EQ(decoder_ran, needs(height) <= face_decode_budget) << int(depth) << " bits, height " << height;
        }
    }
}

// Distance code 30, which stb_image 2.27 takes as distance 0, makes it copy
// bytes it never wrote: such a face gets the plain card. Should one reach
// stb_image all the same, those bytes read as zero whatever the heap held
// before: it gives the picture with them written as zeros.
TEST(face, a_distance_code_30_face_gets_the_plain_card) {
    const png_format f{64, 4, 8, 0, 0};
    bytes raw = png_raw_rows(f, 3);
    std::fill(raw.begin() + 1, raw.begin() + 65, 0);  // row 0 after its filter byte
    const bytes zeros_written = png_with_stream(f, zlib_stored(raw));
    const bytes copied = png_with_stream(f, zlib_blocks({{block_code::fixed, raw, {{1, 64, 30}}}}));
    const bytes plain = card_of({});
    int w = 0, h = 0, n = 0;
    unsigned char* p = stbi_load_from_memory(zeros_written.data(), int(zeros_written.size()), &w, &h, &n, 4);
    const auto expected = take_pixels(p, w, h);
    ASSERT_FALSE(expected.empty());
    for (uint8_t fill : {0xAA, 0x55}) {
        dirty_heap(fill);
        EXPECT_EQ(card_of(copied), plain) << "heap filled with " << int(fill);
        dirty_heap(fill);
        p = stbi_load_from_memory(copied.data(), int(copied.size()), &w, &h, &n, 4);
        EXPECT_EQ(take_pixels(p, w, h), expected) << "heap filled with " << int(fill);
    }
}
