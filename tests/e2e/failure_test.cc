// The tool facing a hostile file system: scene files of 4 GiB or more, and
// card names that cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "e2e_support.h"

// Scene positions are 32-bit: a file of 4 GiB or more is refused whole, even
// when its first bytes are a scene and its size modulo 2^32 would pass. The
// files are sparse, so they cost no disk.
TEST(e2e_failure, files_of_4_gib_or_more_are_refused) {
    const bytes scene = plan_scene({character(row_kk, 1)}).file;
    for (uint64_t size : {uint64_t(1) << 32, (uint64_t(1) << 32) + scene.size()}) {
        sandbox box;
        write_file(box, "scene.png", scene);
        ASSERT_EQ(truncate((box.work + "/scene.png").c_str(), off_t(size)), 0);
        const run_result r = run_tool(box, {"scene.png"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "not a scene file\r\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
    }
}

// A card that cannot be stored counts as skipped, leaves no partial file and
// frees its number and its checksum, so the same record met again is written
// under the next number; when no card can be stored, none was extracted.
TEST(e2e_failure, unwritable_card_names_are_skipped) {
    if (tool_overridden()) GTEST_SKIP() << "file system behaviour checked on Linux only";
    const bytes a = character(row_kk, 1), b = character(row_kk, 0);
    const char two[] = "\rExtracted 2 characters (1 duplication skipped).\r\n";
    const struct {
        bool directory;  // else a symlink to /dev/full, which fails on writing
        std::vector<bytes> records;
        const char* summary;
    } cases[] = {{true, {a, b, a}, two}, {false, {a, b, a}, two}, {false, {a}, "\rNo characters found!\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory ? "a directory" : "a symlink to /dev/full");
        sandbox box;
        const std::string blocked = box.work + "/" + card_name("KK_F", 1);
        ASSERT_TRUE(c.directory ? std::filesystem::create_directory(blocked)
                                : symlink("/dev/full", blocked.c_str()) == 0);
        const scene_plan plan = plan_scene(c.records);
        run_result r = run_scene(box, plan.file);
        EXPECT_EQ(r.out, expected_out(plan, c.summary));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        std::set<std::string> expected{"scene.png"};
        if (c.directory) expected.insert(card_name("KK_F", 1));
        if (c.records.size() == 3) expected.insert({card_name("KK_M", 1), card_name("KK_F", 2)});
        EXPECT_EQ(file_names(box), expected);
        if (c.records.size() == 3) EXPECT_EQ(read_card(box, card_name("KK_F", 2)).rest, a);
    }
}

// However many threads draw the pictures (CARDLIFT_WORKERS), a run gives the
// same output, files and bytes: here faces (slow) and plain cards, copies,
// and a card name taken by a directory, so that KK_F_003 fails and RG_F_003
// follows. The scene is small, so that each record moves the percentage and
// progress shown out of order shows.
TEST(e2e_failure, every_worker_count_gives_the_same_run) {
    const bytes a = character(row_kk, 1, encode_png(busy_picture(12, 16, 4))), b = character(row_kk, 0),
                c = character(row_kk, 1, {}, "c"), d = character(row_rg, 1, encode_png(busy_picture(10, 8, 8)));
    const scene_plan plan = plan_scene({a, b, c, a, d, c, b, a});
    struct outcome {
        run_result run;
        std::map<std::string, std::string> files;
    };
    std::vector<outcome> runs;
    for (const char* workers : {"0", "1", "2", "5"}) {
        sandbox box;
        std::filesystem::create_directory(box.work + "/" + card_name("KK_F", 3));
        write_file(box, "scene.png", plan.file);
        outcome o{run_tool(box, {"scene.png"}, std::string("CARDLIFT_WORKERS=") + workers + " "), {}};
        for (const std::string& name : file_names(box)) {
            const std::string path = box.work + "/" + name;
            o.files[name] = std::filesystem::is_regular_file(path) ? read_text(path) : "";
        }
        runs.push_back(o);
    }
    const outcome& one = runs[0];
    EXPECT_EQ(one.run.out, expected_out(plan, "\rExtracted 4 characters (4 duplications skipped).\r\n"));
    EXPECT_EQ(one.run.err, "");
    EXPECT_EQ(one.run.status, 0);
    std::set<std::string> names{"scene.png"};
    for (const std::string& name : {card_name("KK_F", 1), card_name("KK_M", 2), card_name("KK_F", 3),
                                    card_name("RG_F", 3), card_name("KK_F", 4)})
        names.insert(name);
    std::set<std::string> found;
    for (const auto& file : one.files) found.insert(file.first);
    EXPECT_EQ(found, names);
    EXPECT_TRUE(one.files.at(card_name("KK_F", 4)).ends_with(std::string(c.begin(), c.end())));
    for (size_t i = 1; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].run.out, one.run.out) << i;
        EXPECT_EQ(runs[i].run.err, one.run.err) << i;
        EXPECT_EQ(runs[i].run.status, one.run.status) << i;
        EXPECT_TRUE(runs[i].files == one.files) << i;
    }
}
