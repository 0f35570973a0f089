// The card files the tool writes: their names, their bytes, their pictures,
// and what happens when a name cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "e2e_support.h"

namespace {

// Every marker row with its prefix and a sex, then the pictures: a face of the
// card's own size is copied (alpha made opaque, the last column left at pixel
// 0); the card after it, without a face, is plain again; an undecodable face
// gives the plain card.
TEST(e2e_card_files, bytes_and_pictures_of_every_row) {
    picture face = busy_picture(252, 352, 7);
    for (uint32_t& px : face.pixels) px = (px & 0x00FFFFFF) | 0x80000000;  // half transparent
    const bytes face_png = encode_png(face);
    const bytes cut_png(face_png.begin(), face_png.begin() + long(face_png.size() / 2));
    auto tabled = [](int row, const std::string& data) {  // data with a "sex" the layout ignores
        const uint32_t b = uint32_t(data.size()) - 20;
        return table({row, {{10, 4}, {20, b}, {3, 0}}, bytes(data.begin(), data.end())});
    };
    struct row_case {
        placed_record record;
        const char* stem;
        const picture* face = nullptr;
    } cases[] = {
        {character(row_hc, 1), "HC_F"},
        {character(row_kk, 0), "KK_M"},
        {character(row_kk_sp, 1), "KK_F"},
        {character(row_kks, 0), "KKS_M"},
        {tabled(row_hs_male, "..........sex\x01..........."), "HS_M"},
        {tabled(row_hs_female, std::string("..........sex\0...........", 25)), "HS_F"},
        {character(row_ais, 1), "HS2_F"},
        {character(row_rg, 0), "RG_M"},
        {character(row_kk, 1, face_png), "KK_F", &face},
        {character(row_kk, 0, {}, "after a face"), "KK_M"},
        {character(row_rg, 1, cut_png), "RG_F"},
    };
    std::vector<placed_record> records;
    for (const row_case& c : cases) records.push_back(c.record);
    const scene_plan plan = plan_scene(records);
    sandbox box;
    write_file(box, card_name("HC_F", 1), bytes(500000, 0x5A));  // replaced, not appended to
    run_result r = run_scene(box, plan.file);
    EXPECT_EQ(r.out, expected_out(plan, "\rExtracted 11 characters.\r\n"));

    std::set<std::string> expected{"scene.png"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = *expected.insert(card_name(cases[i].stem, i + 1)).first;
        SCOPED_TRACE(name);
        const card k = read_card(box, name);
        EXPECT_EQ(k.rest, cases[i].record.data);
        ASSERT_EQ(k.width, 252);
        ASSERT_EQ(k.height, 352);
        const uint32_t plain = name[name.find('_') + 1] == 'F' ? plain_female : plain_male;
        for (size_t p = 0; p < k.pixels.size(); ++p) {
            const picture* f = cases[i].face;
            const uint32_t want = !f ? plain : p % 252 == 251 ? f->pixels[0] : f->pixels[p] | 0xFF000000;
            ASSERT_EQ(k.pixels[p], want) << "x " << p % 252 << " y " << p / 252;
        }
    }
    EXPECT_EQ(file_names(box), expected);
}

// A card that cannot be stored counts as skipped, leaves no partial file and
// frees its number and its checksum, so the same record met again is written
// under the next number.
TEST(e2e_card_files, unwritable_names_are_skipped) {
    if (tool_overridden()) GTEST_SKIP() << "file system behaviour checked on Linux only";
    const placed_record a = character(row_kk, 1), b = character(row_kk, 0);
    const char two[] = "\rExtracted 2 characters (1 duplication skipped).\r\n";
    struct blocked_case {
        bool directory;  // else a symlink to /dev/full, which fails on writing
        std::vector<placed_record> records;
        const char* summary;
    } cases[] = {{true, {a, b, a}, two}, {false, {a, b, a}, two}, {false, {a}, "\rNo characters found!\r\n"}};
    for (const blocked_case& c : cases) {
        SCOPED_TRACE(c.directory ? "a directory" : "a symlink to /dev/full");
        sandbox box;
        const std::string path = box.work + "/" + card_name("KK_F", 1);
        ASSERT_TRUE(c.directory ? std::filesystem::create_directory(path)
                                : symlink("/dev/full", path.c_str()) == 0);
        const scene_plan plan = plan_scene(c.records);
        run_result r = run_scene(box, plan.file);
        EXPECT_EQ(r.out, expected_out(plan, c.summary));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        std::set<std::string> expected{"scene.png"};
        if (c.directory) expected.insert(card_name("KK_F", 1));
        if (c.records.size() == 3) expected.insert({card_name("KK_M", 1), card_name("KK_F", 2)});
        EXPECT_EQ(file_names(box), expected);
        if (c.records.size() == 3) EXPECT_EQ(read_card(box, card_name("KK_F", 2)).rest, a.data);
    }
}

}  // namespace
