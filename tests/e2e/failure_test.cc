// The tool facing a hostile file system: scene files of 4 GiB or more, and
// card names that cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

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
