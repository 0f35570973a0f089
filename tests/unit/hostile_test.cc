// Scenes made to break the tool: cut short or with a byte spoilt anywhere, so
// that chunk lengths, record lengths, counts and extents point past the end;
// face pictures that are damaged or declare huge sizes; scaler steps that
// overflow. Every buffer is sized exactly, so that a read one byte too far
// trips the address sanitizer.
#include <gtest/gtest.h>

#include <cstdio>

#include "card/scaler.h"
#include "extract/driver.h"
#include "extract/marker_table.h"
#include "extract/record.h"
#include "extract/scene.h"
#include "scene_builder.h"

namespace {

using card = std::pair<bytes, bytes>;  // PNG, record

// The tool's path from the scene checks to the last card, the cards kept in
// memory; `matches` counts every record measured.
std::vector<card> scan(const bytes& file, uint32_t* matches = nullptr) {
    const bytes exact(file);  // capacity == size, unlike a vector that grew
    std::vector<card> cards;
    uint32_t iend = 0;
    if (!find_scene_data(exact.data(), uint32_t(exact.size()), &iend)) return cards;
    auto keep = [](void* to, const char*, const uint8_t* png, size_t png_len, const uint8_t* rec, size_t n) {
        static_cast<std::vector<card>*>(to)->push_back({bytes(png, png + png_len), bytes(rec, rec + n)});
        return true;
    };
    std::FILE* null_out = std::fopen("/dev/null", "wb");
    scan_totals totals{};
    scan_scene(exact.data(), uint32_t(exact.size()), iend, 0, card_sink{keep, &cards}, null_out, &totals);
    std::fclose(null_out);
    if (matches) *matches = totals.matches;
    return cards;
}

// The PNG of a plain card, for a "sex" byte of 1 (female) or none (male).
bytes plain_png(const bytes& final_section) {
    return scan(scene_with_records({build_sp_record({.final_section = final_section})}))[0].first;
}

// Every marker match a scan of `scene` meets: where its marker ends, and where
// its record ends (0: refused, as leaving the buffer). A record that is not
// refused lies inside the buffer around its marker, and so does its face.
std::vector<std::pair<uint64_t, uint64_t>> walk(const bytes& scene, uint64_t from) {
    std::vector<std::pair<uint64_t, uint64_t>> met;
    const marker_row* row = nullptr;
    for (uint64_t at = find_next_marker(scene.data(), scene.size(), from, &row); at < scene.size();
         at = find_next_marker(scene.data(), scene.size(), at, &row)) {
        record_info r{};
        const bool ok = parse_record(scene.data(), uint32_t(scene.size()), uint32_t(at), *row, 0, 0, &r);
        EXPECT_TRUE(!ok || (r.first < at && at < r.end && r.end <= scene.size() &&
                            (r.face_len == 0 || (r.face_pos > at && r.face_pos + r.face_len <= r.end))));
        met.push_back({at + row->length, ok ? r.end : 0});
        at = ok ? r.end : at + 1;
    }
    return met;
}

}  // namespace

// One record of every marker row, faces where the layout has one: cut at
// every length, and with each byte in turn spoilt (chunk lengths included).
TEST(hostile, every_cut_and_every_spoilt_byte) {
    const bytes face = encode_png(busy_picture(3, 2));
    std::vector<bytes> records;
    for (int row : {row_hc, row_kk, row_kk_sp, row_kks, row_ais, row_rg}) {
        const bool pair = row == row_kks || row == row_rg;
        records.push_back(build_sp_record({.row = row, .picture1 = face, .with_pair = pair, .picture2 = face,
                                           .skipped = bytes(5, 0x41)}));
    }
    for (int row : {row_hs_male, row_hs_female})
        records.push_back(build_table_record({row, {{3, 4}, {10, 0}}, bytes(12, 0x42)}));
    const bytes whole = scene_with_records(records, 3);
    uint32_t iend = 0, ignored = 0;
    ASSERT_TRUE(find_scene_data(whole.data(), uint32_t(whole.size()), &iend));
    const auto all = walk(whole, iend);
    ASSERT_EQ(all.size(), 8u);
    for (size_t len = 0; len <= whole.size(); ++len) {
        const bytes cut(whole.begin(), whole.begin() + long(len));
        ASSERT_EQ(find_scene_data(cut.data(), uint32_t(len), &ignored), len >= 64 && len > iend + 42u) << len;
        // The records that fit, then the first whose marker fits but not its end.
        std::vector<std::pair<uint64_t, uint64_t>> fit;
        for (size_t i = 0; i < all.size() && all[i].first <= len && (i == 0 || fit.back().second); ++i)
            fit.push_back({all[i].first, all[i].second <= len ? all[i].second : 0});
        ASSERT_EQ(walk(cut, iend), fit) << "cut at " << len;
    }
    for (size_t at = 8; at < whole.size(); ++at) {
        bytes spoilt = whole;
        spoilt[at] = ~spoilt[at] | 0x80;  // a length's byte becomes 128 or more
        if (find_scene_data(spoilt.data(), uint32_t(spoilt.size()), &ignored)) walk(spoilt, ignored);
    }
    // Empty chunks of no type up to the end: the chunk walk ends all the same.
    bytes zeros = {0x89, 'P', 'N', 'G'};
    zeros.resize(4096);
    EXPECT_FALSE(find_scene_data(zeros.data(), uint32_t(zeros.size()), &ignored));
    // The whole path: the first record's final length pointing past the end
    // makes it no match; the scan moves on by one byte and meets the rest.
    bytes spoilt = whole;
    spoilt[png_head().size() + 40 + records[0].size() - 5] = 0xFF;
    uint32_t matches = 0;
    const std::vector<card> cards = scan(spoilt, &matches);
    ASSERT_EQ(cards.size(), 7u);
    EXPECT_EQ(matches, 7u);
    EXPECT_EQ(cards[0].second, records[1]);
}

