// The check for deflate distance codes 30 and 31: yes exactly where stb_image
// 2.27 would decode one, whatever block holds it and however the IDAT chunks
// split the stream; a face it passes decodes to stb_image's own pixels.
#include <gtest/gtest.h>

#include <vector>

#include <stb/stb_image.h>

#include "card/deflate_check.h"
#include "card/face_decoder.h"
#include "png_builder.h"

namespace {

// The RGBA bytes stb_image alone or decode_face gives for `png`.
std::vector<uint8_t> pixels(const bytes& png, bool alone) {
    int w = 0, h = 0, n = 0;
    unsigned char* p = alone ? stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &n, 4)
                             : decode_face(png.data(), uint32_t(png.size()), &w, &h);
    std::vector<uint8_t> out;
    if (p) out.assign(p, p + size_t(w) * size_t(h) * 4);
    stbi_image_free(p);
    return out;
}

// A yes leaves decode_face nothing; a no leaves the face to stb_image.
void expect_verdict(const bytes& png, bool yes, bool decodes = true) {
    const std::vector<uint8_t> alone = pixels(png, true);
    EXPECT_EQ(uses_undefined_distance(png.data(), uint32_t(png.size())), yes);
    EXPECT_EQ(alone.empty(), !decodes);
    EXPECT_EQ(pixels(png, false), yes ? std::vector<uint8_t>{} : alone);
}

}  // namespace

