// How the command-line argument becomes a file and a name tag: paths outside
// ASCII, and (Windows) wildcards expanded before the tool sees them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "e2e_support.h"

namespace {

// Set by tools/test_windows.sh when the tool is the Windows build under wine,
// whose locale is pinned so that the ANSI code page is 1252.
bool windows_tool() {
    const char* flag = getenv("CARDLIFT_TOOL_WINDOWS");
    return flag != nullptr && *flag == '1';
}

placed_record character(uint8_t sex) {
    sp_record r;
    r.final_section = final_with_sex(sex);
    return sp(r);
}

std::string extracted_one(const scene_plan& plan) {
    return progress_text(plan.file.size(), plan.iend, plan.spans) + "\rExtracted 1 character.\r\n";
}

TEST(e2e_arguments, paths_outside_ascii_open) {
    // The tag is the CRC of the argument as the C runtime hands it over: UTF-8
    // on Linux, code page 1252 on Windows, where a character the code page
    // lacks arrives as '?' while the file is still opened by its real name.
    struct path_case {
        std::string path;  // as typed, UTF-8
        std::string cp1252;
    } cases[] = {
        {"sc\xC3\xA8ne.png", "sc\xE8ne.png"},
        {"\xE3\x82\xB7\xE3\x83\xBC\xE3\x83\xB3.png", "???.png"},
        {"\xE5\xA0\xB4\xE9\x9D\xA2/sc\xC3\xA8ne.png", "?\?/sc\xE8ne.png"},
    };
    const placed_record record = character(1);
    const scene_plan plan = plan_scene({record});
    for (const path_case& c : cases) {
        SCOPED_TRACE(c.path);
        sandbox box;
        std::filesystem::create_directories(std::filesystem::path(box.work + "/" + c.path).parent_path());
        write_file(box, c.path, plan.file);
        run_result r = run_tool(box, {c.path});
        // Every CR LF exactly as written: no CR CR LF from a text-mode stream.
        EXPECT_EQ(r.out, extracted_one(plan));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        const std::string tagged = windows_tool() ? c.cp1252 : c.path;
        EXPECT_EQ(read_card(read_file(box, card_name("KK_F", path_tag(tagged), 1))).rest,
                  record.data);
    }
}

TEST(e2e_arguments, wildcards_expand_before_the_tool_runs) {
    if (!windows_tool()) GTEST_SKIP() << "on Linux the shell expands wildcards";
    const placed_record female = character(1);
    const placed_record male = character(0);
    const scene_plan a = plan_scene({female});
    const scene_plan b = plan_scene({male});

    // Several matches: only the first is processed, under its own name's tag;
    // which one comes first is the directory's order.
    {
        sandbox box;
        write_file(box, "a.png", a.file);
        write_file(box, "b.png", b.file);
        write_file(box, "notes.txt", a.file);
        run_result r = run_tool(box, {"*.png"});
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        const std::string from_a = card_name("KK_F", path_tag("a.png"), 1);
        const std::string from_b = card_name("KK_M", path_tag("b.png"), 1);
        const std::set<std::string> names = file_names(box);
        const bool took_a = names.count(from_a) == 1;
        EXPECT_EQ(names, (std::set<std::string>{"a.png", "b.png", "notes.txt",
                                                took_a ? from_a : from_b}));
        EXPECT_EQ(r.out, extracted_one(took_a ? a : b));
        EXPECT_EQ(read_card(read_file(box, took_a ? from_a : from_b)).rest,
                  (took_a ? female : male).data);
    }
    // One match, in a folder: the tag is that of the expanded path.
    {
        sandbox box;
        std::filesystem::create_directory(box.work + "/in");
        write_file(box, "in/scene.png", a.file);
        run_result r = run_tool(box, {"in/sc?ne.*"});
        EXPECT_EQ(r.out, extracted_one(a));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(file_names(box), (std::set<std::string>{
                                       "in", card_name("KK_F", path_tag("in/scene.png"), 1)}));
    }
    // No match: the pattern stays as typed and names no file.
    {
        sandbox box;
        write_file(box, "scene.png", a.file);
        run_result r = run_tool(box, {"*.none"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "not a scene file\r\n");
        EXPECT_EQ(r.status, 1);
    }
}

}  // namespace