// 65,535 entries of 148 bytes: a record of almost 10 MB, measured in full when
// it is all there and refused when its data area is one byte short.
TEST(hostile, entry_count_65535) {
    table_record big{row_hs_female, std::vector<table_entry>(65535), bytes(40, 0x45)};
    big.entries[70].a = 30;
    big.entries[65534].b = 40;
    const bytes record = build_table_record(big);
    for (size_t cut : {0, 1}) {
        bytes scene = png_head();  // no filler after the record: it ends the file
        put_bytes(scene, bytes(40, '.'));
        scene.insert(scene.end(), record.begin(), record.end() - long(cut));
        const std::vector<card> cards = scan(scene);
        ASSERT_EQ(cards.size(), 1 - cut);
        if (!cut) EXPECT_TRUE(cards[0].second == record && cards[0].first == plain_png(final_with_sex(1)));
    }
}

// Face pictures that do not decode, or declare sizes that the decoder refuses
// (given two bytes of image data), give the plain card.
TEST(hostile, damaged_and_huge_declared_faces) {
    // CRCs and the Adler-32 are left zero: the decoder checks neither.
    auto declaring = [](uint32_t width, uint32_t height, uint8_t depth) {
        bytes png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
        auto chunk = [&png](const char* type, const bytes& data) {
            put_bytes(png, {0, 0, 0, uint8_t(data.size())});
            put_text(png, type);
            put_bytes(png, data);
            put_le32(png, 0);
        };
        chunk("IHDR", {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width),
                       uint8_t(height >> 24), uint8_t(height >> 16), uint8_t(height >> 8), uint8_t(height),
                       depth, 6, 0, 0, 0});
        chunk("IDAT", {0x78, 0x01, 0x63, 0x60, 0, 0, 0, 0, 0, 0});  // two zero bytes, deflated
        chunk("IEND", {});
        return png;
    };
    const bytes good = encode_png(busy_picture(20, 10));
    bytes broken_zlib = good;
    broken_zlib[33 + 8 + 2] |= 0x06;  // first block type 3, which does not exist
    const bytes faces[] = {
        bytes(good.begin(), good.begin() + long(good.size() / 2)), broken_zlib,
        {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0}, declaring(1 << 24, 1, 8),
        declaring(1, 9000000, 8), declaring(0x7FFFFFFF, 0x7FFFFFFF, 8), declaring(65535, 65535, 16),
        declaring(0, 10, 8),
        // The decoder's first output guess, 2 x 256 x 4 x 2^20 + 2^20 bytes, passes
        // its size checks yet does not fit an int: the allocation must fail cleanly.
        declaring(256, 1 << 20, 16),
    };
    for (const bytes& face : faces) {
        const std::vector<card> cards = scan(scene_with_records({build_sp_record({.picture1 = face})}));
        ASSERT_EQ(cards.size(), 1u);
        EXPECT_TRUE(cards[0].first == plain_png({})) << "face " << &face - faces;
    }
}

// Sources far larger than the destination overflow the 16.16 steps; the
// scaler must still read only inside the source and write only the region.
TEST(hostile, scaler_steps_that_overflow) {
    const int cases[][4] = {{3 * 32768, 1, 3, 1}, {70000, 2, 2, 2}, {2, 3 * 32768, 2, 3}, {4, 200000, 4, 1}};
    for (auto [sw, sh, dw, dh] : cases) {
        const std::vector<uint32_t> src(size_t(sw) * size_t(sh), 0xFF102030);
        std::vector<uint32_t> dst(10 * 8, 0x5A5A5A5A);
        scale_bilinear(dst.data(), 10, 3, 2, dw, dh, src.data(), int64_t(src.size()), sw, 0, sw, sh);
        for (int i = 0; i < 80; ++i) {
            const bool written = i / 10 >= 2 && i / 10 < 2 + dh && i % 10 >= 3 && i % 10 < 3 + dw - 1;
            EXPECT_EQ(dst[size_t(i)], written ? 0xFF102030 : 0x5A5A5A5A) << sw << " x " << sh << " at " << i;
        }
    }
}
