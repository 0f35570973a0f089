// Scenes made to break the tool: cut short, with lengths, counts and extents
// that point past the end, chunk walks that run off, and face pictures that are
// damaged or declare sizes whose products overflow 32 bits. Every buffer is
// sized exactly, so that a read one byte too far trips the address sanitizer.
#include <gtest/gtest.h>

#include <stb/stb_image.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "card/canvas.h"
#include "card/colours.h"
#include "card/scaler.h"
#include "extract/driver.h"
#include "extract/marker_table.h"
#include "extract/record.h"
#include "extract/scene.h"
#include "scene_builder.h"

namespace {

struct scan_result {
    bool scene = false;
    scan_totals totals{};
    std::vector<bytes> records, pngs;  // of the cards, in order
};

bool store_card(void* context, const char*, const uint8_t* png, size_t png_len,
                const uint8_t* record, size_t record_len) {
    auto* r = static_cast<scan_result*>(context);
    r->pngs.emplace_back(png, png + png_len);
    r->records.emplace_back(record, record + record_len);
    return true;
}

// The tool's path from the scene checks to the last card, in memory.
scan_result scan(const bytes& file) {
    const bytes exact(file);  // capacity == size, unlike a vector that grew
    scan_result r;
    uint32_t iend = 0;
    r.scene = find_scene_data(exact.data(), uint32_t(exact.size()), &iend);
    if (!r.scene) return r;
    std::FILE* null_out = std::fopen("/dev/null", "wb");
    scan_scene(exact.data(), uint32_t(exact.size()), iend, 0xABCD, card_sink{store_card, &r},
               null_out, &r.totals);
    std::fclose(null_out);
    return r;
}

// True when the card picture decodes to 252 x 352 pixels all of `colour`.
bool card_is_all(const bytes& png, uint32_t colour) {
    int w = 0, h = 0, n = 0;
    stbi_uc* p = stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &n, 4);
    bool same = p && w == card_width && h == card_height;
    for (int i = 0; same && i < card_pixel_count; ++i) same = reinterpret_cast<uint32_t*>(p)[i] == colour;
    stbi_image_free(p);
    return same;
}

sp_record female_with_face(const bytes& face) {
    sp_record r;
    r.picture1 = face;
    r.final_section = final_with_sex(1);
    return r;
}

struct parsed {
    uint32_t match;
    const marker_row* row;
    record_info info;
};

// Every record of a well-formed scene, as the scan meets them.
std::vector<parsed> parse_all(const bytes& scene, uint32_t from) {
    std::vector<parsed> out;
    parsed p{};
    for (uint64_t at = find_next_marker(scene.data(), scene.size(), from, &p.row); at < scene.size();
         at = find_next_marker(scene.data(), scene.size(), p.info.end, &p.row)) {
        p.match = uint32_t(at);
        if (!parse_record(scene.data(), uint32_t(scene.size()), p.match, *p.row, 0, 0, &p.info)) break;
        out.push_back(p);
    }
    return out;
}

}  // namespace

