// The card files the tool writes: their names, their bytes, their pictures,
// and what happens when a name cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "e2e_support.h"

namespace {

sp_record character(int row, uint8_t sex, const bytes& face = {}) {
    sp_record r;
    r.row = row;
    if (row == row_rg) {
        r.picture2 = face;
    } else {
        r.picture1 = face;
    }
    r.final_section = final_with_sex(sex);
    return r;
}

void expect_plain(const card& k, uint32_t colour) {
    ASSERT_EQ(k.width, 252);
    ASSERT_EQ(k.height, 352);
    for (size_t i = 0; i < k.pixels.size(); ++i) {
        ASSERT_EQ(k.pixels[i], colour) << "pixel " << i;
    }
}

// A 252 x 352 face fills the card unscaled: every pixel is copied with alpha
// made opaque, except the last column, which keeps the background (pixel 0).
void expect_copy_of(const card& k, const picture& face) {
    ASSERT_EQ(k.width, 252);
    ASSERT_EQ(k.height, 352);
    for (int y = 0; y < 352; ++y) {
        for (int x = 0; x < 252; ++x) {
            size_t i = size_t(y) * 252 + x;
            uint32_t want = x == 251 ? face.pixels[0] : face.pixels[i] | 0xFF000000;
            ASSERT_EQ(k.pixels[i], want) << "x " << x << " y " << y;
        }
    }
}

// Half-transparent, so that a copied pixel shows whether its alpha was set.
picture translucent_busy(int width, int height, uint32_t seed) {
    picture p = busy_picture(width, height, seed);
    for (uint32_t& px : p.pixels) px = (px & 0x00FFFFFF) | 0x80000000;
    return p;
}

TEST(e2e_card_files, names_carry_the_crc_of_the_argument_text) {
    // A file name whose CRC is small enough to need zero padding.
    std::string low_tag_name;
    for (uint32_t i = 0; low_tag_name.empty(); ++i) {
        std::string candidate = "s" + std::to_string(i) + ".png";
        if (path_tag(candidate) < 0x1000) low_tag_name = candidate;
    }
    struct naming {
        std::string file;
        std::vector<std::string> args;
        std::string card;
    } cases[] = {
        {"123456789", {"123456789"}, "KKS_F_CBF43926_001.png"},
        {"scene.png", {"scene.png"}, card_name("KKS_F", path_tag("scene.png"), 1)},
        {"scene.png", {"./scene.png"}, card_name("KKS_F", path_tag("./scene.png"), 1)},
        {"scene.png", {"scene.png", "ignored.png"}, card_name("KKS_F", path_tag("scene.png"), 1)},
        {low_tag_name, {low_tag_name}, card_name("KKS_F", path_tag(low_tag_name), 1)},
    };
    ASSERT_NE(path_tag("scene.png"), path_tag("./scene.png"));

    scene_plan plan = plan_scene({sp(character(row_kks, 1))});
    for (const naming& c : cases) {
        SCOPED_TRACE(c.args[0]);
        sandbox box;
        write_file(box, c.file, plan.file);
        run_result r = run_tool(box, c.args);
        EXPECT_EQ(r.out, progress_text(plan.file.size(), plan.iend, plan.spans) +
                             "\rExtracted 1 character.\r\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(file_names(box), (std::set<std::string>{c.file, c.card}));
    }
}

TEST(e2e_card_files, every_marker_row_gives_its_prefix_and_sex) {
    auto tabled = [](int row, const std::string& data) {
        table_record t;
        t.row = row;
        t.entries = {{10, 4}, {20, static_cast<uint32_t>(data.size()) - 20}, {3, 0}};
        put_text(t.data, data);
        return table(t);
    };
    struct row_case {
        placed_record record;
        const char* stem;
    } cases[] = {
        {sp(character(row_hc, 1)), "HC_F"},
        {sp(character(row_hc, 0)), "HC_M"},
        {sp(character(row_kk, 1)), "KK_F"},
        {sp(character(row_kk, 2)), "KK_M"},
        {sp(character(row_kk_sp, 1)), "KK_F"},
        {sp(character(row_kk_sp, 0)), "KK_M"},
        {sp(character(row_kks, 1)), "KKS_F"},
        {sp(character(row_kks, 0)), "KKS_M"},
        {tabled(row_hs_male, "..........sex\x01..........."), "HS_M"},
        {tabled(row_hs_female, std::string("..........sex\0...........", 25)), "HS_F"},
        {sp(character(row_ais, 1)), "HS2_F"},
        {sp(character(row_ais, 0)), "HS2_M"},
        {sp(character(row_rg, 1)), "RG_F"},
        {sp(character(row_rg, 0)), "RG_M"},
    };
    std::vector<placed_record> records;
    for (const row_case& c : cases) records.push_back(c.record);
    scene_plan plan = plan_scene(records);

    const uint32_t tag = path_tag("scene.png");
    sandbox box;
    write_file(box, "scene.png", plan.file);
    // An existing file of a card's name is replaced, not appended to.
    write_file(box, card_name("HC_F", tag, 1), bytes(500000, 0x5A));
    run_result r = run_tool(box, {"scene.png"});
    EXPECT_EQ(r.out, progress_text(plan.file.size(), plan.iend, plan.spans) +
                         "\rExtracted 14 characters.\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);

    std::set<std::string> expected{"scene.png"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string name = card_name(cases[i].stem, tag, i + 1);
        SCOPED_TRACE(name);
        expected.insert(name);
        card k = read_card(read_file(box, name));
        EXPECT_EQ(k.bit_depth, 8);
        EXPECT_EQ(k.colour_type, 6);
        EXPECT_EQ(k.rest, cases[i].record.data);
        expect_plain(k, name[name.find('_') + 1] == 'F' ? plain_female : plain_male);
    }
    EXPECT_EQ(file_names(box), expected);
}

TEST(e2e_card_files, pictures_come_from_the_face_or_the_plain_colour) {
    picture full = translucent_busy(252, 352, 7);
    picture small = translucent_busy(240, 320, 8);
    picture second = translucent_busy(252, 352, 9);
    bytes full_png = encode_png(full);
    bytes cut_png(full_png.begin(), full_png.begin() + full_png.size() / 2);
    bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    jpeg.resize(120, 0x42);

    sp_record rg_both = character(row_rg, 1, encode_png(second));
    rg_both.picture1 = encode_png(solid_picture(252, 352, 0xFF0000FF));
    sp_record rg_first_only = character(row_rg, 0);
    rg_first_only.picture1 = full_png;

    std::vector<placed_record> records = {
        sp(character(row_kk, 1, full_png)),           // 1: copied
        sp(character(row_kk, 0)),                     // 2: plain after a face
        sp(character(row_kk, 1, encode_png(small))),  // 3: scaled, on the bottom edge
        sp(rg_both),                                  // 4: the second picture is the face
        sp(rg_first_only),                            // 5: no second picture, plain
        sp(character(row_kk, 1, jpeg)),               // 6: not a PNG, plain
        sp(character(row_kk, 0, cut_png)),            // 7: damaged PNG, plain
    };
    const char* stems[] = {"KK_F", "KK_M", "KK_F", "RG_F", "RG_M", "KK_F", "KK_M"};
    scene_plan plan = plan_scene(records);

    sandbox box;
    write_file(box, "scene.png", plan.file);
    run_result r = run_tool(box, {"scene.png"});
    EXPECT_EQ(r.out, progress_text(plan.file.size(), plan.iend, plan.spans) +
                         "\rExtracted 7 characters.\r\n");
    EXPECT_EQ(r.status, 0);

    const uint32_t tag = path_tag("scene.png");
    std::vector<card> cards;
    for (size_t i = 0; i < records.size(); ++i) {
        cards.push_back(read_card(read_file(box, card_name(stems[i], tag, i + 1))));
        EXPECT_EQ(cards[i].rest, records[i].data) << "card " << i + 1;
    }
    expect_copy_of(cards[0], full);
    expect_plain(cards[1], plain_male);
    expect_copy_of(cards[3], second);
    expect_plain(cards[4], plain_male);
    expect_plain(cards[5], plain_female);
    expect_plain(cards[6], plain_male);

    // 240 x 320 scales to 252 x 336, sixteen rows short of the card's height.
    const card& k = cards[2];
    ASSERT_EQ(k.width, 252);
    ASSERT_EQ(k.height, 352);
    const uint32_t pixel0 = small.pixels[0];
    for (int y = 0; y < 352; ++y) {
        for (int x = 0; x < 252; ++x) {
            uint32_t px = k.pixels[size_t(y) * 252 + x];
            if (y < 16 || x == 251) {
                ASSERT_EQ(px, pixel0) << "x " << x << " y " << y;
            } else {
                ASSERT_EQ(px >> 24, 0xFFu) << "x " << x << " y " << y;
            }
        }
    }
    EXPECT_EQ(k.pixels[16 * 252], pixel0 | 0xFF000000);
}

// A card that cannot be stored counts as skipped and frees its number and its
// checksum, so the same record met again is written under the next number.
TEST(e2e_card_files, unwritable_names_are_skipped) {
    if (tool_overridden()) GTEST_SKIP() << "file system behaviour checked on Linux only";
    const uint32_t tag = path_tag("scene.png");
    const std::string blocked = card_name("KK_F", tag, 1);
    struct blocker {
        const char* what;
        bool is_directory;
    } cases[] = {{"directory", true}, {"symlink to /dev/full", false}};

    placed_record a = sp(character(row_kk, 1));
    placed_record b = sp(character(row_kk, 0));
    scene_plan plan = plan_scene({a, b, a});
    for (const blocker& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox box;
        write_file(box, "scene.png", plan.file);
        std::string path = box.work + "/" + blocked;
        if (c.is_directory) {
            std::filesystem::create_directory(path);
        } else {
            ASSERT_EQ(symlink("/dev/full", path.c_str()), 0);
        }
        run_result r = run_tool(box, {"scene.png"});
        EXPECT_EQ(r.out, progress_text(plan.file.size(), plan.iend, plan.spans) +
                             "\rExtracted 2 characters (1 duplication skipped).\r\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);

        std::set<std::string> expected{"scene.png", card_name("KK_M", tag, 1),
                                       card_name("KK_F", tag, 2)};
        if (c.is_directory) {
            expected.insert(blocked);
            EXPECT_TRUE(std::filesystem::is_directory(path));
        }
        EXPECT_EQ(file_names(box), expected);
        EXPECT_EQ(read_card(read_file(box, card_name("KK_M", tag, 1))).rest, b.data);
        EXPECT_EQ(read_card(read_file(box, card_name("KK_F", tag, 2))).rest, a.data);
    }
}

}  // namespace