// Copies with every distance code, extra bits all set, then maybe one with code
// 30 or 31, in fixed, dynamic and stored blocks; streams stb_image_write makes.
TEST(deflate_check, distance_codes_in_every_kind_of_block) {
    const png_format f{256, 160, 8, 0, 0};  // 41,120 bytes of rows
    const bytes raw = png_raw_rows(f, 7);
    // Copies inside rows 4, 9, ... 149 from `from` on, then one with `code` if it is 30 or 31.
    auto with = [&](uint32_t code, size_t from = 0) {
        std::vector<deflate_copy> copies;
        for (uint32_t c = 0; c < 30; ++c)
            if (257 * (4 + 5 * c) + 1 >= from)
                copies.push_back({257 * (4 + 5 * c) + 1 - from, 3 + c, c, c < 4 ? 0 : (1u << (c / 2 - 1)) - 1});
        if (code >= 30) copies.push_back({40500 - from, 258, code});
        return copies;
    };
    using enum block_code;
    const bytes row0(raw.begin(), raw.begin() + 257), row1(raw.begin() + 257, raw.begin() + 514);
    const bytes small = png_raw_rows({16, 4, 8, 0, 0}, 2);
    const bytes first = zlib_blocks({{stored, raw, {}}}), tail = zlib_blocks({{fixed, small, {{1, 3, 30}}}});
    bytes after_final(first.begin(), first.end() - 4);  // the final block, then another before Adler-32
    after_final.insert(after_final.end(), tail.begin() + 2, tail.end() - 4);
    after_final.insert(after_final.end(), first.end() - 4, first.end());
    const struct {
        bytes zlib;
        bool yes;
        bool decodes = true;
    } cases[] = {
        {zlib_blocks({{fixed, raw, with(0)}}), false},
        {zlib_blocks({{dynamic, raw, with(0)}}), false},
        {zlib_blocks({{fixed, raw, with(31)}}), true},
        {zlib_blocks({{dynamic, raw, with(30)}}), true},
        {zlib_blocks({{stored, row0, {}}, {fixed, bytes(raw.begin() + 257, raw.end()), with(30, 257)}}), true},
        {zlib_blocks({{fixed, row0, {}}, {stored, row1, {}}, {dynamic, bytes(raw.begin() + 514, raw.end()), with(31, 514)}}),
         true},
        {zlib_blocks({{stored, raw, {}}, {stored, small, {}}}), false},
        // Distance 5 after 5 bytes, then 6: the decoder refuses that before code 30.
        {zlib_blocks({{fixed, raw, {{5, 3, 4, 0}, {100, 3, 30}}}}), true},
        {zlib_blocks({{fixed, raw, {{5, 3, 4, 1}, {100, 3, 30}}}}), false, false},
        {after_final, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        expect_verdict(png_with_stream(f, c.zlib), c.yes, c.decodes);
    }
    for (int side : {1, 7, 64, 200}) expect_verdict(encode_png(busy_picture(side, side / 2 + 1, uint32_t(side))), false);
}

// The stream split over IDAT chunks as the decoder gathers them; the PNG cut
// or damaged; code 30 after exactly the decode budget's bytes, and one more.
TEST(deflate_check, idat_chunks_as_the_decoder_gathers_them) {
    const png_format f{16, 4, 8, 0, 0};
    const bytes rows = png_raw_rows(f, 4);
    const bytes zlib = zlib_blocks({{block_code::fixed, rows, {{20, 10, 30}}}});
    auto chunks = [&](std::vector<bytes> parts) {  // then IEND
        bytes png = png_start(f);
        for (const bytes& part : parts) put_bytes(png, part);
        put_bytes(png, png_chunk("IEND", {}));
        return png;
    };
    const bytes half1(zlib.begin(), zlib.begin() + 9), half2(zlib.begin() + 9, zlib.end());
    const bytes bare(zlib.begin() + 2, zlib.end()), whole = png_with_stream(f, zlib);
    auto cut = [&](size_t n) { return bytes(whole.begin(), whole.end() - long(n)); };
    bytes bad_header = zlib, long_idat = whole;
    bad_header[1] ^= 1;  // the header's check bits
    long_idat[33 + 2] = 0x10;  // the IDAT chunk's length, 4 KiB more than it holds
    const struct {
        bytes png;
        bool yes;
    } cases[] = {
        {png_with_stream(f, zlib, 1), true},
        {chunks({png_chunk("IDAT", {}), png_chunk("IDAT", zlib)}), true},
        {chunks({png_chunk("IDAT", half1), png_chunk("tEXt", bytes(7, 'a')), png_chunk("IDAT", {}), png_chunk("IDAT", half2)}),
         true},
        {chunks({png_chunk("CgBI", bytes(4, 0)), png_chunk("IDAT", bare)}), true},
        {chunks({png_chunk("IDAT", bare)}), false},  // no CgBI, no zlib header
        {chunks({png_chunk("IDAT", zlib_stored(rows)), png_chunk("IEND", {}), png_chunk("IDAT", zlib)}), false},
        {cut(4), true},  // IEND's CRC is never read
        {cut(5), false},
        {chunks({png_chunk("IDAT", bad_header)}), false},
        {long_idat, false},
        {png_with_stream({1, 1, 8, 0, 0}, zlib_zero_run(face_decode_budget, 30)), true},
        {png_with_stream({1, 1, 8, 0, 0}, zlib_zero_run(face_decode_budget + 1, 30)), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(uses_undefined_distance(c.png.data(), uint32_t(c.png.size())), c.yes);
        if (c.yes) EXPECT_EQ(pixels(c.png, false), std::vector<uint8_t>{});
    }
}

// A distance code only in the zeros stb_image 2.27 reads past the stream's end:
// it decodes code 30, and the face, only where it still holds 16 bits at both
// decodes. The check meets the code exactly where 2.27 decodes the face.
TEST(deflate_check, a_code_only_past_the_end_of_the_data) {
    const png_format f{64, 4, 8, 0, 0};  // 260 bytes of rows
    const bytes rows = png_raw_rows(f, 5);
    int decoded = 0;
    for (int i = 0; i < 2 * 6 * 2; ++i) {
        const uint32_t length = i < 12 ? 131 : 227, shift = i % 2 * 5;
        const int real_extra = i / 2 % 6;
        SCOPED_TRACE(testing::Message() << "length " << length << ", extra bits " << real_extra << ", shift " << shift);
        const bytes png = png_with_stream(f, zlib_copy_at_end(bytes(rows.begin(), rows.end() - long(length)), length,
                                                              real_extra, shift));
        const bool stb_decodes = !pixels(png, true).empty();
        decoded += stb_decodes;
        EXPECT_EQ(uses_undefined_distance(png.data(), uint32_t(png.size())), stb_decodes);
        EXPECT_EQ(pixels(png, false), std::vector<uint8_t>{});
    }
    EXPECT_EQ(decoded, 6);
}

// Stored blocks whose bytes end exactly at the end of the stream (no Adler-32
// follows; stb_image never reads it) or claim one byte more than is left: the
// check stops, or inflates to the end, exactly where stb_image does.
TEST(deflate_check, stored_blocks_at_the_end_of_the_data) {
    const png_format f{16, 4, 8, 0, 0};
    const bytes rows = png_raw_rows(f, 6), head(rows.begin(), rows.begin() + 30), rest(rows.begin() + 30, rows.end());
    // A stored block of `data` whose length says `extra` bytes more.
    auto stored = [](bool final_block, const bytes& data, uint32_t extra = 0) {
        const uint32_t len = uint32_t(data.size()) + extra;
        bytes b{uint8_t(final_block), uint8_t(len), uint8_t(len >> 8), uint8_t(~len), uint8_t(~len >> 8)};
        put_bytes(b, data);
        return b;
    };
    auto stream = [](std::vector<bytes> blocks) {
        bytes z{0x78, 0x01};
        for (const bytes& b : blocks) put_bytes(z, b);
        return z;
    };
    using enum inflate_end;
    const struct {
        bytes zlib;
        inflate_end end;
        bool decodes;  // the picture: every row there
    } cases[] = {
        {stream({stored(true, rows)}), complete, true},
        {stream({stored(true, rows, 1)}), refused, false},
        {stream({stored(true, head), stored(true, rest)}), complete, false},  // the first block ends it
        {stream({stored(false, head), stored(true, rest)}), complete, true},
        {stream({stored(false, head), stored(true, rest, 1)}), refused, false},
        {stream({stored(false, rows), stored(true, {})}), complete, true},
        {stream({stored(false, rows), stored(true, {}, 1)}), refused, false},
        {stream({stored(false, rows)}), refused, false},  // zeros follow: lengths that do not match
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        int n = 0;
        char* inflated = stbi_zlib_decode_malloc(reinterpret_cast<const char*>(c.zlib.data()), int(c.zlib.size()), &n);
        EXPECT_EQ(inflated != nullptr, c.end == complete);
        stbi_image_free(inflated);
        const bytes png = png_with_stream(f, c.zlib);
        EXPECT_EQ(inflate_like_stb(png.data(), uint32_t(png.size())), c.end);
        expect_verdict(png, false, c.decodes);
    }
}