// A scene cut at every length: it is a scene only from 31 bytes after IEND on,
// the marker search finds exactly the markers wholly inside, and each record is
// measured as in the whole file when it fits and refused when it does not,
// whatever field the cut went through.
TEST(hostile, scene_cut_at_every_length) {
    const bytes face = encode_png(busy_picture(3, 2));
    std::vector<bytes> all;
    for (int row : {row_hc, row_kk, row_kk_sp, row_kks, row_ais, row_rg}) {
        sp_record r = female_with_face(face);
        r.row = row;
        r.with_pair = row == row_kks || row == row_rg;
        r.skipped = bytes(5, 0x41);
        if (row == row_rg) r.picture2 = face;
        all.push_back(build_sp_record(r));
    }
    for (int row : {row_hs_male, row_hs_female})
        all.push_back(build_table_record({row, {{3, 4}, {10, 0}}, bytes(12, 0x42)}));
    const bytes whole = scene_with_records(all, 3);
    uint32_t iend = 0;
    ASSERT_TRUE(find_scene_data(whole.data(), uint32_t(whole.size()), &iend));
    const std::vector<parsed> records = parse_all(whole, iend);
    ASSERT_EQ(records.size(), 8u);

    for (uint32_t len = 0; len <= whole.size(); ++len) {
        SCOPED_TRACE("cut at " + std::to_string(len));
        const bytes cut(whole.begin(), whole.begin() + len);
        uint32_t cut_iend = 0;
        ASSERT_EQ(find_scene_data(cut.data(), len, &cut_iend), len >= 64 && len > iend + 42);
        std::vector<uint32_t> found, inside;
        const marker_row* row = nullptr;
        for (uint64_t at = find_next_marker(cut.data(), len, iend, &row); at < len;
             at = find_next_marker(cut.data(), len, at + 1, &row))
            found.push_back(uint32_t(at));
        for (const parsed& p : records)
            if (p.match + p.row->length <= len) inside.push_back(p.match);
        ASSERT_EQ(found, inside);
        for (const parsed& p : records) {
            if (p.match >= len) break;
            record_info info{};
            const bool ok = parse_record(cut.data(), len, p.match, *p.row, 0, 0, &info);
            ASSERT_EQ(ok, p.info.end <= len) << "record at " << p.match;
            if (!ok) continue;
            EXPECT_EQ(info.first, p.info.first);
            EXPECT_EQ(info.end, p.info.end);
            EXPECT_EQ(info.face_pos, p.info.face_pos);
            EXPECT_EQ(info.face_len, p.info.face_len);
            EXPECT_EQ(info.sex, p.info.sex);
        }
    }

    // The whole path at each record's end: one byte short, that record is no
    // match and the scan moves on; the cards before it are all there.
    for (size_t i = 0; i < records.size(); ++i) {
        for (uint32_t len : {records[i].info.end - 1, records[i].info.end}) {
            SCOPED_TRACE("whole path cut at " + std::to_string(len));
            const scan_result r = scan(bytes(whole.begin(), whole.begin() + len));
            const size_t complete = len == records[i].info.end ? i + 1 : i;
            ASSERT_EQ(r.records.size(), complete);
            EXPECT_EQ(r.totals.matches, complete);
            for (size_t k = 0; k < complete; ++k)
                EXPECT_EQ(r.records[k], bytes(whole.begin() + records[k].info.first,
                                              whole.begin() + records[k].info.end));
        }
    }
}

