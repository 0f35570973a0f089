// Scenes made to break the tool: cut short, with lengths, counts and extents
// that point past the end, chunk walks that run off, and face pictures that are
// damaged or declare sizes whose products overflow 32 bits. Every buffer is
// sized exactly, so that a read one byte too far trips the address sanitizer.
#include <gtest/gtest.h>

#include <stb/stb_image.h>

#include <cstdio>
#include <cstdlib>
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

struct stored_card {
    std::string name;
    bytes png;
    bytes record;
};

struct scan_result {
    bool scene = false;
    scan_totals totals{};
    std::vector<stored_card> cards;
};

bool store_card(void* context, const char* name, const uint8_t* png, size_t png_len,
                const uint8_t* record, size_t record_len) {
    static_cast<std::vector<stored_card>*>(context)->push_back(
        {name, bytes(png, png + png_len), bytes(record, record + record_len)});
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
    scan_scene(exact.data(), uint32_t(exact.size()), iend, 0xABCD, card_sink{store_card, &r.cards},
               null_out, &r.totals);
    std::fclose(null_out);
    return r;
}

// Every pixel of a card's picture, or nothing when it does not decode as a
// 252 x 352 picture.
std::vector<uint32_t> card_pixels(const stored_card& card) {
    int w = 0, h = 0, n = 0;
    stbi_uc* p = stbi_load_from_memory(card.png.data(), int(card.png.size()), &w, &h, &n, 4);
    std::vector<uint32_t> pixels;
    if (p && w == card_width && h == card_height) {
        const uint32_t* words = reinterpret_cast<const uint32_t*>(p);
        pixels.assign(words, words + card_pixel_count);
    }
    stbi_image_free(p);
    return pixels;
}

bool all_pixels_are(const stored_card& card, uint32_t colour) {
    const std::vector<uint32_t> pixels = card_pixels(card);
    if (pixels.empty()) return false;
    for (uint32_t p : pixels)
        if (p != colour) return false;
    return true;
}

bytes female_final() { return final_with_sex(1); }

sp_record kk_with_face(const bytes& face) {
    sp_record r;
    r.picture1 = face;
    r.final_section = female_final();
    return r;
}

// One record of every marker row, both layouts, faces where the layout has one.
std::vector<bytes> one_record_per_row() {
    const bytes face = encode_png(busy_picture(3, 2));
    std::vector<bytes> records;
    for (int row : {row_hc, row_kk, row_kk_sp, row_kks, row_ais, row_rg}) {
        sp_record r = kk_with_face(face);
        r.row = row;
        r.with_pair = row == row_kks || row == row_rg;
        r.skipped = bytes(5, 0x41);
        if (row == row_rg) r.picture2 = face;
        records.push_back(build_sp_record(r));
    }
    for (int row : {row_hs_male, row_hs_female})
        records.push_back(build_table_record({row, {{3, 4}, {10, 0}}, bytes(12, 0x42)}));
    return records;
}

struct parsed {
    uint32_t match;
    const marker_row* row;
    record_info info;
};

// Every record of a well-formed scene, as the scan meets them.
std::vector<parsed> parse_all(const bytes& scene, uint32_t from) {
    std::vector<parsed> out;
    uint64_t pos = from;
    for (;;) {
        parsed p{};
        const uint64_t at = find_next_marker(scene.data(), scene.size(), pos, &p.row);
        if (at >= scene.size()) return out;
        p.match = uint32_t(at);
        if (!parse_record(scene.data(), uint32_t(scene.size()), p.match, *p.row, 0, 0, &p.info))
            return out;
        out.push_back(p);
        pos = p.info.end;
    }
}

}  // namespace

