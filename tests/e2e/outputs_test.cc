// Who is in a scene: the listing, the JSON document, cards named after their
// characters, an output folder, the quiet run and folders named as scenes.
#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace {

const std::string sakura = "\xE6\x98\xA5\xE9\x87\x8E \xE5\x8D\x83\xE4\xBD\xB3";  // 春野 千佳
const std::string line_end = windows_tool() ? "\r\n" : "\n";

struct cast {
    bytes a = named_character(row_kk, 1, {{"lastname", "\xE6\x98\xA5\xE9\x87\x8E"}, {"firstname", "\xE5\x8D\x83\xE4\xBD\xB3"}},
                              encode_png(busy_picture(30, 40, 2)));
    bytes b = named_character(row_hc, 0, {{"lastname", ""}, {"firstname", "Bob"}, {"nickname", "B"}});
    bytes c = character(row_rg, 1);
    scene_plan plan = plan_scene({a, b, a, c});
};

// A listing writes nothing and shows the numbering and repeats of a real run,
// without progress or summary.
TEST(e2e_outputs, a_listing_of_the_scene) {
    const cast k;
    sandbox box;
    write_file(box, "scene.png", k.plan.file);
    for (const char* option : {"--list", "-l"}) {
        const run_result r = run_tool(box, {option, "scene.png"});
        expect_run(r, 0,
                   card_name("KK_F", 1) + "\tKK\tF\t" + sakura + line_end + card_name("HC_M", 2) + "\tHC\tM\tBob" +
                       line_end + "-\tKK\tF\t" + sakura + "\tduplicate of " + card_name("KK_F", 1) + line_end +
                       card_name("RG_F", 3) + "\tRG\tF\t" + line_end);
        EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
    }
}

// The JSON document of a run with a duplicate and a card whose name a folder
// holds, parsed back: every record in scan order with its outcome and facts.
TEST(e2e_outputs, the_json_document_of_a_run) {
    const cast k;
    sandbox box;
    write_file(box, "scene.png", k.plan.file);
    ASSERT_TRUE(std::filesystem::create_directory(box.work + "/" + card_name("HC_M", 2)));
    const run_result r = run_tool(box, {"--json", "scene.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("cannot write " + card_name("HC_M", 2) + ": ")) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << r.out.substr(0, 300);
    ASSERT_EQ(doc["scenes"].size(), 1u);
    const nlohmann::json& scene = doc["scenes"][0];
    EXPECT_EQ(scene["path"], "scene.png");
    EXPECT_EQ(scene["outcome"], "scanned");
    EXPECT_EQ(scene["written"], 2);
    EXPECT_EQ(scene["duplicates"], 1);
    EXPECT_EQ(scene["failed"], 1);
    const nlohmann::json& recs = scene["records"];
    ASSERT_EQ(recs.size(), 4u);
    const bytes* records[] = {&k.a, &k.b, &k.a, &k.c};
    const char* results[] = {"written", "failed", "duplicate", "written"};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recs[i]["number"], i + 1);
        EXPECT_EQ(recs[i]["result"], results[i]);
        EXPECT_EQ(recs[i]["offset"], k.plan.spans[i].first - 5);
        EXPECT_EQ(recs[i]["length"], records[i]->size());
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X", unsigned(crc32(records[i]->data(), records[i]->size())));
        EXPECT_EQ(recs[i]["crc32"], crc);
    }
    EXPECT_EQ(recs[0]["card"], card_name("KK_F", 1));
    EXPECT_EQ(recs[0]["name"], sakura);
    EXPECT_EQ(recs[0]["marker"], "\xE3\x80\x90KoiKatuChara\xE3\x80\x91");
    EXPECT_EQ(recs[0]["face"]["width"], 30);
    EXPECT_EQ(recs[0]["face"]["height"], 40);
    EXPECT_EQ(recs[1]["card"], card_name("HC_M", 2));
    EXPECT_EQ(recs[1]["name"], "Bob");
    EXPECT_EQ(recs[1]["nickname"], "B");
    EXPECT_FALSE(recs[1]["reason"].get<std::string>().empty());
    EXPECT_TRUE(recs[2]["card"].is_null());
    EXPECT_EQ(recs[2]["duplicate_of"], card_name("KK_F", 1));
    EXPECT_EQ(recs[3]["card"], card_name("RG_F", 3));
    EXPECT_EQ(recs[3]["sex"], "F");
    EXPECT_FALSE(recs[3].contains("face"));
    // With --list, the document of a run that writes nothing.
    sandbox listed;
    write_file(listed, "scene.png", k.plan.file);
    const run_result l = run_tool(listed, {"--list", "--json", "scene.png"});
    EXPECT_EQ(l.status, 0);
    const nlohmann::json ldoc = nlohmann::json::parse(l.out, nullptr, false);
    ASSERT_FALSE(ldoc.is_discarded());
    EXPECT_EQ(ldoc["scenes"][0]["records"][1]["result"], "listed");
    EXPECT_EQ(file_names(listed), std::set<std::string>{"scene.png"});
}

