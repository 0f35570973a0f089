// --newer-games: standing first, it adds the markers of five later games;
// anywhere else, or spelt otherwise, the command line means what it always
// meant, and without it the tool finds what it always found. (Alone, it is
// the usage: see scene_run_test.)
#include "e2e_support.h"

namespace {

const char option[] = "--newer-games";

struct placed {
    bytes record;
    const char* stem;  // prefix and sex of its card
    bool newer;        // found only with the option
};

// Without the option, later games' records are passed over as data, but the
// user is told how many there are and how to get them.
std::string later_games_notice(size_t passed_over) {
    if (passed_over == 0) return "";
    return "Left out " + std::to_string(passed_over) + (passed_over == 1 ? " character" : " characters") +
           " of later games: run with --newer-games to extract " + (passed_over == 1 ? "it" : "them") + ".\r\n";
}

// Runs the tool with `args` on `records` and checks the run and every card;
// without the option later games' records are mere data.
std::vector<card> check_run(const std::vector<placed>& records, const std::vector<std::string>& args,
                            bool with_option, const std::string& scene_name = "scene.png") {
    std::vector<bytes> data;
    for (const placed& p : records) data.push_back(p.record);
    const scene_plan plan = plan_scene(data);
    scene_plan seen{plan.file, {}};
    std::vector<const placed*> found;
    std::set<std::string> passed_over;  // the records, as text
    for (size_t i = 0; i < records.size(); ++i)
        if (with_option || !records[i].newer) found.push_back(&records[i]), seen.spans.push_back(plan.spans[i]);
        else passed_over.insert(std::string(records[i].record.begin(), records[i].record.end()));
    const size_t n = found.size();
    sandbox box;
    write_file(box, scene_name, plan.file);
    expect_run(run_tool(box, args), 0,
               expected_out(seen, n == 0   ? "\rNo characters found!\r\n"
                                  : n == 1 ? "\rExtracted 1 character.\r\n"
                                           : "\rExtracted " + std::to_string(n) + " characters.\r\n"),
               later_games_notice(passed_over.size()));
    std::set<std::string> names{scene_name};
    std::vector<card> cards;
    for (size_t i = 0; i < n; ++i) {
        const std::string name = *names.insert(card_name(found[i]->stem, uint32_t(i + 1), scene_name)).first;
        cards.push_back(read_card(box, name));
        EXPECT_TRUE(same_text(cards.back().rest, found[i]->record)) << name;
    }
    EXPECT_EQ(file_names(box), names);
    return cards;
}

TEST(e2e_newer_games, each_marker_with_and_without_the_option) {
    const bytes face = encode_png(busy_picture(60, 80, 3));
    const std::vector<placed> scene = {
        {character(row_kks_sun, 1, face), "KKS_F", true}, {character(row_kks, 0), "KKS_M", false},
        {character(row_hcp, 0), "HCP_M", true},           {character(row_sv, 1), "SV_F", true},
        {character(row_kk, 1, face), "KK_F", false},      {character(row_ac, 0), "AC_M", true},
        {character(row_al, 1), "AL_F", true},             {character(row_rg, 1), "RG_F", false},
    };
    const std::vector<card> with = check_run(scene, {option, "scene.png"}, true);
    ASSERT_EQ(with.size(), 8u);
    // The same face and sex under a later game's marker and Koikatu's give the same picture.
    EXPECT_EQ(with[0].width, 252);
    EXPECT_EQ(with[0].pixels, with[4].pixels);
    EXPECT_NE(with[0].pixels, with[3].pixels);  // plain, female
    check_run(scene, {"scene.png"}, false);
    // A copy of a later game's record is the same character, told once; a
    // scene of nothing else is told of it too.
    const placed sun = scene[0];
    check_run({sun, sun}, {"scene.png"}, false);
}

// The option anywhere among the scenes, by any start no other option shares;
// after "--" it is a scene's path, which gives the tag. Any other spelling is
// a usage error that reads and writes nothing.
TEST(e2e_newer_games, the_option_anywhere_but_after_the_end_of_options) {
    const struct {
        std::vector<std::string> args;
        bool with_option;
        const char* scene;
    } cases[] = {
        {{option, "scene.png"}, true, "scene.png"},      {{"scene.png", option}, true, "scene.png"},
        {{option, option, "scene.png"}, true, "scene.png"}, {{"--ne", "scene.png"}, true, "scene.png"},
        {{option, "--", option}, true, option},           {{"--", option}, false, option},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        check_run({{character(row_hcp, 1), "HCP_F", true}, {character(row_hc, 0), "HC_M", false}}, c.args,
                  c.with_option, c.scene);
    }
    for (const char* wrong : {"--NEWER-GAMES", "-newer-games", "--newer-games=1", "--n"}) {
        SCOPED_TRACE(wrong);
        sandbox box;
        write_file(box, "scene.png", plan_scene({character(row_hcp, 1)}).file);
        const run_result r = run_tool(box, {wrong, "scene.png"});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.ends_with(" (cardlift --help lists the options)\r\n")) << r.err;
        EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
    }
}

}  // namespace

