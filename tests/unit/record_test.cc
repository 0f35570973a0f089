// Measuring character records in both layouts, and naming their cards.
#include <gtest/gtest.h>

#include "extract/marker_table.h"
#include "extract/record.h"
#include "scene_builder.h"

namespace {

constexpr uint32_t lead = 8;  // filler before every record under test

// After the record: a byte 1 (so a "sex" ending the record would read it) and a
// complete "sex" 1 (so a search running past the end would find it).
const bytes tail = {1, 's', 'e', 'x', 1, 1, 1, 1};

bool is_table_row(int row) { return row == row_hs_male || row == row_hs_female; }

// Places `rec` behind `lead` filler bytes and before `after`, then parses it at
// its marker.
bool parse_placed(const bytes& rec, int row, record_info* info, const bytes& after = tail,
                  uint32_t tag = 0xABC, uint32_t written = 0) {
    bytes scene(lead, 0x20);
    put_bytes(scene, rec);
    put_bytes(scene, after);
    const uint32_t match = lead + (is_table_row(row) ? 1 : 5);
    return parse_record(scene.data(), uint32_t(scene.size()), match, marker_table[row], tag,
                        written, info);
}

bytes blob(size_t n, uint8_t seed) {
    bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 7);
    return b;
}

std::string pair_with_third(char c) {
    std::string s(36, '0');
    s[2] = c;
    return s;
}

// Where the pictures start, counted from the record's first byte: leading
// field, marker string, the text string, the first length field.
size_t first_picture_offset(const sp_record& r) {
    return 4 + 1 + marker_text(r.row).size() + 1 + r.text.size() + 4;
}
size_t second_picture_offset(const sp_record& r) {
    size_t pair = r.with_pair ? 1 + r.pair_first.size() + 1 + r.pair_second.size() : 0;
    return first_picture_offset(r) + r.picture1.size() + pair + 4;
}

enum face_expect { no_face, face_first, face_second };

const uint32_t sex_in_length_field = 's' | 'e' << 8 | 'x' << 16 | 1u << 24;

}  // namespace

TEST(record, string_and_picture_layout) {
    struct test_case {
        const char* name;
        sp_record r;
        face_expect face;
        char sex;
    };
    bytes later_sex = final_with_sex(0);
    put_bytes(later_sex, final_with_sex(1));
    const test_case cases[] = {
        {"kind 0 reports the first picture", {.row = row_kk, .picture1 = blob(30, 1)}, face_first, 'M'},
        {"no first picture", {.row = row_kk}, no_face, 'M'},
        {"pair tested right after a zero first length",
         {.row = row_kks, .with_pair = true}, no_face, 'M'},
        {"fourth length byte ignored (10 00 00 01)",
         {.row = row_hc, .picture1 = blob(16, 2), .picture1_len_top = 1}, face_first, 'M'},
        {"pair with '7'",
         {.row = row_ais, .picture1 = blob(9, 3), .with_pair = true, .pair_first = pair_with_third('7')},
         face_first, 'M'},
        {"pair with 'f'",
         {.row = row_kk_sp, .picture1 = blob(9, 3), .with_pair = true, .pair_first = pair_with_third('f')},
         face_first, 'M'},
        // A second length field of 36 whose fourth byte is 'A' or 'g' looks like
        // a pair start but is not one.
        {"36 then 'A' is a length", {.row = row_rg, .picture2 = blob(36, 4), .picture2_len_top = 'A'},
         face_second, 'M'},
        {"36 then 'g' is a length", {.row = row_rg, .picture2 = blob(36, 4), .picture2_len_top = 'g'},
         face_second, 'M'},
        {"kind 1 reports the second picture",
         {.row = row_rg, .picture1 = blob(12, 5), .with_pair = true, .picture2 = blob(20, 6)},
         face_second, 'M'},
        {"kind 1 without second picture has none", {.row = row_rg, .picture1 = blob(12, 5)}, no_face, 'M'},
        {"kind 1 second picture alone", {.row = row_rg, .picture2 = blob(20, 6)}, face_second, 'M'},
        {"sex then 1", {.row = row_kk, .final_section = final_with_sex(1)}, no_face, 'F'},
        {"sex then 0", {.row = row_kk, .final_section = final_with_sex(0)}, no_face, 'M'},
        {"sex then 2", {.row = row_kk, .final_section = final_with_sex(2)}, no_face, 'M'},
        {"sex ends the record", {.row = row_kk, .final_section = {'a', 's', 'e', 'x'}}, no_face, 'M'},
        {"first occurrence decides", {.row = row_kk, .final_section = later_sex}, no_face, 'M'},
        {"sex before the final section ignored", {.row = row_kk, .skipped = final_with_sex(1)}, no_face, 'M'},
        {"final length high bytes ignored",
         {.row = row_kk, .final_section = final_with_sex(1), .final_len_high = 0xFFFFFFFF}, no_face, 'F'},
        {"search covers the final length field",
         {.row = row_kk, .final_len_high = sex_in_length_field}, no_face, 'F'},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.name);
        const bytes rec = build_sp_record(c.r);
        record_info info{};
        ASSERT_TRUE(parse_placed(rec, c.r.row, &info));
        EXPECT_EQ(info.first, lead);
        EXPECT_EQ(info.end, lead + rec.size());
        EXPECT_EQ(info.sex, c.sex);
        switch (c.face) {
            case no_face:
                EXPECT_EQ(info.face_pos, 0u);
                EXPECT_EQ(info.face_len, 0u);
                break;
            case face_first:
                EXPECT_EQ(info.face_pos, lead + first_picture_offset(c.r));
                EXPECT_EQ(info.face_len, c.r.picture1.size());
                break;
            case face_second:
                EXPECT_EQ(info.face_pos, lead + second_picture_offset(c.r));
                EXPECT_EQ(info.face_len, c.r.picture2.size());
                break;
        }
    }
}

