// Scenes made to break the tool: cut short or with any byte spoilt; faces
// damaged or declaring huge sizes; scaler steps that overflow. Every buffer is
// sized exactly, so that a read one byte too far trips the address sanitizer.
#include <gtest/gtest.h>

#include <cstdio>

#include "card/face_decoder.h"
#include "card/scaler.h"
#include "run/face_allowance.h"
#include "run/driver.h"
#include "scene/marker_table.h"
#include "scene/record.h"
#include "scene/scene.h"
#include "png_builder.h"

namespace {

using card = std::pair<bytes, bytes>;  // PNG, record
using marks = std::vector<std::pair<uint64_t, uint64_t>>;

// The tool's path from the scene checks to the last card, the cards kept in memory.
std::vector<card> scan(const bytes& file) {
    const bytes exact(file);  // capacity == size, unlike a vector that grew
    std::vector<card> cards;
    uint32_t iend = 0;
    if (!find_scene_data(exact.data(), uint32_t(exact.size()), &iend)) return cards;
    auto keep = [](void* to, const char*, const uint8_t* png, size_t png_len, const uint8_t* rec, size_t n,
                   store_failure*) {
        static_cast<std::vector<card>*>(to)->push_back({bytes(png, png + png_len), bytes(rec, rec + n)});
        return true;
    };
    std::FILE* null_out = std::fopen("/dev/null", "wb");
    scan_totals totals{};
    scan_scene(exact.data(), uint32_t(exact.size()), iend, 0, {marker_set::newer_games, 0, false}, card_sink{keep, &cards},
               null_out, &totals);
    std::fclose(null_out);
    return cards;
}

// Every marker match a scan meets: where its marker ends, and where its record
// ends (0: refused). A record taken lies in the buffer around its marker, its face too.
marks walk(const bytes& scene, uint64_t from) {
    marks met;
    const marker_row* row = nullptr;
    auto next = [&](uint64_t pos) { return find_next_marker(scene.data(), scene.size(), pos, marker_set::newer_games, &row); };
    for (uint64_t at = next(from); at < scene.size(); at = next(at)) {
        record_info r{};
        const bool ok = parse_record(scene.data(), uint32_t(scene.size()), uint32_t(at), *row, &r);
        EXPECT_TRUE(!ok || (r.first < at && at < r.end && r.end <= scene.size() &&
                            (r.face_len == 0 || (r.face_pos > at && r.face_pos + r.face_len <= r.end))));
        met.push_back({at + row->length, ok ? r.end : 0});
        at = ok ? r.end : at + 1;
    }
    return met;
}

}  // namespace

// One record of every marker row, with faces: cut at every length, each byte spoilt.
TEST(hostile, every_cut_and_every_spoilt_byte) {
    const bytes face = encode_png(busy_picture(3, 2));
    std::vector<bytes> records;
    for (int row : {row_hc, row_kk, row_kk_sp, row_kks, row_ais, row_rg, row_kks_sun}) {
        const bool pair = row == row_kks || row == row_rg || row == row_kks_sun;
        records.push_back(build_sp_record({.row = row, .picture1 = face, .with_pair = pair, .picture2 = face,
                                           .skipped = bytes(5, 0x41)}));
    }
    for (int row : {row_hs_male, row_hs_female})
        records.push_back(build_table_record({row, {{3, 4}, {10, 0}}, bytes(12, 0x42)}));
    const bytes whole = scene_with_records(records, 3);
    uint32_t iend = 0, ignored = 0;
    ASSERT_TRUE(find_scene_data(whole.data(), uint32_t(whole.size()), &iend));
    const marks all = walk(whole, iend);
    ASSERT_EQ(all.size(), 9u);
    for (size_t len = 0; len <= whole.size(); ++len) {
        const bytes cut(whole.begin(), whole.begin() + long(len));
        ASSERT_EQ(find_scene_data(cut.data(), uint32_t(len), &ignored), len >= 64 && len > iend + 42u) << len;
        marks fit;  // the records that fit, then the first whose marker fits but not its end
        for (size_t i = 0; i < all.size() && all[i].first <= len && (i == 0 || fit.back().second); ++i)
            fit.push_back({all[i].first, all[i].second <= len ? all[i].second : 0});
        ASSERT_EQ(walk(cut, iend), fit) << "cut at " << len;
    }
    for (size_t at = 8; at < whole.size(); ++at) {
        bytes spoilt = whole;
        spoilt[at] = ~spoilt[at] | 0x80;  // a length's byte becomes 128 or more
        if (find_scene_data(spoilt.data(), uint32_t(spoilt.size()), &ignored)) walk(spoilt, ignored);
    }
    bytes zeros = {0x89, 'P', 'N', 'G'};  // then empty chunks of no type up to the end
    zeros.resize(4096);
    EXPECT_FALSE(find_scene_data(zeros.data(), uint32_t(zeros.size()), &ignored));
    // The first record's final length past the end: the scan moves on by a byte.
    bytes spoilt = whole;
    spoilt[png_head().size() + 40 + records[0].size() - 5] = 0xFF;
    const std::vector<card> cards = scan(spoilt);
    ASSERT_EQ(cards.size(), 8u);
    EXPECT_EQ(cards[0].second, records[1]);
}