// Cards named after their characters, into a folder made for them, its
// parents too; no progress with --quiet. A file where the folder should be
// is one error, and nothing is scanned.
TEST(e2e_outputs, named_cards_in_an_output_folder) {
    const cast k;
    sandbox box;
    write_file(box, "scene.png", k.plan.file);
    const run_result r = run_tool(box, {"--names", "-q", "-o", "out/cards", "scene.png"});
    expect_run(r, 0, "\rExtracted 3 characters (1 duplication skipped).\r\n");
    // The card name with " NAME" before ".png".
    auto named = [](const std::string& stem, uint32_t number, const std::string& name) {
        const std::string plain = card_name(stem, number);
        return plain.substr(0, plain.size() - 4) + (name.empty() ? "" : " " + name) + ".png";
    };
    const std::set<std::string> want{named("KK_F", 1, sakura), named("HC_M", 2, "Bob"), named("RG_F", 3, "")};
    std::set<std::string> made;
    for (const auto& e : std::filesystem::directory_iterator(box.work + "/out/cards")) made.insert(e.path().filename());
    EXPECT_EQ(made, want);
    EXPECT_TRUE(same_text(read_card(box, "out/cards/" + named("KK_F", 1, sakura)).rest, k.a));
    write_file(box, "a_file", bytes(3, 'x'));
    const run_result blocked = run_tool(box, {"--output", "a_file/cards", "scene.png"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.out, "");
    EXPECT_TRUE(blocked.err.starts_with("cannot make the folder a_file/cards: ")) << blocked.err;
    const run_result bare = run_tool(box, {"scene.png", "-o"});
    EXPECT_TRUE(bare.err.starts_with("cannot read -o") || bare.err.starts_with("unknown option -o")) << bare.err;
    expect_run(run_tool(box, {"-o"}), 1, "", "-o needs a folder after it (cardlift --help lists the options)\r\n");
}

// A folder named as a scene: each .png file directly in it, in name order,
// each named; other files and folders inside are passed over.
TEST(e2e_outputs, a_folder_of_scenes) {
    const cast k;
    const scene_plan one = plan_scene({k.c});
    sandbox box;
    write_file(box, "scenes/b.png", one.file);
    write_file(box, "scenes/a.PNG", k.plan.file);
    write_file(box, "scenes/notes.txt", one.file);
    write_file(box, "scenes/inner/c.png", one.file);
    const std::string sep = windows_tool() ? "\\" : "/";
    const run_result r = run_tool(box, {"-q", "scenes"});
    expect_run(r, 0,
               "scenes" + sep + "a.PNG:\r\n\rExtracted 3 characters (1 duplication skipped).\r\nscenes" + sep +
                   "b.png:\r\n\rExtracted 1 character.\r\n");
    EXPECT_TRUE(same_text(read_card(box, card_name("RG_F", 1, "scenes" + sep + "b.png")).rest, k.c));
    EXPECT_TRUE(same_text(read_card(box, card_name("KK_F", 1, "scenes" + sep + "a.PNG")).rest, k.a));
    sandbox empty;
    ASSERT_TRUE(std::filesystem::create_directory(empty.work + "/none"));
    expect_run(run_tool(empty, {"none"}), 1, "", "none: no .png file in this folder\r\n");
}

}  // namespace