TEST(record, entry_table_layout) {
    struct test_case {
        const char* name;
        table_record r;
        uint32_t length;  // end - first
    };
    const test_case cases[] = {
        {"male, no entries", {.row = row_hs_male}, 35},
        {"female, no entries", {.row = row_hs_female}, 37},
        {"data without entries is not counted", {.row = row_hs_female, .data = blob(10, 1)}, 37},
        {"zero extent does not move the end",
         {.row = row_hs_female, .entries = {table_entry{}}, .data = blob(4, 1)},
         37 + 148},
        {"largest extent, not the last", {.row = row_hs_male, .entries = {{10, 5}, {0, 0}, {3, 1}},
                                          .data = final_with_sex(1)},
         35 + 3 * 148 + 15},
        {"24-bit extent values",
         {.row = row_hs_female, .entries = {{0x10000, 0x20}}, .data = blob(0x10020, 9)},
         37 + 148 + 0x10020},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.name);
        record_info info{};
        ASSERT_TRUE(parse_placed(build_table_record(c.r), c.r.row, &info));
        EXPECT_EQ(info.first, lead);
        EXPECT_EQ(info.end - info.first, c.length);
        EXPECT_EQ(info.sex, c.r.row == row_hs_male ? 'M' : 'F');
        EXPECT_STREQ(info.name, c.r.row == row_hs_male ? "HS_M_0ABC_001.png" : "HS_F_0ABC_001.png");
        EXPECT_EQ(info.face_pos, 0u);
        EXPECT_EQ(info.face_len, 0u);
    }
}

TEST(record, extent_past_buffer_end_is_refused) {
    struct test_case {
        const char* name;
        int row;
        bytes rec;
        size_t keep;  // bytes of the record left in the buffer, which ends there
    };
    const bytes sp = build_sp_record({.row = row_kk, .picture1 = blob(10, 1), .final_section = blob(6, 2)});
    const bytes table = build_table_record({.row = row_hs_male, .entries = {{4, 4}}, .data = blob(8, 3)});
    const size_t marker_end = 5 + marker_text(row_kk).size();
    const test_case cases[] = {
        {"final section one short", row_kk, sp, sp.size() - 1},
        {"final length field cut", row_kk, sp, sp.size() - 6 - 3},
        {"inside the first picture", row_kk, sp, marker_end + 7},
        {"string length byte missing", row_kk, sp, marker_end},
        {"data area one short", row_hs_male, table, table.size() - 1},
        {"inside the entry table", row_hs_male, table, 35 + 100},
        {"entry count cut", row_hs_male, table, 1 + 26 + 5},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.name);
        bytes rec(c.rec.begin(), c.rec.begin() + c.keep);
        record_info info{};
        EXPECT_FALSE(parse_placed(rec, c.row, &info, {}));
    }
}

TEST(record, format_card_name) {
    struct test_case {
        const char* prefix;
        char sex;
        uint32_t tag;
        uint32_t written;
        const char* name;
    };
    const test_case cases[] = {
        {"KKS", 'F', 0xABC, 0, "KKS_F_0ABC_001.png"},
        {"HS2", 'M', 0x8000ABCD, 255, "HS2_M_8000ABCD_256.png"},  // the longest, 22 characters
        {"RG", 'F', 0x12345, 9, "RG_F_12345_010.png"},
    };
    for (const test_case& c : cases) {
        char out[card_name_capacity];
        format_card_name(c.prefix, c.sex, c.tag, c.written, out);
        EXPECT_STREQ(out, c.name);
    }
}