// Faces that do not decode, declare sizes the decoder refuses or too big for
// the decode budget, or inflate far beyond their size give the plain card.
TEST(hostile, damaged_and_huge_declared_faces) {
    const bytes good = encode_png(busy_picture(20, 10));
    auto declaring = [](uint32_t width, uint32_t height, uint8_t depth) {  // a row of one pixel
        return png_with_stream({width, height, depth, 6, 0}, zlib_stored(bytes(9, 0)));
    };
    bytes broken_zlib = good;
    broken_zlib[33 + 8 + 2] |= 0x06;  // first block type 3, which does not exist
    const bytes faces[] = {
        bytes(good.begin(), good.begin() + long(good.size() / 2)), broken_zlib,
        {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0}, declaring(1 << 24, 1, 8),
        declaring(1, 9000000, 8), declaring(0x7FFFFFFF, 0x7FFFFFFF, 8), declaring(65535, 65535, 16), declaring(0, 10, 8),
        declaring(256, 1 << 20, 16),  // the decoder's first guess, 2^31 + 2^20 bytes, overflows an int
        zero_face({32768, 16384, 16, 0, 0}),  // its 8-bit copy, 2^31 bytes, wraps to a tiny block in stb_image 2.27
        zero_face({23170, 23170, 16, 0, 0}),  // 6 GB to decode
        png_with_stream({1, 1, 8, 6, 0}, zlib_zero_run(uint64_t(3) << 30)),  // one pixel, 3 GiB of rows
    };
    const bytes plain = scan(scene_with_records({build_sp_record({})}))[0].first;  // no face, male
    for (const bytes& face : faces) {
        const std::vector<card> cards = scan(scene_with_records({build_sp_record({.picture1 = face})}));
        ASSERT_EQ(cards.size(), 1u);
        EXPECT_TRUE(cards[0].first == plain) << "face " << &face - faces;
    }
}

