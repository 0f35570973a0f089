// Decoding face pictures: stb_image's allocator (zero-filled blocks, held to a
// budget), and the memory a header promises.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <stb/stb_image.h>

#include "card/deflate_check.h"
#include "card/face_decoder.h"
#include "card/stb_alloc.h"
#include "png_builder.h"

namespace {

// A block handed out next shows `fill` unless the allocator clears it.
void dirty_heap(uint8_t fill) {
    std::vector<void*> blocks;
    for (size_t size = 16; size <= 1 << 20; size += size / 3 + 16)
        blocks.push_back(std::memset(std::malloc(size), fill, size));
    for (void* b : blocks) std::free(b);
}

// The RGBA bytes of `png` as stb_image alone decodes it; empty when it does not.
bytes stb_pixels(const bytes& png, int* w, int* h) {
    int n = 0;
    unsigned char* p = stbi_load_from_memory(png.data(), int(png.size()), w, h, &n, 4);
    const bytes out = p ? bytes(p, p + size_t(*w) * size_t(*h) * 4) : bytes();
    stbi_image_free(p);
    return out;
}

}  // namespace

// A moving block counts twice while it moves; one byte over the budget fails and
// leaves block and count alone. Outside a budget nothing is limited or counted.
TEST(face, allocator_zero_fills_and_holds_to_the_budget) {
    dirty_heap(0xAA);
    decode_budget budget{10000, 0, 0};
    begin_decode_budget(&budget);
    auto* a = static_cast<uint8_t*>(stb_alloc(4000));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(bytes(a, a + 4000), bytes(4000, 0));
    std::memset(a, 0xFF, 4000);
    a = static_cast<uint8_t*>(stb_realloc(a, 6000));  // 4000 + 6000 while it moves: just inside
    ASSERT_NE(a, nullptr);
    bytes want(6000, 0);
    std::fill_n(want.begin(), 4000, 0xFF);
    EXPECT_EQ(bytes(a, a + 6000), want);
    EXPECT_EQ(budget.peak, 10000u);
    EXPECT_EQ(stb_alloc(4001), nullptr);
    EXPECT_EQ(stb_realloc(a, 6000 + 4001), nullptr);
    // Growing by 1000 bytes only, but holding 6000 + 7000 while it moves.
    EXPECT_EQ(stb_realloc(a, 7000), nullptr);
    EXPECT_EQ(bytes(a, a + 6000), want);
    void* b = stb_alloc(4000);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(budget.live, 10000u);
    stb_free(b);
    want.assign(200, 0);
    std::fill_n(want.begin(), 100, 0xFF);
    a = static_cast<uint8_t*>(stb_realloc(a, 100));
    a = static_cast<uint8_t*>(stb_realloc(a, 200));  // back over bytes the shrinking left behind
    EXPECT_EQ(bytes(a, a + 200), want);
    EXPECT_EQ(budget.live, 200u);
    end_decode_budget();
    void* big = stb_alloc(20000);
    EXPECT_NE(big, nullptr);
    stb_free(big), stb_free(a), stb_free(nullptr);
    EXPECT_EQ(budget.live, 200u);
}

