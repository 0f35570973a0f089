// --newer-games: standing first, it adds the markers of five later games;
// anywhere else, or spelt any other way, the command line means what it always
// meant, and without it the tool finds exactly what it always found.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

const char option[] = "--newer-games";

struct placed {
    bytes record;
    const char* stem;  // prefix and sex of its card
    bool newer;        // found only with the option
};

// Runs the tool with `args` on a scene of `records` written as `scene_name`;
// without the option, later games' records are scanned over like other data.
// Checks the stream, the status, every card's name and record bytes; returns the cards.
std::vector<card> check_run(const std::vector<placed>& records, const std::vector<std::string>& args,
                            const std::string& scene_name, bool with_option) {
    std::vector<bytes> data;
    for (const placed& p : records) data.push_back(p.record);
    const scene_plan plan = plan_scene(data);
    scene_plan seen{plan.file, {}};
    std::vector<const placed*> found;
    for (size_t i = 0; i < records.size(); ++i)
        if (with_option || !records[i].newer) found.push_back(&records[i]), seen.spans.push_back(plan.spans[i]);
    const size_t n = found.size();
    sandbox box;
    write_file(box, scene_name, plan.file);
    const run_result r = run_tool(box, args);
    EXPECT_EQ(r.out, expected_out(seen, n == 1 ? "\rExtracted 1 character.\r\n"
                                               : "\rExtracted " + std::to_string(n) + " characters.\r\n"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    std::set<std::string> names{scene_name};
    std::vector<card> cards;
    for (size_t i = 0; i < n; ++i) {
        const std::string name = *names.insert(card_name(found[i]->stem, uint32_t(i + 1), scene_name)).first;
        cards.push_back(read_card(box, name));
        EXPECT_EQ(cards.back().rest, found[i]->record) << name;
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
    const std::vector<card> with = check_run(scene, {option, "scene.png"}, "scene.png", true);
    ASSERT_EQ(with.size(), 8u);
    // The same face and sex under a later game's marker and Koikatu's give the same picture.
    EXPECT_EQ(with[0].width, 252);
    EXPECT_EQ(with[0].pixels, with[4].pixels);
    EXPECT_NE(with[0].pixels, with[3].pixels);  // plain, female
    check_run(scene, {"scene.png"}, "scene.png", false);
}

// Only an exact "--newer-games" as the first argument is the option; the path
// after it is the scene and gives the tag.
TEST(e2e_newer_games, only_the_first_argument_is_the_option) {
    const struct {
        std::vector<std::string> args;
        std::string scene_name;  // the file the scene is written to
        bool with_option;
    } cases[] = {
        {{option, "scene.png", option}, "scene.png", true},
        {{"scene.png", option}, "scene.png", false},
        {{option, option}, option, true},
        {{"--NEWER-GAMES"}, "--NEWER-GAMES", false},
        {{"-newer-games"}, "-newer-games", false},
        {{"--newer-games=1", "scene.png"}, "--newer-games=1", false},
        {{"--newer-games.png", "scene.png"}, "--newer-games.png", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        check_run({{character(row_hcp, 1), "HCP_F", true}, {character(row_hc, 0), "HC_M", false}}, c.args,
                  c.scene_name, c.with_option);
    }
}

TEST(e2e_newer_games, option_alone_or_before_no_scene) {
    const bytes scene = plan_scene({character(row_sv, 1)}).file;
    const struct {
        std::vector<std::string> args;
        const char *out, *err;
    } cases[] = {
        {{option}, "Extract character cards from Illusion/IllGames scene files\r\n\r\ncardlift <scene.png>\r\n", ""},
        {{option, "missing.png"}, "", "not a scene file\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        sandbox box;
        write_file(box, option, scene);  // a scene of the option's name does not make it a path
        const run_result r = run_tool(box, c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(file_names(box), std::set<std::string>{option});
    }
}

}  // namespace
