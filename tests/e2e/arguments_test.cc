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
        expect_run(run_scene(box, plan.file, {typed}), 0, expected_out(plan, extracted_one));
        EXPECT_TRUE(same_text(read_card(box, card_name("KKS_F", 1, windows_tool() ? seen : typed)).rest, record));
    }
    EXPECT_EQ(card_name("KKS_F", 1, "123456789"), "KKS_F_CBF43926_001.png");
}

// Several scenes: each in turn exactly as alone (its own tag, numbering and
// repeats), its output opened by a line naming it; a file that is no scene is
// named on standard error, the others go on, and the status is 1. The same
// record in two scenes is a card in each.
TEST(e2e_arguments, several_scenes_each_as_alone) {
    const bytes a = character(row_kk, 1), b = character(row_hc, 0);
    const scene_plan first = plan_scene({a, b, a}), second = plan_scene({a});
    const std::string first_out = expected_out(first, "\rExtracted 2 characters (1 duplication skipped).\r\n"),
                      second_out = expected_out(second, extracted_one);
    sandbox box;
    write_file(box, "one.png", first.file);
    write_file(box, "two.png", second.file);
    write_file(box, "notes.txt", bytes(100, 'n'));
    expect_run(run_tool(box, {"one.png", "notes.txt", "missing.png", "two.png"}), 1,
               "one.png:\r\n" + first_out + "two.png:\r\n" + second_out,
               "notes.txt: not a scene file\r\ncannot read missing.png: " + missing_reason() + "\r\n");
    EXPECT_TRUE(same_text(read_card(box, card_name("KK_F", 1, "one.png")).rest, a));
    EXPECT_TRUE(same_text(read_card(box, card_name("HC_M", 2, "one.png")).rest, b));
    EXPECT_TRUE(same_text(read_card(box, card_name("KK_F", 1, "two.png")).rest, a));
    EXPECT_EQ(file_names(box).size(), 6u);
    // Every scene fine: status 0; one scene alone: no line naming it.
    expect_run(run_tool(box, {"two.png", "one.png"}), 0, "two.png:\r\n" + second_out + "one.png:\r\n" + first_out);
    expect_run(run_tool(box, {"two.png"}), 0, second_out);
    expect_run(run_tool(box, {"notes.txt"}), 1, "", "not a scene file\r\n");
}

