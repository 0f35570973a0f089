// The tool facing a hostile file system: card names that cannot be written.
#include <unistd.h>

#include <map>

#include "e2e_support.h"

// A card that cannot be stored counts as skipped, leaves no partial file and
// frees its number and checksum: the same record met again gets the next
// number; when none is stored, none was extracted. Drawn inline or by more
// threads than cores, the same run: in the small scene with faces (slow) each
// record moves the percentage, so progress shown out of order shows.
TEST(e2e_failure, unwritable_card_names_are_skipped) {
    const bytes a = character(row_kk, 1), b = character(row_kk, 0), c = character(row_kk, 1, {}, "c"),
                fa = character(row_kk, 1, encode_png(busy_picture(12, 16, 4))),
                d = character(row_rg, 1, encode_png(busy_picture(10, 8, 8)));
    const char two[] = "\rExtracted 2 characters (1 duplication skipped).\r\n";
    const std::pair<std::string, bytes> b_first{card_name("KK_M", 1), b}, a_again{card_name("KK_F", 2), a};
    const struct {
        uint32_t blocked;  // the KK_F card number whose name is taken
        bool directory;    // else a symlink to /dev/full, which fails on writing
        std::vector<bytes> records;
        const char* summary;
        std::map<std::string, bytes> cards;  // name: record
    } cases[] = {
        {1, true, {a, b, a}, two, {b_first, a_again}},
        {1, false, {a, b, a}, two, {b_first, a_again}},
        {1, false, {a}, "\rNo characters found!\r\n", {}},
        {3, true, {fa, b, c, fa, d, c, b, fa}, "\rExtracted 4 characters (4 duplications skipped).\r\n",
         {{card_name("KK_F", 1), fa}, {card_name("KK_M", 2), b}, {card_name("RG_F", 3), d}, {card_name("KK_F", 4), c}}},
    };
    for (const auto& c : cases) {
        // File system behaviour beyond a directory in the way is checked on Linux only.
        if (tool_overridden() && c.blocked == 1) continue;
        const scene_plan plan = plan_scene(c.records);
        std::map<std::string, std::string> first_files;
        for (const char* workers : {"0", "5"}) {
            SCOPED_TRACE(std::string(c.summary + 1) + " workers " + workers);
            sandbox box;
            const std::string blocked = box.work + "/" + card_name("KK_F", c.blocked);
            ASSERT_TRUE(c.directory ? std::filesystem::create_directory(blocked)
                                    : symlink("/dev/full", blocked.c_str()) == 0);
            write_file(box, "scene.png", plan.file);
            expect_run(run_tool(box, {"scene.png"}, std::string("CARDLIFT_WORKERS=") + workers + " "), 0,
                       expected_out(plan, c.summary));
            std::set<std::string> names{"scene.png"};
            if (c.directory) names.insert(card_name("KK_F", c.blocked));
            for (const auto& [name, record] : c.cards)
                EXPECT_EQ(read_card(box, *names.insert(name).first).rest, record) << name;
            EXPECT_EQ(file_names(box), names);
            std::map<std::string, std::string> files;
            for (const auto& [name, record] : c.cards) files[name] = read_text(box.work + "/" + name);
            if (first_files.empty()) first_files = files;
            EXPECT_TRUE(files == first_files) << "the card files differ";
        }
    }
}