// A scene cut at every length: it is a scene only from 31 bytes after IEND on,
// and each record is measured exactly as in the whole file when it fits and
// refused when it does not, whatever field the cut went through.
TEST(hostile, scene_cut_at_every_length) {
    const bytes whole = scene_with_records(one_record_per_row(), 3);
    uint32_t iend = 0;
    ASSERT_TRUE(find_scene_data(whole.data(), uint32_t(whole.size()), &iend));
    const std::vector<parsed> records = parse_all(whole, iend);
    ASSERT_EQ(records.size(), 8u);

    for (size_t len = 0; len <= whole.size(); ++len) {
        SCOPED_TRACE("cut at " + std::to_string(len));
        const bytes cut(whole.begin(), whole.begin() + long(len));
        uint32_t cut_iend = 0;
        const bool scene = find_scene_data(cut.data(), uint32_t(len), &cut_iend);
        ASSERT_EQ(scene, len >= 64 && len > iend + 42u);
        // The search finds exactly the markers that lie wholly inside, and ends.
        std::vector<uint32_t> found;
        const marker_row* row = nullptr;
        for (uint64_t at = find_next_marker(cut.data(), len, iend, &row); at < len;
             at = find_next_marker(cut.data(), len, at + 1, &row))
            found.push_back(uint32_t(at));
        std::vector<uint32_t> inside;
        for (const parsed& p : records)
            if (p.match + p.row->length <= len) inside.push_back(p.match);
        ASSERT_EQ(found, inside);
        for (const parsed& p : records) {
            if (p.match >= len) break;
            record_info info{};
            const bool ok = parse_record(cut.data(), uint32_t(len), p.match, *p.row, 0, 0, &info);
            ASSERT_EQ(ok, p.info.end <= len) << "record at " << p.match;
            if (!ok) continue;
            EXPECT_EQ(info.first, p.info.first);
            EXPECT_EQ(info.end, p.info.end);
            EXPECT_EQ(info.face_pos, p.info.face_pos);
            EXPECT_EQ(info.face_len, p.info.face_len);
            EXPECT_EQ(info.sex, p.info.sex);
        }
    }

    // The whole path at the edges: a record one byte short is no match, the
    // scan moves on, and the cards before it are all there.
    for (size_t i = 0; i < records.size(); ++i) {
        for (uint32_t len : {records[i].info.end - 1, records[i].info.end}) {
            if (len <= iend + 42u) continue;
            SCOPED_TRACE("whole path cut at " + std::to_string(len));
            const scan_result r = scan(bytes(whole.begin(), whole.begin() + len));
            const size_t complete = len == records[i].info.end ? i + 1 : i;
            ASSERT_TRUE(r.scene);
            ASSERT_EQ(r.cards.size(), complete);
            EXPECT_EQ(r.totals.matches, complete);
            for (size_t k = 0; k < complete; ++k) {
                const record_info& info = records[k].info;
                EXPECT_EQ(r.cards[k].record, bytes(whole.begin() + info.first, whole.begin() + info.end));
            }
        }
    }
}