// One length, count or extent at a time points past the end of the file. That
// record is no match; the scan goes on and still finds the record after it.
TEST(hostile, one_field_past_the_end) {
    sp_record kk = female_with_face(encode_png(busy_picture(2, 2)));
    kk.skipped = bytes(6, 0x43);
    sp_record rg = kk;
    rg.row = row_rg;
    rg.picture2 = kk.picture1;
    const bytes hs = build_table_record({row_hs_male, {{5, 6}, {2, 1}}, bytes(11, 0x44)});
    const bytes after = build_table_record({row_hs_female, {}, {}});

    // Offsets from the record's first byte, following the layouts.
    const size_t kk_text = 5 + marker_text(row_kk).size();
    const size_t kk_p1 = kk_text + 1 + kk.text.size();
    const size_t kk_h = kk_p1 + 4 + kk.picture1.size();
    const size_t rg_p2 = 5 + marker_text(row_rg).size() + 1 + rg.text.size() + 4 + rg.picture1.size();
    const size_t hs_count = 1 + marker_text(row_hs_male).size() + 4;
    const bytes ff(4, 0xFF);
    const struct {
        const char* what;
        bytes record;
        size_t at, width;  // where the field starts, how many bytes get 0xFF
    } cases[] = {
        {"string length", build_sp_record(kk), kk_text, 1},
        {"first picture length", build_sp_record(kk), kk_p1, 4},
        {"skipped section length", build_sp_record(kk), kk_h, 3},
        {"final section length", build_sp_record(kk), kk_h + 4 + kk.skipped.size(), 4},
        {"second picture length", build_sp_record(rg), rg_p2, 3},
        {"entry count", hs, hs_count, 2},
        {"extent a", hs, hs_count + 4 + 132, 3},
        {"extent b of the last entry", hs, hs_count + 4 + 148 + 140, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bytes record = c.record;
        std::copy(ff.begin(), ff.begin() + long(c.width), record.begin() + long(c.at));
        const scan_result r = scan(scene_with_records({record, after}, 4));
        ASSERT_EQ(r.records.size(), 1u);
        EXPECT_EQ(r.totals.matches, 1u);
        EXPECT_EQ(r.records[0], after);
    }
}

// 65,535 entries of 148 bytes: a record of almost 10 MB, measured in full when
// it is all there and refused when its data area is one byte short.
TEST(hostile, entry_count_65535) {
    table_record big{row_hs_female, std::vector<table_entry>(65535), bytes(40, 0x45)};
    big.entries[70].a = 30;
    big.entries[65534].b = 40;  // the furthest extent, on the last entry
    const bytes record = build_table_record(big);
    for (size_t cut : {0, 1}) {
        SCOPED_TRACE(cut ? "one byte short" : "complete");
        bytes scene = png_head();
        put_bytes(scene, bytes(40, '.'));
        scene.insert(scene.end(), record.begin(), record.end() - long(cut));  // it ends the file
        const scan_result r = scan(scene);
        ASSERT_EQ(r.records.size(), 1 - cut);
        EXPECT_EQ(r.totals.matches, 1 - cut);
        if (!cut) {
            EXPECT_TRUE(r.records[0] == record);  // 9.7 MB: no dump on failure
            EXPECT_TRUE(card_is_all(r.pngs[0], plain_female));
        }
    }
}

// The chunk walk ends at IEND or at the end of the buffer for every length a
// chunk can declare. It cannot loop: each step moves at least 12 bytes, and a
// file of zero-length chunks is walked to its end.
TEST(hostile, chunk_walk_never_leaves_the_buffer) {
    const bytes signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (uint32_t length = 0; length < 400; ++length) {
        // Only a length of 40 reaches the IEND chunk at 60; the walk reads
        // lengths of 0x787878 anywhere else.
        bytes file = signature;
        put_bytes(file, {0, 0, uint8_t(length >> 8), uint8_t(length), 't', 'E', 'X', 't'});
        put_bytes(file, bytes(44, 'x'));  // data and CRC
        put_bytes(file, {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
        put_bytes(file, bytes(60, 'x'));
        const bytes exact(file);
        uint32_t iend = 0;
        EXPECT_EQ(find_scene_data(exact.data(), uint32_t(exact.size()), &iend), length == 40) << length;
    }
    bytes zeros = signature;
    zeros.resize(1 << 20, 0);
    uint32_t iend = 0;
    EXPECT_FALSE(find_scene_data(zeros.data(), uint32_t(zeros.size()), &iend));
}

namespace {

// A PNG with the given IHDR fields and IDAT bytes; CRCs are left zero, since
// the decoder does not check them.
bytes png_with(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour_type, const bytes& idat) {
    bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto put_be32 = [&b](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) put_u8(b, v >> shift);
    };
    put_be32(13);
    put_text(b, "IHDR");
    put_be32(width);
    put_be32(height);
    put_bytes(b, {depth, colour_type, 0, 0, 0, 0, 0, 0, 0});
    put_be32(uint32_t(idat.size()));
    put_text(b, "IDAT");
    put_bytes(b, idat);
    put_bytes(b, {0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0, 0, 0, 0});
    return b;
}

// zlib data with fixed Huffman codes for long periodic data: `head` as
// literals, then `count` more bytes repeating its last `period` (1 or 2) bytes
// as runs of 258. Keeps pictures of many megapixels a few KiB long.
bytes zlib_periodic(const bytes& head, uint32_t period, uint64_t count) {
    bytes out = {0x78, 0x01};
    uint32_t acc = 0;
    int filled = 0;
    auto bits = [&](uint32_t value, int n) {  // data bits go least significant first
        acc |= value << filled;
        for (filled += n; filled >= 8; filled -= 8, acc >>= 8) out.push_back(uint8_t(acc));
    };
    auto code = [&](uint32_t value, int n) {  // Huffman codes most significant first
        for (int i = n - 1; i >= 0; --i) bits((value >> i) & 1, 1);
    };
    auto literal = [&](uint8_t v) { v < 144 ? code(0x30 + v, 8) : code(0x190 + v - 144u, 9); };
    bits(1, 1);  // the final block
    bits(1, 2);  // fixed codes
    for (uint8_t v : head) literal(v);
    for (; count >= 258; count -= 258) {
        code(0xC5, 8);        // length 258 (code 285)
        code(period - 1, 5);  // distance 1 or 2
    }
    for (uint64_t i = 0; i < count; ++i) literal(head[head.size() - period + i % period]);
    code(0, 7);  // end of block
    bits(0, 7);  // flush; the decoder does not check the Adler-32 that follows
    put_le32(out, 0);
    return out;
}

}  // namespace

// Face pictures that do not decode give the plain card. Pictures of 2^24 x 1
// and 1 x 9M decode; their fitted region is empty (the second one's effective
// height times 252 does not fit 32 bits), so the whole card is pixel 0.
TEST(hostile, damaged_and_huge_face_pictures) {
    const bytes good = encode_png(busy_picture(20, 10));
    const bytes cut(good.begin(), good.begin() + long(good.size() / 2));
    bytes bad_block = good;
    bad_block[33 + 8 + 2] |= 0x06;  // the first deflate block's type becomes 3, which does not exist
    const bytes tiny = zlib_periodic({0, 0}, 1, 0);
    // Grey at one bit a pixel: pixel 0 black, every other pixel white.
    const uint32_t wide = 1u << 24, tall = 9000000;
    const bytes wide_png = png_with(wide, 1, 1, 0, zlib_periodic({0, 0x7F, 0xFF}, 1, wide / 8 - 2));
    const bytes tall_png = png_with(1, tall, 1, 0, zlib_periodic({0, 0, 0, 0x80}, 2, 2 * uint64_t(tall - 2)));
    const uint32_t black = 0xFF000000;
    const struct {
        const char* what;
        bytes face;
        uint32_t colour;  // of every pixel of the card
    } cases[] = {
        {"PNG cut in half", cut, plain_female},
        {"damaged deflate data", bad_block, plain_female},
        {"not a PNG", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0}, plain_female},
        {"declares 2^24 x 1, holds one row byte", png_with(wide, 1, 8, 6, tiny), plain_female},
        {"declares 1 x 9M, holds one row byte", png_with(1, tall, 8, 6, tiny), plain_female},
        {"declares 2^31 - 1 square", png_with(0x7FFFFFFF, 0x7FFFFFFF, 8, 6, tiny), plain_female},
        {"declares width 0", png_with(0, 10, 8, 6, tiny), plain_female},
        // The decoder's first output guess, 2 x 256 x 4 x 2^20 + 2^20 bytes, passes
        // its size checks yet does not fit an int: the allocation must fail cleanly.
        {"declares 256 x 2^20 at 16 bits", png_with(256, 1 << 20, 16, 6, tiny), plain_female},
        {"2^24 x 1", wide_png, black},
        {"1 x 9M", tall_png, black},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const scan_result r = scan(scene_with_records({build_sp_record(female_with_face(c.face))}));
        ASSERT_EQ(r.pngs.size(), 1u);
        EXPECT_TRUE(card_is_all(r.pngs[0], c.colour));
    }
}

// Sources far larger than the destination overflow the 16.16 steps; the
// scaler must still read only inside the source and write only the region's
// pixels (its last column excepted).
TEST(hostile, scaler_steps_that_overflow) {
    const struct {
        int sw, sh, dw, dh;
    } cases[] = {
        {3 * 32768, 1, 3, 1},  // horizontal step 2^31
        {70000, 2, 2, 2},      // horizontal step past 2^31
        {2, 3 * 32768, 2, 3},  // vertical step 2^31
        {4, 200000, 4, 1},     // vertical step past 2^32
    };
    constexpr int ds = 10, dx = 3, dy = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sw) + " x " + std::to_string(c.sh));
        std::vector<uint32_t> src(size_t(c.sw) * size_t(c.sh));
        for (size_t i = 0; i < src.size(); ++i) src[i] = uint32_t(i * 2654435761u);
        std::vector<uint32_t> dst(size_t(ds) * 8, 0x5A5A5A5A);
        scale_bilinear(dst.data(), ds, dx, dy, c.dw, c.dh, src.data(), int64_t(src.size()), c.sw, 0, c.sw, c.sh);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < ds; ++x) {
                const bool written = y >= dy && y < dy + c.dh && x >= dx && x < dx + c.dw - 1;
                const uint32_t p = dst[size_t(y) * ds + x];
                EXPECT_TRUE(written ? p >> 24 == 0xFF : p == 0x5A5A5A5A) << x << "," << y;
            }
        }
    }
}