// A scene's faces share one allowance of pixel bytes, the floor and 64 bytes
// per byte of scene, taken in scan order by what each header declares: a face
// declaring all but 800 bytes of it (and failing to decode, at no cost) leaves
// exactly enough for a 20 x 10 face after it, 8 bytes less leaves too little.
// Sides past 2^24, which the decoder refuses, take nothing.
TEST(hostile, faces_share_an_allowance_that_grows_with_the_scene) {
    const bytes small = encode_png(busy_picture(20, 10));  // 800 pixel bytes
    EXPECT_EQ(face_pixel_bytes(small.data(), uint32_t(small.size())), 800u);
    auto declaring = [](uint32_t width, uint32_t height, uint8_t depth) {
        return png_with_stream({width, height, depth, 0, 0}, zlib_stored(bytes(3, 0)));
    };
    const bytes wide = declaring(1 << 24, 1 << 24, 16), past = declaring((1 << 24) + 1, 1, 8);
    EXPECT_EQ(face_pixel_bytes(wide.data(), uint32_t(wide.size())), uint64_t(1) << 51);
    EXPECT_EQ(face_pixel_bytes(past.data(), uint32_t(past.size())), UINT64_MAX);
    EXPECT_EQ(face_pixel_bytes(small.data(), 24), 0u);  // cut inside the header
    const bytes plain = scan(scene_with_records({build_sp_record({.text = "p", .final_section = final_with_sex(1)})}))[0].first;
    const bytes drawn = scan(scene_with_records({character(row_kk, 1, small)}))[0].first;
    ASSERT_NE(drawn, plain);

    auto scene_for = [&](uint32_t greedy_height, const bytes& before) {
        return scene_with_records({before, character(row_kk, 0, declaring(2, greedy_height, 8)), character(row_kk, 1, small)});
    };
    for (const bool past_huge : {false, true}) {
        // A face past 2^24 a side before them changes nothing.
        const bytes before = character(row_kk, 0, past_huge ? past : bytes(), "b");
        const uint64_t scene_size = scene_for(1, before).size();
        const uint64_t allowance = face_allowance_floor + face_allowance_per_scene_byte * scene_size;
        for (const uint64_t left : {800u, 792u}) {  // after the greedy face, 2 x height pixels of 4 bytes
            SCOPED_TRACE(testing::Message() << left << " bytes left" << (past_huge ? ", after a face past 2^24" : ""));
            const std::vector<card> cards = scan(scene_for(uint32_t((allowance - left) / 8), before));
            ASSERT_EQ(cards.size(), 3u);
            EXPECT_TRUE(cards[2].first == (left == 800 ? drawn : plain));
        }
    }
}

// The allowance takes a face's cost once, when granted: a face refused for
// want of it takes nothing, and a copy of a record already answered gets the
// same answer at no cost.
TEST(hostile, the_allowance_charges_each_granted_face_once) {
    face_allowance a;
    face_allowance_start(&a, 0);
    const uint64_t floor = face_allowance_floor;
    EXPECT_TRUE(face_allowance_grant(&a, 1, floor - 100));
    EXPECT_FALSE(face_allowance_grant(&a, 2, 101));
    EXPECT_EQ(a.left, 100u);
    EXPECT_TRUE(face_allowance_grant(&a, 3, 100));
    EXPECT_TRUE(face_allowance_grant(&a, 1, floor));
    EXPECT_FALSE(face_allowance_grant(&a, 2, 0));
    EXPECT_EQ(a.left, 0u);
}

// A face's stream that inflates far past the rows its header implies costs
// what it inflates to beyond them: one pixel whose stream inflates to all but
// 800 bytes of the allowance leaves a 20 x 10 face after it exactly enough, 8
// bytes more leaves too little. Were only the pixel charged, both would fit.
TEST(hostile, a_stream_past_its_rows_is_charged) {
    const bytes small = encode_png(busy_picture(20, 10));  // 800 pixel bytes, 810 of rows
    const bytes drawn = scan(scene_with_records({character(row_kk, 1, small)}))[0].first;
    const png_format one_pixel{1, 1, 8, 6, 0};  // 5 bytes of rows, 4 of pixels
    auto scene_for = [&](uint64_t inflated) {
        return scene_with_records({character(row_kk, 0, png_with_stream(one_pixel, zlib_zero_run(inflated))),
                                   character(row_kk, 1, small)});
    };
    const uint64_t allowance = face_allowance_floor + face_allowance_per_scene_byte * scene_for(5).size();
    for (const uint64_t left : {800u, 792u}) {
        SCOPED_TRACE(testing::Message() << left << " bytes left");
        // The scene's size moves with the stream's: found by trying.
        uint64_t inflated = allowance - 4 - left + 5, before = 0;
        for (int i = 0; i < 20 && inflated != before; ++i) {
            before = inflated;
            inflated = face_allowance_floor + face_allowance_per_scene_byte * scene_for(inflated).size() - 4 - left + 5;
        }
        ASSERT_EQ(inflated, before);
        const std::vector<card> cards = scan(scene_for(inflated));
        ASSERT_EQ(cards.size(), 2u);
        EXPECT_TRUE((cards[1].first == drawn) == (left == 800));
    }
}

// Sources far larger than the destination overflow the 16.16 steps: still only
// the source is read and the region written.
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