// One length, count or extent at a time points past the end of the file. That
// record is no match; the scan goes on and still finds the record after it.
TEST(hostile, one_field_past_the_end) {
    sp_record kk = kk_with_face(encode_png(busy_picture(2, 2)));
    kk.skipped = bytes(6, 0x43);
    sp_record rg = kk;
    rg.row = row_rg;
    rg.picture2 = kk.picture1;
    const table_record hs{row_hs_male, {{5, 6}, {2, 1}}, bytes(11, 0x44)};
    const bytes after = build_table_record({row_hs_female, {}, {}});  // 37 bytes

    // Offsets from the record's first byte, following the layouts.
    const size_t kk_text = 5 + marker_text(row_kk).size();
    const size_t kk_p1 = kk_text + 1 + kk.text.size();
    const size_t kk_h = kk_p1 + 4 + kk.picture1.size();
    const size_t kk_d = kk_h + 4 + kk.skipped.size();
    const size_t rg_p1 = 5 + marker_text(row_rg).size() + 1 + rg.text.size();
    const size_t rg_p2 = rg_p1 + 4 + rg.picture1.size();
    const size_t hs_count = 1 + marker_text(row_hs_male).size() + 4;
    const size_t hs_entry1 = hs_count + 4 + 148;

    struct field_case {
        const char* what;
        bytes record;
        size_t at;
        std::vector<uint8_t> value;  // little-endian bytes written at `at`
        bool past_end = true;        // false: the record swallows the rest
    };
    const field_case cases[] = {
        {"first picture length", build_sp_record(kk), kk_p1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"skipped section length", build_sp_record(kk), kk_h, {0xFF, 0xFF, 0xFF}},
        {"final length, low four bytes", build_sp_record(kk), kk_d, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"final length one too long", build_sp_record(kk), kk_d, {}},
        {"final length reaching the end exactly", build_sp_record(kk), kk_d, {}, false},
        {"second picture length", build_sp_record(rg), rg_p2, {0xFF, 0xFF, 0xFF}},
        {"string length", build_sp_record(kk), kk_text, {0xFF}},
        {"entry count 65,535", build_table_record(hs), hs_count, {0xFF, 0xFF}},
        {"extent a of the first entry", build_table_record(hs), hs_count + 4 + 132, {0xFF, 0xFF, 0xFF}},
        {"extent b of the last entry", build_table_record(hs), hs_entry1 + 140, {0xFF, 0xFF, 0xFF}},
    };
    for (const field_case& c : cases) {
        SCOPED_TRACE(c.what);
        bytes record = c.record;
        for (size_t i = 0; i < c.value.size(); ++i) record[c.at + i] = c.value[i];
        bytes scene = scene_with_records({record, after}, 4);
        const size_t record_at = scene.size() - 16 - after.size() - 4 - record.size();
        if (c.value.empty()) {
            // The final section's length pointing at the scene's last byte, or one past it.
            const size_t final_at = record_at + c.at + 8;
            const uint32_t d = uint32_t(scene.size() - final_at + (c.past_end ? 1 : 0));
            for (int i = 0; i < 4; ++i) scene[record_at + c.at + size_t(i)] = uint8_t(d >> (8 * i));
        }
        const scan_result r = scan(scene);
        ASSERT_TRUE(r.scene);
        ASSERT_EQ(r.cards.size(), 1u);
        if (c.past_end) {
            EXPECT_EQ(r.totals.matches, 1u);
            EXPECT_EQ(r.cards[0].record, after);
            EXPECT_EQ(r.cards[0].name.substr(0, 5), "HS_F_");
        } else {
            EXPECT_EQ(r.cards[0].name.substr(0, 3), "KK_");
            EXPECT_EQ(r.cards[0].record.size(), scene.size() - record_at);
        }
    }
}

// 65,535 entries of 148 bytes: a record of almost 10 MB, measured in full when
// it is all there and refused when its data area is one byte short.
TEST(hostile, entry_count_65535) {
    table_record big{row_hs_female, std::vector<table_entry>(65535), bytes(40, 0x45)};
    big.entries[70].a = 30;
    big.entries[65534].b = 40;
    const bytes record = build_table_record(big);
    ASSERT_EQ(record.size(), 1 + 28 + 8 + 148u * 65535 + 40);

    bytes cut = record;
    cut.pop_back();
    struct count_case {
        const char* what;
        bytes record;
        size_t cards;
    } cases[] = {{"complete", record, 1}, {"one byte short", cut, 0}};
    for (const count_case& c : cases) {
        SCOPED_TRACE(c.what);
        // No filler after the record: it ends the file.
        bytes scene = png_head();
        put_bytes(scene, bytes(40, '.'));
        put_bytes(scene, c.record);
        const scan_result r = scan(scene);
        ASSERT_TRUE(r.scene);
        ASSERT_EQ(r.cards.size(), c.cards);
        EXPECT_EQ(r.totals.matches, c.cards);
        if (c.cards) {
            EXPECT_TRUE(r.cards[0].record == record);
            EXPECT_TRUE(all_pixels_are(r.cards[0], plain_female));
        }
    }
}