namespace {

// 20,000 later games' records, each reaching to the end of the scene, so each
// lies inside the one before: the first is counted and measured, the ones
// inside it are part of it, as a run with the option jumps over them. (Were
// each measured, the run would take minutes.)
TEST(e2e_newer_games, records_inside_records_are_counted_once) {
    std::vector<bytes> records(20000, character(row_sv, 1));
    for (size_t i = 0; i < records.size(); ++i) records[i].push_back(uint8_t(i));  // no two alike
    bytes file = png_head();
    file.resize(file.size() + 40, '.');
    std::vector<size_t> length_fields;  // where each record's final length lies
    for (const bytes& r : records) {
        const size_t final_len = final_with_sex(1).size() + 1;
        length_fields.push_back(file.size() + r.size() - final_len - 8);
        file.insert(file.end(), r.begin(), r.end());
    }
    for (size_t at : length_fields) {
        bytes grown;
        put_le32(grown, uint32_t(file.size() - (at + 8)));  // to the end of the file
        std::copy(grown.begin(), grown.end(), file.begin() + long(at));
    }
    sandbox box;
    write_file(box, "scene.png", file);
    const run_result r = run_tool(box, {"scene.png"}, "timeout 20 ");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("\rNo characters found!\r\n"));
    EXPECT_EQ(r.err, later_games_notice(1));
    const run_result with = run_tool(box, {option, "scene.png"}, "timeout 20 ");
    EXPECT_TRUE(with.out.ends_with("\rExtracted 1 character.\r\n"));
    // The first record runs from its first byte to the end of the file.
    EXPECT_TRUE(read_card(box, card_name("SV_F", 1)).rest == bytes(file.begin() + long(png_head().size() + 40), file.end()));
}

}  // namespace

namespace {

// A record of the run inside a later game's record: without the option it is
// found (the later record is mere data to the run), with it the later record
// is taken whole and the inner one is part of it.
TEST(e2e_newer_games, a_record_inside_a_later_games_record) {
    const bytes inner = character(row_kk, 1);
    sp_record outer{.row = row_sv, .final_section = final_with_sex(0)};
    outer.final_section.insert(outer.final_section.end(), inner.begin(), inner.end());
    const bytes later = build_sp_record(outer);
    const scene_plan plan = plan_scene({later});
    sandbox box;
    write_file(box, "scene.png", plan.file);
    const uint64_t later_start = plan.spans[0].second - later.size();
    const uint64_t inner_marker =
        later_start + uint64_t(std::search(later.begin() + 10, later.end(), inner.begin(), inner.end()) - later.begin()) + 5;
    const scene_plan seen{plan.file, {{inner_marker, inner_marker - 5 + inner.size()}}};
    expect_run(run_tool(box, {"scene.png"}), 0, expected_out(seen, "\rExtracted 1 character.\r\n"), later_games_notice(1));
    EXPECT_TRUE(same_text(read_card(box, card_name("KK_F", 1)).rest, inner));
    sandbox with;
    write_file(with, "scene.png", plan.file);
    expect_run(run_tool(with, {option, "scene.png"}), 0, expected_out(plan, "\rExtracted 1 character.\r\n"));
    EXPECT_TRUE(same_text(read_card(with, card_name("SV_M", 1)).rest, later));
}

}  // namespace