// Every colour type, depth and interlacing, palettes, transparency, one IDAT or
// several or after an empty one: stb_image's own pixels, the check says no, and
// the peak stays within what face_decode_bytes promised for the header.
TEST(face, every_format_decodes_as_before_within_its_promise) {
    const int depths_of[7][5] = {{1, 2, 4, 8, 16}, {}, {8, 16}, {1, 2, 4, 8}, {8, 16}, {}, {8, 16}};
    int decoded = 0;
    for (uint8_t colour : {0, 2, 3, 4, 6})
        for (int depth : depths_of[colour])
            for (int i = 0; depth && i < 2 * 4 * 3; ++i) {
                const int variant = i / 2 % 4, form = i / 8;
                const png_format f{uint32_t(97 + variant * 60), uint32_t(61 + variant * 17), uint8_t(depth), colour,
                                   uint8_t(i % 2)};
                SCOPED_TRACE(testing::Message() << "colour " << int(colour) << " depth " << depth << " case " << i);
                const bytes png = build_png({.format = f, .seed = uint32_t(variant + 1), .palette = variant == 1,
                                             .transparency = variant >= 2 && (colour & 4) == 0,
                                             .idat_pieces = form == 1 ? 3 : 1, .empty_first_idat = form == 2});
                int w = 0, h = 0, n = 0, fw = 0, fh = 0;
                decode_budget budget{UINT64_MAX, 0, 0};
                begin_decode_budget(&budget);
                const bytes alone = stb_pixels(png, &w, &h);
                end_decode_budget();
                ASSERT_FALSE(alone.empty());
                unsigned char* p = decode_face(png.data(), uint32_t(png.size()), &fw, &fh);
                EXPECT_TRUE(fw == w && fh == h && p && std::equal(alone.begin(), alone.end(), p));
                stbi_image_free(p);
                EXPECT_FALSE(uses_undefined_distance(png.data(), uint32_t(png.size())));
                stbi_info_from_memory(png.data(), int(png.size()), &w, &h, &n);
                const face_header header{uint32_t(w), uint32_t(h), uint32_t(n), depth == 16};
                EXPECT_LE(budget.peak, face_decode_bytes(header, uint32_t(png.size())));
                ++decoded;
            }
    EXPECT_EQ(decoded, 15 * 2 * 4 * 3);  // 15 pairs of colour type and depth
}

// A header promising exactly the budget is handed to the decoder; one promising
// more is refused before it runs. The stored bytes set the file's length, which
// counts twice while the IDAT chunks are gathered; the grey + alpha picture is
// one byte over through the half image kept for an interlaced pass (3 bytes a
// pixel, halved). Every stream is far too short: a decoder that runs refuses it.
TEST(face, the_budget_is_checked_before_decoding) {
    const struct {
        png_format format;
        size_t stored;  // bytes of the one stored block
        uint64_t over;  // face_decode_bytes beyond the budget
    } cases[] = {
        {{4096, 2730, 8, 6, 0}, 22462, 0},  {{4096, 2730, 8, 6, 0}, 22463, 2},
        {{4096, 1365, 16, 6, 0}, 26557, 0}, {{4096, 1365, 16, 6, 0}, 26558, 2}, {{2259, 9505, 8, 4, 0}, 1, 1},
    };
    for (const auto& [f, stored, over] : cases) {
        SCOPED_TRACE(testing::Message() << f.width << " x " << f.height << ", " << stored << " bytes stored");
        const bytes png = png_with_stream(f, zlib_stored(bytes(stored, 0)));
        const face_header header{f.width, f.height, png_channels(f.colour), f.depth == 16};
        ASSERT_EQ(face_decode_bytes(header, uint32_t(png.size())), face_decode_budget + over);
        int w = 0, h = 0;
        stbi_load_from_memory(png.data(), 0, &w, &h, nullptr, 4);  // sets a failure reason of its own
        const char* before = stbi_failure_reason();
        EXPECT_EQ(decode_face(png.data(), uint32_t(png.size()), &w, &h), nullptr);
        EXPECT_EQ(stbi_failure_reason() != before, over == 0);
    }
}

// Bytes stb_image 2.27 never wrote (copied by code 30) read as zero on a dirty heap.
TEST(face, bytes_never_written_read_as_zero) {
    const png_format f{64, 4, 8, 0, 0};
    bytes raw = png_raw_rows(f, 3);
    std::fill(raw.begin() + 1, raw.begin() + 65, 0);  // row 0 after its filter byte
    int w = 0, h = 0;
    const bytes expected = stb_pixels(png_with_stream(f, zlib_stored(raw)), &w, &h);
    ASSERT_FALSE(expected.empty());
    const bytes copied = png_with_stream(f, zlib_blocks({{block_code::fixed, raw, {{1, 64, 30}}}}));
    dirty_heap(0xAA);
    EXPECT_EQ(stb_pixels(copied, &w, &h), expected);
}