// The chunk walk ends at IEND or at the end of the buffer, for every length a
// chunk can declare; it cannot loop, since each step moves at least 12 bytes.
TEST(hostile, chunk_walk_never_leaves_the_buffer) {
    const bytes signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (uint32_t top : {0u, 0xFF000000u}) {
        for (uint32_t length = 0; length < 400; ++length) {
            // A chunk that reaches the IEND chunk at 60 only when it is 40 long
            // (8 + 12 + 40); elsewhere the walk reads lengths of 0x787878.
            bytes file = signature;
            const uint32_t field = top | length;
            for (int shift = 24; shift >= 0; shift -= 8) put_u8(file, field >> shift);
            put_text(file, "tEXt");
            put_bytes(file, bytes(44, 'x'));  // data and CRC
            put_bytes(file, {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
            put_bytes(file, bytes(60, 'x'));
            const bytes exact(file);
            uint32_t iend = 0;
            EXPECT_EQ(find_scene_data(exact.data(), uint32_t(exact.size()), &iend), length == 40)
                << "length " << length << " top byte " << (top >> 24);
        }
    }
    // Zero-length chunks of no type all the way to the end.
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
    auto chunk = [&b](const char* type, const bytes& data) {
        for (int shift = 24; shift >= 0; shift -= 8) put_u8(b, uint32_t(data.size()) >> shift);
        put_text(b, type);
        put_bytes(b, data);
        put_le32(b, 0);
    };
    bytes ihdr;
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) put_u8(ihdr, v >> shift);
    put_bytes(ihdr, {depth, colour_type, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", idat);
    chunk("IEND", {});
    return b;
}

// Deflate with fixed Huffman codes, enough for long periodic data: `head` as
// literals, then `count` more bytes that repeat the last `period` (1 or 2)
// bytes, as runs of 258. Keeps pictures of many megapixels a few KiB long.
struct deflate_writer {
    bytes out = {0x78, 0x01};
    uint32_t acc = 0;
    int filled = 0;

    void bits(uint32_t value, int count) {
        acc |= value << filled;
        for (filled += count; filled >= 8; filled -= 8, acc >>= 8) out.push_back(uint8_t(acc));
    }
    void code(uint32_t value, int length) {  // Huffman codes go most significant bit first
        for (int i = length - 1; i >= 0; --i) bits((value >> i) & 1, 1);
    }
    void literal(uint8_t v) { v < 144 ? code(0x30 + v, 8) : code(0x190 + v - 144u, 9); }
};

bytes zlib_periodic(const bytes& head, uint32_t period, uint64_t count) {
    deflate_writer w;
    w.bits(1, 1);  // final block
    w.bits(1, 2);  // fixed codes
    for (uint8_t v : head) w.literal(v);
    for (; count >= 258; count -= 258) {
        w.code(0xC5, 8);          // length 258 (code 285)
        w.code(period - 1, 5);    // distance 1 or 2 (codes 0 and 1)
    }
    for (uint64_t i = 0; i < count; ++i) w.literal(head[head.size() - period + i % period]);
    w.code(0, 7);  // end of block
    w.bits(0, 7);  // flush; the decoder does not check the Adler-32 that follows
    put_le32(w.out, 0);
    return w.out;
}

}  // namespace

// Face pictures that do not decode give the plain card. Pictures of 16M x 1
// and 1 x 9M decode; their fitted region is empty (the second one's effective
// height times 252 does not fit 32 bits), so the whole card is pixel 0.
TEST(hostile, damaged_and_huge_face_pictures) {
    const bytes good = encode_png(busy_picture(20, 10));
    bytes cut = good;
    cut.resize(good.size() / 2);
    bytes broken_zlib = good;
    broken_zlib[33 + 8 + 2] |= 0x06;  // first block type 3, which does not exist
    const bytes tiny_idat = zlib_periodic({0, 0}, 1, 0);
    // Grey, one bit a pixel: pixel 0 black, every other pixel white.
    const uint32_t wide = 1u << 24;
    const uint32_t tall = 9000000;
    const bytes wide_png = png_with(wide, 1, 1, 0, zlib_periodic({0, 0x7F, 0xFF}, 1, wide / 8 - 2));
    const bytes tall_png = png_with(1, tall, 1, 0, zlib_periodic({0, 0, 0, 0x80}, 2, 2 * uint64_t(tall - 2)));
    const uint32_t black = 0xFF000000;

    struct face_case {
        const char* what;
        bytes face;
        uint32_t colour;  // of every pixel of the card
    } cases[] = {
        {"PNG cut in half", cut, plain_female},
        {"damaged deflate data", broken_zlib, plain_female},
        {"not a PNG", bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0}, plain_female},
        {"declares 16M x 1, holds one row byte", png_with(wide, 1, 8, 6, tiny_idat), plain_female},
        {"declares 1 x 9M, holds one row byte", png_with(1, tall, 8, 6, tiny_idat), plain_female},
        {"declares 2^31 - 1 square", png_with(0x7FFFFFFF, 0x7FFFFFFF, 8, 6, tiny_idat), plain_female},
        {"declares 65535 square", png_with(65535, 65535, 16, 6, tiny_idat), plain_female},
        {"declares width 0", png_with(0, 10, 8, 6, tiny_idat), plain_female},
        // The decoder's first output guess, 2 x 256 x 4 x 2^20 + 2^20 bytes, passes
        // its size checks yet does not fit an int: the allocation must fail cleanly.
        {"declares 256 x 2^20 at 16 bits", png_with(256, 1 << 20, 16, 6, tiny_idat), plain_female},
        {"16M x 1", wide_png, black},
        {"1 x 9M", tall_png, black},
    };
    for (const face_case& c : cases) {
        SCOPED_TRACE(c.what);
        const scan_result r = scan(scene_with_records({build_sp_record(kk_with_face(c.face))}));
        ASSERT_EQ(r.cards.size(), 1u);
        EXPECT_TRUE(all_pixels_are(r.cards[0], c.colour));
    }
}

// Sources far larger than the destination overflow the 16.16 steps; the
// scaler must still read only inside the source and write only the region.
TEST(hostile, scaler_steps_that_overflow) {
    struct ratio_case {
        int sw, sh, dw, dh;
    } cases[] = {
        {3 * 32768, 1, 3, 1},   // horizontal step 2^31
        {70000, 2, 2, 2},       // horizontal step past 2^31
        {2, 3 * 32768, 2, 3},   // vertical step 2^31
        {4, 200000, 4, 1},      // vertical step past 2^32
    };
    for (const ratio_case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sw) + " x " + std::to_string(c.sh));
        std::vector<uint32_t> src(size_t(c.sw) * size_t(c.sh));
        for (size_t i = 0; i < src.size(); ++i) src[i] = uint32_t(i * 2654435761u);
        constexpr int ds = 10;
        std::vector<uint32_t> dst(size_t(ds) * 8, 0x5A5A5A5A);
        scale_bilinear(dst.data(), ds, 3, 2, c.dw, c.dh, src.data(), int64_t(src.size()), c.sw, 0,
                       c.sw, c.sh);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < ds; ++x) {
                const bool written = y >= 2 && y < 2 + c.dh && x >= 3 && x < 3 + c.dw - 1;
                const uint32_t p = dst[size_t(y) * ds + x];
                if (written) {
                    EXPECT_EQ(p >> 24, 0xFFu) << x << "," << y;
                } else {
                    EXPECT_EQ(p, 0x5A5A5A5Au) << x << "," << y;
                }
            }
        }
    }
}
