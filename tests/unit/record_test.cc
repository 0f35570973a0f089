// Measuring character records in both layouts, and naming their cards.
#include <gtest/gtest.h>

#include <algorithm>

#include "scene/marker_table.h"
#include "scene/record.h"
#include "scene_builder.h"

namespace {

constexpr uint32_t lead = 8;  // filler before every record under test

// Parses `rec` placed behind `lead` filler bytes and followed by `after` (by
// default a byte 1, so that a "sex" ending the record would read it, and a
// whole "sex" 1, so that a search running past the end would find it).
bool parse_placed(const bytes& rec, int row, record_info* info, const bytes& after = {1, 's', 'e', 'x', 1}) {
    bytes scene(lead, 0x20);
    put_bytes(scene, rec);
    put_bytes(scene, after);
    const uint32_t match = lead + (row == row_hs_male || row == row_hs_female ? 1 : 5);
    return parse_record(scene.data(), uint32_t(scene.size()), match, marker_table[row], info);
}

struct record_case {
    const char* name;
    int row;
    bytes rec;
    bytes face;  // the face picture's bytes, found in the record; empty: none
    char sex;
    uint32_t length;  // end - first
};

record_case sp(const char* name, const sp_record& r, int face, char sex) {
    const bytes rec = build_sp_record(r);
    return {name, r.row, rec, face == 1 ? r.picture1 : face == 2 ? r.picture2 : bytes(), sex, uint32_t(rec.size())};
}

record_case table(const char* name, const table_record& r, uint32_t length) {
    return {name, r.row, build_table_record(r), {}, r.row == row_hs_male ? 'M' : 'F', length};
}

}  // namespace

// One record a line, both layouts. One byte less of buffer must refuse each.
TEST(record, parse_record) {
    bytes later_sex = final_with_sex(0);
    put_bytes(later_sex, final_with_sex(1));
    const uint32_t sex_in_length_field = 's' | 'e' << 8 | 'x' << 16 | 1u << 24;
    const bytes p9(9, 3), p12(12, 5), p36(36, 4);  // pictures, told apart by their bytes
    std::vector<table_entry> most(65535);  // the furthest extent on the last entry
    most[70].a = 30;
    most[65534].b = 40;
    const std::string pair_f = "00f" + std::string(33, '0');  // a first string of the pair, 'f' third
    const record_case cases[] = {
        sp("kind 0: face 1; 4th length byte unread", {.row = row_hc, .picture1 = p9, .picture1_len_top = 1}, 1, 'M'),
        sp("no first picture; pair ('2') tested next", {.row = row_ais, .with_pair = true}, 0, 'M'),
        sp("pair, 'f'", {.row = row_kks, .picture1 = p9, .with_pair = true, .pair_first = pair_f}, 1, 'M'),
        // A second length of 36 whose fourth byte is 'A' or 'g' is no pair start.
        sp("36 then 'A' is a length", {.row = row_rg, .picture2 = p36, .picture2_len_top = 'A'}, 2, 'M'),
        sp("36 then 'g' is a length", {.row = row_rg, .picture2 = p36, .picture2_len_top = 'g'}, 2, 'M'),
        sp("kind 1: 2nd picture", {.row = row_rg, .picture1 = p12, .with_pair = true, .picture2 = p9}, 2, 'M'),
        sp("kind 1 without second picture has none", {.row = row_rg, .picture1 = p12}, 0, 'M'),
        sp("sex then 1", {.row = row_kk, .final_section = final_with_sex(1)}, 0, 'F'),
        sp("sex then 2", {.row = row_kk, .final_section = final_with_sex(2)}, 0, 'M'),
        sp("sex ends the record", {.row = row_kk, .final_section = {'a', 's', 'e', 'x'}}, 0, 'M'),
        sp("first occurrence decides", {.row = row_kk, .final_section = later_sex}, 0, 'M'),
        sp("sex before the final section ignored", {.row = row_kk, .skipped = final_with_sex(1)}, 0, 'M'),
        sp("final length's unread high bytes searched", {.row = row_kk, .final_len_high = sex_in_length_field}, 0, 'F'),
        table("male, no entries", {.row = row_hs_male}, 35),
        table("female: data alone is not counted", {.row = row_hs_female, .data = final_with_sex(0)}, 37),
        table("largest extent, not the last", {row_hs_male, {{10, 5}, {0, 0}, {3, 1}}, bytes(15, 1)}, 35 + 3 * 148 + 15),
        table("24-bit extents", {row_hs_female, {{0x10000, 0x20}}, bytes(0x10020, 9)}, 37 + 148 + 0x10020),
        table("65,535 entries", {row_hs_female, most, bytes(40, 9)}, 37 + 148 * 65535 + 40),
    };
    for (const record_case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto at = std::search(c.rec.begin(), c.rec.end(), c.face.begin(), c.face.end()) - c.rec.begin();
        record_info info{};
        ASSERT_TRUE(parse_placed(c.rec, c.row, &info));
        EXPECT_EQ(info.first, lead);
        EXPECT_EQ(info.end - lead, c.length);
        EXPECT_EQ(info.sex, c.sex);
        EXPECT_EQ(info.face_pos, c.face.empty() ? 0 : lead + at);
        EXPECT_EQ(info.face_len, c.face.size());
        EXPECT_FALSE(parse_placed(bytes(c.rec.begin(), c.rec.begin() + c.length - 1), c.row, &info, {}));
    }
}

TEST(record, format_card_name) {
    char out[card_name_capacity];
    format_card_name("KKS", 'F', 0xABC, 0, out);
    EXPECT_STREQ(out, "KKS_F_0ABC_001.png");
    format_card_name("HS2", 'M', 0x8000ABCD, 255, out);
    EXPECT_STREQ(out, "HS2_M_8000ABCD_256.png");  // the longest, 22 characters
}
