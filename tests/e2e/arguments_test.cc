// How the argument becomes a file and a name tag: the CRC of the argument's
// text, paths outside ASCII, and (Windows) wildcards expanded before the tool.
#include "e2e_support.h"

namespace {

const char extracted_one[] = "\rExtracted 1 character.\r\n";

TEST(e2e_arguments, names_carry_the_crc_of_the_argument_text) {
    std::string low_tag;  // a file name whose CRC needs zero padding
    for (int i = 0; low_tag.empty() || path_tag(low_tag) >= 0x1000; ++i) low_tag = "s" + std::to_string(i);
    ASSERT_NE(path_tag("scene.png"), path_tag("./scene.png"));
    // The CRC of the argument as the C runtime hands it over: UTF-8 on Linux,
    // code page 1252 on Windows, where a missing character arrives as '?'
    // while the file is still opened by its real name.
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
        // Every CR LF exactly as written: no CR CR LF from a text-mode stream.
        expect_run(run_scene(box, plan.file, {typed, "ignored.png"}), 0, expected_out(plan, extracted_one));
        EXPECT_EQ(read_card(box, card_name("KKS_F", 1, windows_tool() ? seen : typed)).rest, record);
    }
    EXPECT_EQ(card_name("KKS_F", 1, "123456789"), "KKS_F_CBF43926_001.png");
}

TEST(e2e_arguments, wildcards_expand_before_the_tool_runs) {
    if (!windows_tool()) GTEST_SKIP() << "on Linux the shell expands wildcards";
    const bytes female = character(row_kk, 1), aicomi = character(row_ac, 1);
    const scene_plan a = plan_scene({female}), later = plan_scene({aicomi});
    {
        // Several matches: only the first, in the directory's order, under its own tag.
        sandbox box;
        for (const char* name : {"a.png", "b.png", "notes.txt"}) write_file(box, name, a.file);
        EXPECT_EQ(run_tool(box, {"*.png"}).out, expected_out(a, extracted_one));
        std::set<std::string> names = file_names(box);
        EXPECT_EQ(names.erase(card_name("KK_F", 1, "a.png")) + names.erase(card_name("KK_F", 1, "b.png")), 1u);
        EXPECT_EQ(names, (std::set<std::string>{"a.png", "b.png", "notes.txt"}));
    }
    // One match, in a folder, with or without --newer-games: the expanded path's tag.
    for (const bool newer : {false, true}) {
        sandbox box;
        write_file(box, "in/scene.png", (newer ? later : a).file);
        const run_result r = newer ? run_tool(box, {"--newer-games", "in/sc?ne.*"}) : run_tool(box, {"in/sc?ne.*"});
        EXPECT_EQ(r.out, expected_out(newer ? later : a, extracted_one));
        EXPECT_EQ(read_card(box, card_name(newer ? "AC_F" : "KK_F", 1, "in/scene.png")).rest, newer ? aicomi : female);
    }
    // No match: the pattern stays as typed and names no file.
    sandbox box;
    write_file(box, "scene.png", a.file);
    expect_run(run_tool(box, {"*.none"}), 1, "", "not a scene file\r\n");
}

}  // namespace
