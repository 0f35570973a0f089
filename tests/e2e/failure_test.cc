// The tool facing a hostile file system: scene files of 4 GiB or more, and a
// current directory in which no card can be created, even by root.
#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e_support.h"

namespace {

// Runs the tool on `scene` (an absolute path) with a current directory that
// was removed after the shell entered it: creating any file there fails with
// ENOENT whatever the user's rights, unlike a directory without write
// permission, which root may write to all the same.
run_result run_in_removed_directory(const sandbox& box, const std::string& scene) {
    const std::string gone = box.root + "/gone";
    std::filesystem::create_directory(gone);
    return run_shell(box, "cd " + quoted(gone) + " && rmdir " + quoted(gone) + " && " + tool_command() +
                              " " + quoted(scene));
}

}  // namespace

// Scene positions are 32-bit: a file of 4 GiB or more is refused whole, even
// when its first bytes are a scene and its size modulo 2^32 would pass. The
// files are sparse, so they cost no disk.
TEST(e2e_failure, files_of_4_gib_or_more_are_refused) {
    const scene_plan plan = plan_scene({character(row_kk, 1)});
    struct size_case {
        const char* what;
        uint64_t size;
    } cases[] = {
        {"exactly 4 GiB", uint64_t(1) << 32},
        {"4 GiB plus the scene's own size", (uint64_t(1) << 32) + plan.file.size()},
    };
    for (const size_case& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox box;
        write_file(box, "scene.png", plan.file);
        ASSERT_EQ(truncate((box.work + "/scene.png").c_str(), off_t(c.size)), 0);
        const run_result r = run_tool(box, {"scene.png"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "not a scene file\r\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
    }
}

// No card can be created: each record still counts as a match, none is
// written, nothing is left behind, and the run ends normally.
TEST(e2e_failure, cards_that_cannot_be_created) {
    if (tool_overridden()) GTEST_SKIP() << "file system behaviour checked on Linux only";
    const scene_plan plan = plan_scene({character(row_kk, 1, {}, "a"), character(row_kk, 1, {}, "b")});
    const std::string none = expected_out(plan, "\rNo characters found!\r\n");
    {
        SCOPED_TRACE("current directory removed");
        sandbox box;
        write_file(box, "scene.png", plan.file);
        const run_result r = run_in_removed_directory(box, box.work + "/scene.png");
        EXPECT_EQ(r.out, none);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
    }
    {
        // Both cards get number 1, since neither is counted as written.
        SCOPED_TRACE("name is a symlink into a missing directory");
        sandbox box;
        const std::string blocked = card_name("KK_F", 1);
        ASSERT_EQ(symlink("missing/card.png", (box.work + "/" + blocked).c_str()), 0);
        const run_result r = run_scene(box, plan.file);
        EXPECT_EQ(r.out, none);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(file_names(box), (std::set<std::string>{"scene.png", blocked}));
        EXPECT_FALSE(std::filesystem::exists(box.work + "/missing"));
    }
}