// --help and --version answer on standard output with status 0 and touch no
// file; -- ends the options, so a scene may be named like one.
TEST(e2e_arguments, help_version_and_the_end_of_options) {
    sandbox box;
    for (const char* ask : {"--help", "-h"}) {
        const run_result r = run_tool(box, {ask, "scene.png"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out.starts_with("Usage: cardlift [options] [--] <scene.png or folder>...\r\n")) << r.out;
        for (const char* word : {"--newer-games", "--list, -l", "--json", "--names", "--output DIR, -o DIR",
                                 "--quiet, -q", "--help, -h", "--version", "--", "Exit status: 0"})
            EXPECT_NE(r.out.find(word), std::string::npos) << word;
        EXPECT_EQ(r.out.find("\n"), r.out.find("\r\n") + 1);  // CR LF line ends
    }
    expect_run(run_tool(box, {"--version"}), 0, std::string("cardlift ") + CARDLIFT_VERSION + "\r\n");
    const scene_plan plan = plan_scene({character(row_kk, 0)});
    write_file(box, "--help", plan.file);
    expect_run(run_tool(box, {"--", "--help"}), 0, expected_out(plan, extracted_one));
    EXPECT_TRUE(same_text(read_card(box, card_name("KK_M", 1, "--help")).rest, character(row_kk, 0)));
    EXPECT_EQ(file_names(box).size(), 2u);
}

// The shell expands a pattern on Linux; the Windows program expands it
// itself, in the directory's order. Every match is a scene of the run.
TEST(e2e_arguments, wildcards_expand_before_the_tool_runs) {
    const bytes female = character(row_kk, 1), aicomi = character(row_ac, 1);
    const scene_plan a = plan_scene({female}), later = plan_scene({aicomi});
    {
        sandbox box;
        for (const char* name : {"a.png", "b.png", "notes.txt"}) write_file(box, name, a.file);
        const std::string pattern = windows_tool() ? "'*.png'" : "*.png";
        const std::string command = tool_command(box, {}) + " " + pattern;
        EXPECT_EQ(system((command + " >" + quoted(box.root + "/stdout")).c_str()), 0);
        const std::string out = read_text(box.root + "/stdout"), one = expected_out(a, extracted_one);
        EXPECT_TRUE(out == "a.png:\r\n" + one + "b.png:\r\n" + one || out == "b.png:\r\n" + one + "a.png:\r\n" + one)
            << out;
        EXPECT_EQ(file_names(box), (std::set<std::string>{"a.png", "b.png", "notes.txt", card_name("KK_F", 1, "a.png"),
                                                          card_name("KK_F", 1, "b.png")}));
    }
    if (!windows_tool()) return;  // the rest is the Windows program's own expansion
    // One match, in a folder, with or without --newer-games: the expanded path's tag.
    for (const bool newer : {false, true}) {
        sandbox box;
        write_file(box, "in/scene.png", (newer ? later : a).file);
        const run_result r = newer ? run_tool(box, {"--newer-games", "in/sc?ne.*"}) : run_tool(box, {"in/sc?ne.*"});
        EXPECT_TRUE(same_text(r.out, expected_out(newer ? later : a, extracted_one)));
        EXPECT_TRUE(same_text(read_card(box, card_name(newer ? "AC_F" : "KK_F", 1, "in/scene.png")).rest, newer ? aicomi : female));
    }
    // No match: the pattern stays as typed, a name no Windows file can have.
    sandbox box;
    write_file(box, "scene.png", a.file);
    const run_result r = run_tool(box, {"*.none"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("cannot read *.none: ") && r.err.ends_with(".\r\n")) << r.err;
}

}  // namespace

namespace {

// With several scenes every notice after a summary names its scene, so that
// a saved standard error still says which scene it is about.
TEST(e2e_arguments, notices_name_their_scene) {
    const bytes kk = character(row_kk, 1), later = character(row_sv, 0);
    const scene_plan one = plan_scene({kk, later}), two = plan_scene({later});
    bytes cut(one.file.begin(), one.file.begin() + long(one.spans[1].first + 30));
    const scene_plan three{cut, {one.spans[0]}};
    sandbox box;
    write_file(box, "one.png", one.file);
    write_file(box, "two.png", two.file);
    write_file(box, "three.png", three.file);
    const std::string left_one = "Left out 1 character of later games: run with --newer-games to extract it.\r\n";
    const scene_plan one_seen{one.file, {one.spans[0]}}, two_seen{two.file, {}};
    expect_run(run_tool(box, {"one.png", "two.png", "three.png"}), 1,
               "one.png:\r\n" + expected_out(one_seen, "\rExtracted 1 character.\r\n") + "two.png:\r\n" +
                   expected_out(two_seen, "\rNo characters found!\r\n") + "three.png:\r\n" +
                   expected_out(three, "\rExtracted 1 character.\r\n"),
               "one.png: " + left_one + "two.png: " + left_one + "three.png: the scene ends inside a character record at " +
                   std::to_string(one.spans[1].first * 100 / cut.size()) + "%: the file may be cut short.\r\n");
    // Alone, the notice stands as ever.
    expect_run(run_tool(box, {"two.png"}), 0, expected_out(two_seen, "\rNo characters found!\r\n"), left_one);
}

}  // namespace

namespace {

// Two scene paths whose tags are equal never replace each other's cards: a
// name the run already stored goes on to the next number. Under wine two
// Japanese names arrive as the same "???.png" (code page 1252), so their tags
// are equal too; each scene is still read from its own file.
TEST(e2e_arguments, scenes_whose_tags_are_equal_keep_every_card) {
    const bytes a = character(row_kk, 1), b = character(row_kk, 1, {}, "b"), c = character(row_hc, 0);
    ASSERT_EQ(path_tag("scene_29685295.png"), path_tag("scene_32060020.png"));
    const std::string sakura = "\xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89.png", himari = "\xE3\x81\xB2\xE3\x81\xBE\xE3\x82\x8A.png";
    const bool same_tag_in_japanese = windows_tool();
    const struct {
        std::string first, second;
        bool equal_tags;
    } cases[] = {
        {"scene_29685295.png", "scene_32060020.png", true},
        {sakura, himari, same_tag_in_japanese},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.first);
        sandbox box;
        const scene_plan one = plan_scene({a, c}), two = plan_scene({b});
        write_file(box, k.first, one.file);
        write_file(box, k.second, two.file);
        const run_result r = run_tool(box, {k.first, k.second});
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string tag_first = windows_tool() && k.first == sakura ? "???.png" : k.first,
                          tag_second = windows_tool() && k.second == himari ? "???.png" : k.second;
        EXPECT_TRUE(same_text(read_card(box, card_name("KK_F", 1, tag_first)).rest, a));
        EXPECT_TRUE(same_text(read_card(box, card_name("HC_M", 2, tag_first)).rest, c));
        EXPECT_TRUE(same_text(read_card(box, card_name("KK_F", k.equal_tags ? 2 : 1, tag_second)).rest, b));
        EXPECT_EQ(file_names(box).size(), 5u);
    }
}

// One rule for unique names over a run, alike for the run, its listing and
// --names: the numbered stem PREFIX_S_TAG_NNN is never used twice, in any
// case, whatever name follows it.
TEST(e2e_arguments, numbered_stems_are_unique_over_the_run) {
    const bytes upper = named_character(row_kk, 1, {{"lastname", "ALICE"}, {"firstname", ""}});
    const bytes lower = named_character(row_kk, 1, {{"lastname", "Alice"}, {"firstname", ""}});
    const std::string one = "scene_29685295.png", two = "scene_32060020.png";  // equal tags
    sandbox box;
    write_file(box, one, plan_scene({upper, lower}).file);
    write_file(box, two, plan_scene({lower, upper}).file);
    // The listing numbers as the run does.
    const run_result l = run_tool(box, {"-l", one, two});
    std::vector<std::string> listed;
    for (size_t at = 0; at < l.out.size();) {
        const size_t tab = l.out.find('\t', at), next = l.out.find('\t', tab + 1);
        listed.push_back(l.out.substr(tab + 1, next - tab - 1));
        at = l.out.find('\n', at) + 1;
    }
    EXPECT_EQ(listed, (std::vector<std::string>{card_name("KK_F", 1, one), card_name("KK_F", 2, one),
                                                card_name("KK_F", 3, one), card_name("KK_F", 4, one)}));
    const run_result r = run_tool(box, {"-q", one, two});
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<std::string> want{one, two};
    want.insert(listed.begin(), listed.end());
    EXPECT_EQ(file_names(box), want);
    // With the characters' names in the file names: ALICE and Alice never
    // share a number, nor does a scene named twice.
    sandbox named;
    write_file(named, one, plan_scene({upper}).file);
    write_file(named, two, plan_scene({lower}).file);
    EXPECT_EQ(run_tool(named, {"-q", "--names", one, two, one}).status, 0);
    auto with_name = [&](uint32_t number, const std::string& name) {
        const std::string plain = card_name("KK_F", number, one);
        return plain.substr(0, plain.size() - 4) + " " + name + ".png";
    };
    EXPECT_EQ(file_names(named), (std::set<std::string>{one, two, with_name(1, "ALICE"), with_name(2, "Alice"),
                                                        with_name(3, "ALICE")}));
}

}  // namespace
