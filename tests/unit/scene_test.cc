// Recognising scene files, finding markers, and the checksum behind names.
#include <gtest/gtest.h>

#include <cstring>

#include "extract/crc32.h"
#include "extract/marker_table.h"
#include "extract/scene.h"
#include "scene_builder.h"

namespace {

const bytes signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const bytes iend_chunk = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

bytes join(std::initializer_list<bytes> parts, size_t filler = 0) {
    bytes b;
    for (const bytes& p : parts) put_bytes(b, p);
    b.insert(b.end(), filler, 0x41);
    return b;
}

}  // namespace

TEST(crc32, known_values) {
    struct test_case {
        const char* text;
        uint32_t crc;
    };
    const test_case cases[] = {{"123456789", 0xCBF43926}, {"", 0}, {"a", 0xE8B7BE43}};
    for (const test_case& c : cases) {
        EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>(c.text), std::strlen(c.text)), c.crc) << c.text;
    }
}

TEST(scene, find_scene_data) {
    struct test_case {
        const char* name;
        bytes file;
        bool ok;
        uint32_t iend = 0;
    };
    const bytes head = png_head();
    const uint32_t head_iend = uint32_t(head.size() - 12);
    bytes bad_first = join({signature, iend_chunk}, 44);
    bad_first[0] = 0x88;
    bytes bad_second = bad_first;
    bad_second[0] = 0x89;
    bad_second[1] = 'Q';
    bytes loose_signature = join({signature, iend_chunk}, 44);
    std::memset(loose_signature.data() + 4, 0, 4);  // only bytes 0 to 3 are compared
    const bytes top_byte_chunk = {0x7F, 0, 0, 4, 't', 'E', 'X', 't', 1, 2, 3, 4, 9, 9, 9, 9};
    const bytes long_chunk = {0, 0, 0x10, 0, 'a', 'b', 'c', 'd'};
    const test_case cases[] = {
        {"63 bytes", join({signature, iend_chunk}, 43), false},
        {"64 bytes: signature, IEND, 44 more", join({signature, iend_chunk}, 44), true, 8},
        {"30 bytes after IEND", join({head}, 30), false},
        {"31 bytes after IEND", join({head}, 31), true, head_iend},
        {"nothing after IEND", head, false},
        {"chunk length by its low 24 bits", join({signature, top_byte_chunk, iend_chunk}, 31), true, 24},
        {"walk runs off the end", join({signature, long_chunk}, 80), false},
        {"no IEND before the end", join({signature}, 100), false},
        {"first byte not 0x89", bad_first, false},
        {"second byte not 'P'", bad_second, false},
        {"JPEG", join({{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}}, 100), false},
        {"signature bytes 4 to 7 not compared", loose_signature, true, 8},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t iend = 12345;
        EXPECT_EQ(find_scene_data(c.file.data(), uint32_t(c.file.size()), &iend), c.ok);
        if (c.ok) {
            EXPECT_EQ(iend, c.iend);
        }
    }
}

TEST(marker, each_row_matches_its_marker) {
    struct test_case {
        int row;
        uint32_t length;
        const char* prefix;
        uint8_t kind;
    };
    const test_case cases[] = {
        {row_hc, 13, "HC", 0},         {row_kk, 18, "KK", 0},           {row_kk_sp, 20, "KK", 0},
        {row_kks, 19, "KKS", 0},       {row_hs_male, 26, "HS", 'M'},    {row_hs_female, 28, "HS", 'F'},
        {row_ais, 15, "HS2", 0},       {row_rg, 14, "RG", 1},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.row);
        const std::string text = marker_text(c.row);
        ASSERT_EQ(text.size(), c.length);
        bytes buf = {'x', 'y'};
        put_text(buf, text);
        put_text(buf, "zz");
        const marker_row* row = match_marker(buf.data(), buf.size(), 2);
        ASSERT_EQ(row, &marker_table[c.row]);
        EXPECT_EQ(row->length, c.length);
        EXPECT_EQ(std::memcmp(row->marker, text.data(), c.length), 0);
        EXPECT_STREQ(row->prefix, c.prefix);
        EXPECT_EQ(row->kind, c.kind);
        EXPECT_EQ(match_marker(buf.data(), buf.size(), 1), nullptr);
        // The buffer ends one byte short of the marker; the byte past it is
        // there in memory but must not count.
        EXPECT_EQ(match_marker(buf.data(), 2 + c.length - 1, 2), nullptr);
    }
}

TEST(marker, find_next_marker) {
    struct test_case {
        const char* name;
        uint64_t from;
        uint64_t size;  // how much of the buffer is handed over
        uint64_t pos;
        int row;  // -1: no match expected
    };
    // 10 filler, KK marker at 10, 5 filler, RG marker at 33, an unknown
    // marker at 52, 3 filler.
    bytes buf(10, 'a');
    put_text(buf, marker_text(row_kk));
    put_text(buf, "bbbbb");
    put_text(buf, marker_text(row_rg));
    put_text(buf, "\xE3\x80\x90KoiKatuCharaSun\xE3\x80\x91");
    put_text(buf, "ccc");
    const uint64_t all = buf.size();
    const test_case cases[] = {
        {"first marker", 0, all, 10, row_kk},
        {"marker at the start position", 10, all, 10, row_kk},
        {"next marker", 11, all, 33, row_rg},
        {"unknown marker is passed over", 34, all, all, -1},
        {"marker ending at the end", 30, 47, 33, row_rg},
        {"marker cut by the end", 11, 46, 46, -1},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.name);
        const marker_row* row = nullptr;
        EXPECT_EQ(find_next_marker(buf.data(), c.size, c.from, &row), c.pos);
        if (c.row >= 0) {
            EXPECT_EQ(row, &marker_table[c.row]);
        }
    }
}
