// The check for deflate distance codes 30 and 31: yes exactly where stb_image
// 2.27 would decode one, whatever block holds it and however the IDAT chunks
// split the stream; a face it passes decodes to stb_image's own pixels.
#include <gtest/gtest.h>

#include <stb/stb_image.h>

#include "card/deflate_check.h"
#include "card/face_decoder.h"
#include "png_builder.h"

namespace {

// The RGBA bytes stb_image alone or decode_face gives for `png`; empty when it fails.
bytes pixels(const bytes& png, bool alone) {
    int w = 0, h = 0, n = 0;
    unsigned char* p = alone ? stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &n, 4)
                             : decode_face(png.data(), uint32_t(png.size()), &w, &h);
    const bytes out = p ? bytes(p, p + size_t(w) * size_t(h) * 4) : bytes();
    stbi_image_free(p);
    return out;
}

bool says_yes(const bytes& png) { return uses_undefined_distance(png.data(), uint32_t(png.size())); }

// A yes leaves decode_face nothing; a no leaves the face to stb_image.
void expect_verdict(const bytes& png, bool yes, bool decodes = true) {
    const bytes alone = pixels(png, true);
    EXPECT_EQ(says_yes(png), yes);
    EXPECT_EQ(alone.empty(), !decodes);
    EXPECT_EQ(pixels(png, false), yes ? bytes() : alone);
}

}  // namespace

// Copies with every distance code, extra bits all set, then maybe one with code
// 30 or 31, in fixed, dynamic and stored blocks; streams stb_image_write makes.
TEST(deflate_check, distance_codes_in_every_kind_of_block) {
    const png_format f{256, 160, 8, 0, 0};  // 41,120 bytes of rows
    const bytes raw = png_raw_rows(f, 7);
    auto with = [&](uint32_t code, size_t from = 0) {  // copies in rows 4, 9, ... 149 from `from` on, then `code`
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
        bool yes, decodes = true;
    } cases[] = {
        {zlib_blocks({{fixed, raw, with(0)}}), false}, {zlib_blocks({{dynamic, raw, with(0)}}), false},
        {zlib_blocks({{fixed, raw, with(31)}}), true}, {zlib_blocks({{dynamic, raw, with(30)}}), true},
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

// IDAT chunks as the decoder gathers them; the PNG cut or damaged; code 30
// after exactly the decode budget's bytes, and one more.
TEST(deflate_check, idat_chunks_as_the_decoder_gathers_them) {
    const png_format f{16, 4, 8, 0, 0};
    const bytes rows = png_raw_rows(f, 4), zlib = zlib_blocks({{block_code::fixed, rows, {{20, 10, 30}}}});
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
    bad_header[1] ^= 1;        // the header's check bits
    long_idat[33 + 2] = 0x10;  // the IDAT chunk's length, 4 KiB more than it holds
    const std::pair<bytes, bool> cases[] = {
        {png_with_stream(f, zlib, 1), true},
        {chunks({png_chunk("IDAT", {}), png_chunk("IDAT", zlib)}), true},
        {chunks({png_chunk("IDAT", half1), png_chunk("tEXt", bytes(7, 'a')), png_chunk("IDAT", {}), png_chunk("IDAT", half2)}),
         true},
        {chunks({png_chunk("CgBI", bytes(4, 0)), png_chunk("IDAT", bare)}), true},
        {chunks({png_chunk("IDAT", bare)}), false},  // no CgBI, no zlib header
        {chunks({png_chunk("IDAT", zlib_stored(rows)), png_chunk("IEND", {}), png_chunk("IDAT", zlib)}), false},
        {cut(4), true},  // IEND's CRC is never read
        {cut(5), false}, {chunks({png_chunk("IDAT", bad_header)}), false}, {long_idat, false},
        {png_with_stream({1, 1, 8, 0, 0}, zlib_zero_run(face_decode_budget, 30)), true},
        {png_with_stream({1, 1, 8, 0, 0}, zlib_zero_run(face_decode_budget + 1, 30)), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(says_yes(c.first), c.second);
        if (c.second) EXPECT_EQ(pixels(c.first, false), bytes());
    }
}

// A distance code only in the zeros stb_image 2.27 reads past the stream's end:
// the check meets it exactly where 2.27 decodes the face (16 bits still held).
TEST(deflate_check, a_code_only_past_the_end_of_the_data) {
    const png_format f{64, 4, 8, 0, 0};  // 260 bytes of rows
    const bytes rows = png_raw_rows(f, 5);
    int decoded = 0;
    for (int i = 0; i < 2 * 6 * 2; ++i) {
        const uint32_t length = i < 12 ? 131 : 227, shift = i % 2 * 5;
        SCOPED_TRACE(i);
        const bytes png = png_with_stream(f, zlib_copy_at_end(bytes(rows.begin(), rows.end() - long(length)), length,
                                                              i / 2 % 6, shift));
        const bool stb_decodes = !pixels(png, true).empty();
        decoded += stb_decodes;
        EXPECT_EQ(says_yes(png), stb_decodes);
        EXPECT_EQ(pixels(png, false), bytes());
    }
    EXPECT_EQ(decoded, 6);
}

// Stored blocks ending exactly at the stream's end (no Adler-32, which stb_image
// never reads) or one byte past it: inflated or refused exactly as stb_image does.
TEST(deflate_check, stored_blocks_at_the_end_of_the_data) {
    const png_format f{16, 4, 8, 0, 0};
    const bytes rows = png_raw_rows(f, 6), head(rows.begin(), rows.begin() + 30), rest(rows.begin() + 30, rows.end());
    struct block {
        bool final_block;
        bytes data;
        uint32_t extra = 0;  // bytes the length claims beyond the data
    };
    auto stream = [](std::vector<block> blocks) {
        bytes z{0x78, 0x01};
        for (const block& b : blocks) {
            const uint32_t len = uint32_t(b.data.size()) + b.extra;
            put_bytes(z, {uint8_t(b.final_block), uint8_t(len), uint8_t(len >> 8), uint8_t(~len), uint8_t(~len >> 8)});
            put_bytes(z, b.data);
        }
        return z;
    };
    const std::pair<bytes, bool> cases[] = {  // the stream; whether the picture has every row
        {stream({{true, rows}}), true}, {stream({{true, rows, 1}}), false},
        {stream({{true, head}, {true, rest}}), false},  // the first block ends it
        {stream({{false, head}, {true, rest}}), true}, {stream({{false, head}, {true, rest, 1}}), false},
        {stream({{false, rows}, {true, {}}}), true}, {stream({{false, rows}, {true, {}, 1}}), false},
        {stream({{false, rows}}), false},  // zeros follow: lengths that do not match
    };
    int complete = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const auto& [zlib, decodes] = c;
        int n = 0;
        char* inflated = stbi_zlib_decode_malloc(reinterpret_cast<const char*>(zlib.data()), int(zlib.size()), &n);
        const inflate_end stb_end = inflated ? inflate_end::complete : inflate_end::refused;
        complete += inflated != nullptr;
        stbi_image_free(inflated);
        const bytes png = png_with_stream(f, zlib);
        EXPECT_EQ(inflate_like_stb(png.data(), uint32_t(png.size())), stb_end);
        expect_verdict(png, false, decodes);
    }
    EXPECT_EQ(complete, 4);
}
