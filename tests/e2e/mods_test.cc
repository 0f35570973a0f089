// What the characters need: their plugins and mods in the JSON document, the
// listing and --mods, and a scene's own plugins; extended data of any shape
// never changes a card.
#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace {

const std::string line_end = windows_tool() ? "\r\n" : "\n";

struct mod_cast {
    resolve_entry nip{"k1t0.nipples", "Realistic Nipples", "K1T0", "http://example.org/k"};
    resolve_entry hair{"sjjpl.Female25", "", "sjjpl", ""};
    bytes ann = character_with_extended_data(row_kk, 1, "Ann", extended_data({"moreAccessories"}, {nip, hair, nip}));
    bytes bea = character_with_extended_data(row_kk, 1, "Bea", extended_data({"moreAccessories", "KKABM"}, {hair}));
    bytes old = character_with_extended_data(row_kk, 0, "Cal", extended_data({}, {{"old|mod", "", "", ""}}, old_sideloader_guid));
    bytes plain = character(row_hc, 0);
    bytes garbage = character_with_extended_data(row_kk, 1, "Dee", bytes(64, 0xC1));
    scene_plan plan;
    bytes file;
    mod_cast() {
        plan = plan_scene({ann, bea, ann, old, plain, garbage});
        file = plan.file;
        // The scene's own extended data, after everything else.
        const bytes own = scene_extended_block(extended_data({"studio.timeline"}));
        file.insert(file.end(), own.begin(), own.end());
    }
};

TEST(e2e_mods, in_the_json_document) {
    const mod_cast k;
    sandbox box;
    write_file(box, "scene.png", k.file);
    const run_result r = run_tool(box, {"--json", "scene.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded());
    const nlohmann::json& scene = doc["scenes"][0];
    EXPECT_EQ(scene["plugins"], nlohmann::json::array({"studio.timeline"}));
    const nlohmann::json& recs = scene["records"];
    ASSERT_EQ(recs.size(), 6u);
    EXPECT_EQ(recs[0]["plugins"], nlohmann::json::parse(R"(["moreAccessories","com.bepis.sideloader.universalautoresolver"])"));
    EXPECT_EQ(recs[0]["mods"], nlohmann::json::parse(
        R"([{"id":"k1t0.nipples","name":"Realistic Nipples","author":"K1T0","website":"http://example.org/k"},
            {"id":"sjjpl.Female25","name":null,"author":"sjjpl","website":null}])"));
    EXPECT_EQ(recs[3]["mods"][0]["id"], "old|mod");
    EXPECT_EQ(recs[4]["mods"], nlohmann::json::array());
    EXPECT_TRUE(recs[4]["mods_note"].is_null());
    EXPECT_EQ(recs[5]["mods"], nlohmann::json::array());
    EXPECT_FALSE(recs[5]["mods_note"].is_null());
    // The scene's union: each mod once, with the records that need it.
    EXPECT_EQ(scene["mods"], nlohmann::json::parse(
        R"([{"id":"k1t0.nipples","name":"Realistic Nipples","author":"K1T0","website":"http://example.org/k","records":[1,3]},
            {"id":"sjjpl.Female25","name":null,"author":"sjjpl","website":null,"records":[1,2,3]},
            {"id":"old|mod","name":null,"author":null,"website":null,"records":[4]}])"));
    // Extended data of any shape: every card holds its record unchanged.
    const bytes* records[] = {&k.ann, &k.bea, &k.old, &k.plain, &k.garbage};
    const uint32_t numbers[] = {1, 2, 3, 4, 5};
    const char* stems[] = {"KK_F", "KK_F", "KK_M", "HC_M", "KK_F"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_TRUE(same_text(read_card(box, card_name(stems[i], numbers[i])).rest, *records[i])) << i;
}

TEST(e2e_mods, listed_for_a_player_to_paste) {
    const mod_cast k;
    sandbox box;
    write_file(box, "scene.png", k.file);
    const std::string ann = card_name("KK_F", 1), bea = card_name("KK_F", 2), cal = card_name("KK_M", 3);
    const run_result r = run_tool(box, {"--mods", "scene.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string sideloaders = std::string(sideloader_guid);
    EXPECT_EQ(r.out,
              "mod\tk1t0.nipples\tRealistic Nipples\tK1T0\thttp://example.org/k\t1\t" + ann + line_end +
                  "mod\tsjjpl.Female25\t-\tsjjpl\t-\t2\t" + ann + " | " + bea + line_end +
                  "mod\told|mod\t-\t-\t-\t1\t" + cal + line_end +
                  "plugin\tmoreAccessories\t2\t" + ann + " | " + bea + line_end +
                  "plugin\t" + sideloaders + "\t2\t" + ann + " | " + bea + line_end +
                  "plugin\tKKABM\t1\t" + bea + line_end +
                  "plugin\t" + old_sideloader_guid + "\t1\t" + cal + line_end +
                  "scene plugin\tstudio.timeline\t1\tscene.png" + line_end);
    EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
    // The listing counts each character's mods.
    const run_result l = run_tool(box, {"-l", "scene.png"});
    std::vector<std::string> counts;
    for (size_t at = 0; at < l.out.size(); at = l.out.find('\n', at) + 1)
        counts.push_back(l.out.substr(l.out.rfind('\t', l.out.find('\n', at)) + 1,
                                      l.out.find(line_end, at) - l.out.rfind('\t', l.out.find('\n', at)) - 1));
    EXPECT_EQ(counts, (std::vector<std::string>{"2", "1", "2", "1", "0", "0"}));
    // One document at a time on standard output.
    for (const char* other : {"--list", "--json"}) {
        const run_result both = run_tool(box, {"--mods", other, "scene.png"});
        EXPECT_EQ(both.status, 2);
        EXPECT_EQ(both.err, "--mods cannot be combined with --list or --json (cardlift --help lists the options)\r\n");
    }
}

}  // namespace
