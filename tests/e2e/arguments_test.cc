// How the command-line argument becomes a file and a name tag: the CRC of the
// argument's text, paths outside ASCII, and (Windows) wildcards expanded
// before the tool sees them.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

const char extracted_one[] = "\rExtracted 1 character.\r\n";

TEST(e2e_arguments, names_carry_the_crc_of_the_argument_text) {
    std::string low_tag;  // a file name whose CRC needs zero padding
    for (int i = 0; low_tag.empty() || path_tag(low_tag) >= 0x1000; ++i) low_tag = "s" + std::to_string(i);
    ASSERT_NE(path_tag("scene.png"), path_tag("./scene.png"));
    // The tag is the CRC of the argument as the C runtime hands it over: UTF-8
    // on Linux, code page 1252 on Windows, where a character the code page
    // lacks arrives as '?' while the file is still opened by its real name.
    const std::string cases[][2] = {  // as typed (UTF-8), as the Windows tool sees it
        {"./scene.png", "./scene.png"},
        {low_tag, low_tag},
        {"sc\xC3\xA8ne.png", "sc\xE8ne.png"},
        {"\xE3\x82\xB7\xE3\x83\xBC\xE3\x83\xB3.png", "???.png"},
        {"\xE5\xA0\xB4\xE9\x9D\xA2/sc\xC3\xA8ne.png", "?\?/sc\xE8ne.png"},
    };
    const bytes record = character(row_kks, 1);
    const scene_plan plan = plan_scene({record});
    for (const auto& [typed, seen] : cases) {
        SCOPED_TRACE(typed);
        sandbox box;
        run_result r = run_scene(box, plan.file, {typed, "ignored.png"});
        // Every CR LF exactly as written: no CR CR LF from a text-mode stream.
        EXPECT_EQ(r.out, expected_out(plan, extracted_one));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_card(box, card_name("KKS_F", 1, windows_tool() ? seen : typed)).rest, record);
    }
    EXPECT_EQ(card_name("KKS_F", 1, "123456789"), "KKS_F_CBF43926_001.png");
}

TEST(e2e_arguments, wildcards_expand_before_the_tool_runs) {
    if (!windows_tool()) GTEST_SKIP() << "on Linux the shell expands wildcards";
    const bytes female = character(row_kk, 1);
    const scene_plan a = plan_scene({female});
    {
        // Several matches: only the first is processed, under its own name's
        // tag; which one comes first is the directory's order.
        sandbox box;
        for (const char* name : {"a.png", "b.png", "notes.txt"}) write_file(box, name, a.file);
        run_result r = run_tool(box, {"*.png"});
        EXPECT_EQ(r.out, expected_out(a, extracted_one));
        const std::set<std::string> from_a{"a.png", "b.png", "notes.txt", card_name("KK_F", 1, "a.png")};
        std::set<std::string> from_b = from_a;
        from_b.erase(card_name("KK_F", 1, "a.png"));
        from_b.insert(card_name("KK_F", 1, "b.png"));
        EXPECT_TRUE(file_names(box) == from_a || file_names(box) == from_b);
    }
    {
        // One match, in a folder: the tag is that of the expanded path.
        sandbox box;
        write_file(box, "in/scene.png", a.file);
        EXPECT_EQ(run_tool(box, {"in/sc?ne.*"}).out, expected_out(a, extracted_one));
        EXPECT_EQ(read_card(box, card_name("KK_F", 1, "in/scene.png")).rest, female);
    }
    {
        // After --newer-games, the pattern names the scene all the same.
        sandbox box;
        const bytes aicomi = character(row_ac, 1);
        const scene_plan later = plan_scene({aicomi});
        write_file(box, "in/scene.png", later.file);
        EXPECT_EQ(run_tool(box, {"--newer-games", "in/sc?ne.*"}).out, expected_out(later, extracted_one));
        EXPECT_EQ(read_card(box, card_name("AC_F", 1, "in/scene.png")).rest, aicomi);
    }
    {
        // No match: the pattern stays as typed and names no file.
        sandbox box;
        write_file(box, "scene.png", a.file);
        run_result r = run_tool(box, {"*.none"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "not a scene file\r\n");
        EXPECT_EQ(r.status, 1);
    }
}

}  // namespace
