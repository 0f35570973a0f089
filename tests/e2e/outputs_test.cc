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
// without progress or summary: seven fields a line, the scene's path first.
TEST(e2e_outputs, a_listing_of_the_scene) {
    const cast k;
    sandbox box;
    write_file(box, "scene.png", k.plan.file);
    for (const char* option : {"--list", "-l"}) {
        const run_result r = run_tool(box, {option, "scene.png"});
        const std::string at = "scene.png\t";
        expect_run(r, 0,
                   at + card_name("KK_F", 1) + "\tKK\tF\t" + sakura + "\t-\t0" + line_end + at + card_name("HC_M", 2) +
                       "\tHC\tM\tBob\t-\t0" + line_end + at + "-\tKK\tF\t" + sakura + "\tduplicate of " +
                       card_name("KK_F", 1) + "\t0" + line_end + at + card_name("RG_F", 3) + "\tRG\tF\t\t-\t0" + line_end);
        EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
    }
}

// Whatever a name holds, a record is one line of seven fields, its bytes
// escaped so that a script can undo them; later games' records are listed
// too, and several scenes give the same columns with no line of their own.
TEST(e2e_outputs, a_listing_no_name_can_break) {
    const std::string name = "a\tb\nc\rd\\e\x1b[31mf\x7fg\xc2\x9bh\x01\xc3\xa9";
    const std::string shown = "a\\tb\\nc\\rd\\\\e\\x1B[31mf\\x7Fg\\xC2\\x9Bh\\x01\xc3\xa9";
    const bytes odd = named_character(row_kk, 0, {{"lastname", name}, {"firstname", ""}});
    const bytes later = named_character(row_sv, 1, {{"lastname", "Sun"}, {"firstname", "Ami"}});
    sandbox box;
    write_file(box, "one.png", plan_scene({odd, later}).file);
    write_file(box, "two.png", plan_scene({later}).file);
    const run_result r = run_tool(box, {"-l", "one.png", "two.png"});
    EXPECT_EQ(r.status, 0);
    const std::string notice = ": Left out 1 character of later games: run with --newer-games to extract it.\r\n";
    EXPECT_EQ(r.err, "one.png" + notice + "two.png" + notice);
    const std::string left = "\tSV\tF\tSun Ami\tlater game: needs --newer-games\t0" + line_end;
    EXPECT_EQ(r.out, "one.png\t" + card_name("KK_M", 1, "one.png") + "\tKK\tM\t" + shown + "\t-\t0" + line_end +
                         "one.png\t-" + left + "two.png\t-" + left);
    // Every byte below 0x20 but the line end, and 0x7F, stays out of every line.
    for (const char c : r.out) EXPECT_TRUE(uint8_t(c) >= 0x20 && c != 0x7F || c == '\t' || c == '\n' || c == '\r') << int(c);
    // The same records in the JSON document: the names as they are.
    const nlohmann::json doc = nlohmann::json::parse(run_tool(box, {"--json", "-l", "one.png"}).out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded());
    EXPECT_EQ(doc["scenes"][0]["records"][0]["name"], name);
    EXPECT_EQ(doc["scenes"][0]["records"][1]["result"], "later game");
    EXPECT_EQ(doc["scenes"][0]["records"][1]["name"], "Sun Ami");
    EXPECT_EQ(doc["scenes"][0]["totals"]["later_games"], 1);
    EXPECT_EQ(doc["totals"]["listed"], 1);
    EXPECT_EQ(doc["totals"]["written"], 0);
}

// The JSON document of a run with a duplicate and a card whose name a folder
// holds, parsed back: every record in scan order with its outcome and facts,
// every key present.
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
    EXPECT_EQ(doc["version"], CARDLIFT_VERSION);
    EXPECT_EQ(doc["exit_status"], 1);
    EXPECT_EQ(doc["output_folder"], ".");
    ASSERT_EQ(doc["scenes"].size(), 1u);
    const nlohmann::json& scene = doc["scenes"][0];
    EXPECT_EQ(scene["path"], "scene.png");
    EXPECT_EQ(scene["outcome"], "scanned");
    EXPECT_TRUE(scene["reason"].is_null());
    EXPECT_EQ(scene["totals"]["written"], 2);
    EXPECT_EQ(scene["totals"]["duplicates"], 1);
    EXPECT_EQ(scene["totals"]["failed"], 1);
    EXPECT_EQ(doc["totals"]["written"], 2);
    const nlohmann::json& recs = scene["records"];
    ASSERT_EQ(recs.size(), 4u);
    const bytes* records[] = {&k.a, &k.b, &k.a, &k.c};
    const char* results[] = {"written", "failed", "duplicate", "written"};
    const int numbers[] = {1, 2, 0, 3};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recs[i]["index"], i + 1);
        EXPECT_EQ(recs[i]["result"], results[i]);
        EXPECT_EQ(recs[i]["offset"], k.plan.spans[i].first - 5);
        EXPECT_EQ(recs[i]["length"], records[i]->size());
        if (numbers[i]) EXPECT_EQ(recs[i]["card_number"], numbers[i]);
        else EXPECT_TRUE(recs[i]["card_number"].is_null());
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X", unsigned(crc32(records[i]->data(), records[i]->size())));
        EXPECT_EQ(recs[i]["crc32"], crc);
    }
    EXPECT_EQ(recs[0]["card"], card_name("KK_F", 1));
    EXPECT_EQ(recs[0]["card_path"], card_name("KK_F", 1));
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
    EXPECT_TRUE(recs[3]["face"].is_null());
    // With --list and -o, the document of a run that writes nothing: where each
    // card would go, and totals of what would be written.
    sandbox listed;
    write_file(listed, "scene.png", k.plan.file);
    const run_result l = run_tool(listed, {"scene.png", "--list", "--json", "-o", "out"});
    EXPECT_EQ(l.status, 0);
    const nlohmann::json ldoc = nlohmann::json::parse(l.out, nullptr, false);
    ASSERT_FALSE(ldoc.is_discarded());
    const std::string sep = windows_tool() ? "\\" : "/";
    EXPECT_EQ(ldoc["scenes"][0]["records"][1]["result"], "listed");
    EXPECT_EQ(ldoc["scenes"][0]["records"][1]["card_path"], "out" + sep + card_name("HC_M", 2));
    EXPECT_EQ(ldoc["output_folder"], "out");
    EXPECT_EQ(ldoc["options"]["list"], true);
    EXPECT_EQ(ldoc["totals"]["listed"], 3);
    EXPECT_EQ(ldoc["totals"]["written"], 0);
    EXPECT_EQ(file_names(listed), std::set<std::string>{"scene.png"});
}

// Every scene that gives no scan is in the document, with records [] and a
// reason that says which check it failed; the document keeps its shape.
TEST(e2e_outputs, refused_scenes_in_the_json_document) {
    sandbox box;
    write_file(box, "plain.png", png_head());
    bytes cut = png_head();
    cut.resize(cut.size() - 4);  // the IEND chunk's last bytes gone
    cut.resize(200, 0);
    cut[9] = 0x7F;  // a first chunk that reaches far past the end
    write_file(box, "cut.png", cut);
    write_file(box, "small.png", bytes(40, 0x89));
    write_file(box, "text.png", bytes(100, 'x'));
    ASSERT_TRUE(std::filesystem::create_directory(box.work + "/empty"));
    const run_result r =
        run_tool(box, {"--json", "plain.png", "cut.png", "small.png", "text.png", "missing.png", "empty"});
    EXPECT_EQ(r.status, 1);
    const nlohmann::json doc = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << r.out;
    const struct {
        const char* outcome;
        std::string reason;
    } want[] = {
        {"not a scene", "too little after the IEND chunk"}, {"not a scene", "no IEND chunk"},
        {"not a scene", "too small for a scene"},           {"not a scene", "no PNG signature"},
        {"cannot read", missing_reason()},                  {"no scene", "no .png file in this folder"},
    };
    ASSERT_EQ(doc["scenes"].size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const nlohmann::json& scene = doc["scenes"][i];
        EXPECT_EQ(scene["outcome"], want[i].outcome);
        EXPECT_TRUE(scene["reason"].get<std::string>().starts_with(want[i].reason)) << scene["reason"];
        EXPECT_EQ(scene["records"], nlohmann::json::array());
    }
    EXPECT_EQ(doc["totals"]["refused"], 6);
    // A path that is no UTF-8 still gives a document, the byte as U+FFFD.
    if (!windows_tool()) {
        const nlohmann::json odd = nlohmann::json::parse(run_tool(box, {"--json", "odd\xFF.png"}).out, nullptr, false);
        ASSERT_FALSE(odd.is_discarded());
        EXPECT_EQ(odd["scenes"][0]["path"], "odd\xEF\xBF\xBD.png");
    }
    // No scene at all: still the document, which says so.
    const nlohmann::json none = nlohmann::json::parse(run_tool(box, {"--json"}).out, nullptr, false);
    ASSERT_FALSE(none.is_discarded());
    EXPECT_TRUE(none["error"].get<std::string>().starts_with("no scene named"));
    // The folder for the cards cannot be made: the document says so.
    write_file(box, "a_file", bytes(3, 'x'));
    const nlohmann::json blocked = nlohmann::json::parse(run_tool(box, {"--json", "-o", "a_file/x", "plain.png"}).out,
                                                         nullptr, false);
    ASSERT_FALSE(blocked.is_discarded());
    EXPECT_EQ(blocked["scenes"], nlohmann::json::array());
    EXPECT_TRUE(blocked["error"].get<std::string>().starts_with("cannot make the folder a_file/x: "));
    EXPECT_EQ(blocked["exit_status"], 1);
}

// Options as GNU programs take them, anywhere among the scenes; every usage
// error stops before anything is read or written, with status 2.
TEST(e2e_outputs, options_in_every_spelling) {
    const cast k;
    const struct {
        std::vector<std::string> args;
        int status;
        const char* folder;  // where the cards must be; null: none anywhere
    } cases[] = {
        {{"scene.png", "-o", "out"}, 0, "out"},
        {{"-qoout", "scene.png"}, 0, "out"},
        {{"--output=out", "-q", "scene.png"}, 0, "out"},
        {{"--output", "out", "scene.png", "--quiet"}, 0, "out"},
        {{"scene.png", "-lq"}, 0, nullptr},
        {{"--verbose", "scene.png"}, 2, nullptr},
        {{"scene.png", "--verbose"}, 2, nullptr},
        {{"scene.png", "-x", "-o", "out"}, 2, nullptr},
        {{"-o", "out", "scene.png", "--list=yes"}, 2, nullptr},
        {{"scene.png", "-o"}, 2, nullptr},
        {{"scene.png", "--output"}, 2, nullptr},
        {{"-o", "", "scene.png"}, 2, nullptr},
        {{"--json", "--bogus", "scene.png"}, 2, nullptr},
        {{"--help", "--bogus"}, 2, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        sandbox box;
        write_file(box, "scene.png", k.plan.file);
        const run_result r = run_tool(box, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        std::set<std::string> want{"scene.png"};
        if (c.folder) want.insert(c.folder);
        EXPECT_EQ(file_names(box), want);
        if (c.folder) EXPECT_EQ(std::distance(std::filesystem::directory_iterator(box.work + "/" + c.folder),
                                              std::filesystem::directory_iterator()), 3);
        if (c.status == 2) {
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(r.err.ends_with(" (cardlift --help lists the options)\r\n")) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
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
    expect_run(run_tool(box, {"-o"}), 2, "", "-o needs a folder after it (cardlift --help lists the options)\r\n");
    // A link to nothing where the folder should be says so, not why some
    // later check failed.
    if (!windows_tool()) {
        std::filesystem::create_symlink("nowhere", box.work + "/dangling");
        expect_run(run_tool(box, {"-o", "dangling", "scene.png"}), 1, "",
                   "cannot make the folder dangling: a link to nothing\r\n");
    }
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
    // A folder fails when any of its scenes fails, not only its last.
    write_file(box, "mixed/a.png", png_head());
    write_file(box, "mixed/b.png", one.file);
    const run_result mixed = run_tool(box, {"-q", "mixed"});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(mixed.err, "mixed" + sep + "a.png: not a scene file\r\n");
}

// With --recursive a folder stands for its .png files at any depth: each
// folder's names in order, a subfolder's files in its place among them, a
// link to a folder not followed, 32 folders down read and the 33rd said.
TEST(e2e_outputs, a_folder_and_its_subfolders) {
    const cast k;
    const scene_plan one = plan_scene({k.c});
    sandbox box;
    const std::string sep = windows_tool() ? "\\" : "/";
    write_file(box, "scenes/a.png", one.file);
    write_file(box, "scenes/sub/x.png", one.file);
    write_file(box, "scenes/sub/deeper/y.png", one.file);
    write_file(box, "scenes/sub.png", one.file);
    write_file(box, "scenes/sub/notes.txt", one.file);
    // wine shows a link as the folder it leads to: a loop only the depth ends.
    if (!windows_tool()) std::filesystem::create_directory_symlink("..", box.work + "/scenes/sub/up");
    const std::vector<std::string> order = {"scenes" + sep + "a.png", "scenes" + sep + "sub" + sep + "deeper" + sep + "y.png",
                                            "scenes" + sep + "sub" + sep + "x.png", "scenes" + sep + "sub.png"};
    std::string want;
    for (const std::string& path : order) want += path + ":\r\n\rExtracted 1 character.\r\n";
    for (const char* option : {"-r", "--recursive"}) {
        sandbox copy;
        std::filesystem::copy(box.work + "/scenes", copy.work + "/scenes",
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
        expect_run(run_tool(copy, {"-q", option, "scenes"}), 0, want);
        for (const std::string& path : order)
            EXPECT_TRUE(same_text(read_card(copy, card_name("RG_F", 1, path)).rest, k.c)) << path;
    }
    expect_run(run_tool(box, {"-q", "scenes"}), 0,
               "scenes" + sep + "a.png:\r\n\rExtracted 1 character.\r\nscenes" + sep + "sub.png:\r\n\rExtracted 1 character.\r\n");

    // 32 folders down is read; the 33rd is said, and fails the run.
    sandbox deep;
    std::string down = "top", path = "top";
    for (int level = 1; level <= 32; ++level) {
        down += sep + "d";
        path += "/d";
    }
    write_file(deep, path + "/in.png", one.file);
    write_file(deep, path + "/d/out.png", one.file);
    const run_result r = run_tool(deep, {"-q", "-r", "top"});
    expect_run(r, 1, down + sep + "in.png:\r\n\rExtracted 1 character.\r\n",
               "cannot read " + down + sep + "d: more than 32 folders deep\r\n");
    const run_result doc = run_tool(deep, {"-q", "-r", "--json", "top"});
    EXPECT_NE(doc.out.find("\"reason\": \"more than 32 folders deep\""), std::string::npos) << doc.out;
    EXPECT_NE(doc.out.find("\"recursive\":true"), std::string::npos) << doc.out.substr(0, 300);

    // Cards written into a subfolder are not read back from it.
    sandbox again;
    write_file(again, "S/scene.png", k.plan.file);
    for (int run = 0; run < 2; ++run) {
        const run_result twice = run_tool(again, {"-q", "-r", "-o", "S/cards", "S"});
        EXPECT_EQ(twice.status, 0) << twice.err;
        EXPECT_EQ(twice.err, run == 0 ? "" : "S: passed over 3 cards written into this folder (named like "
                                             "KK_F_1A2B3C4D_001.png); name one to read it as a scene.\r\n");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(again.work + "/S/cards"),
                                std::filesystem::directory_iterator()), 3);
    }
}

// A run repeated leaves the same files: the cards in the output folder, named
// as this tool names cards, are not read back as scenes when that folder is
// named as a scene, however it is spelt; elsewhere such a name is a scene.
TEST(e2e_outputs, a_run_never_feeds_on_its_own_cards) {
    const cast k;
    sandbox box;
    write_file(box, "D/scene.png", k.plan.file);
    const std::string sep = windows_tool() ? "\\" : "/";
    const std::string notice = ": passed over 3 cards written into this folder (named like KK_F_1A2B3C4D_001.png); "
                               "name one to read it as a scene.\r\n";
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        const run_result r = run_tool(box, {"-q", "-o", "D", "D"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, run == 0 ? "" : "D" + notice);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(box.work + "/D"), std::filesystem::directory_iterator()), 4);
    }
    // The current folder, as ".", and the listing, which numbers as the run would.
    const run_result here = run_tool(box, {"-l", "--output=./D", "D"});
    EXPECT_EQ(std::count(here.out.begin(), here.out.end(), '\n'), 4);
    EXPECT_EQ(here.err, "D" + notice);
    // Named one by one, or in another folder, a card is a scene like any other.
    const std::string card = card_name("KK_F", 1, "D" + sep + "scene.png");
    const run_result one = run_tool(box, {"-q", "-o", "E", "D/" + card});
    EXPECT_EQ(one.out, "\rExtracted 1 character.\r\n");
    EXPECT_EQ(run_tool(box, {"-q", "D"}).err, "");
}

// A listing on a terminal (under wine, a Windows console whatever its code
// page) shows the names as themselves; into a file it stays UTF-8. wine's
// console draws each UTF-16 unit on its own, so a character beyond U+FFFF
// (an emoji) is checked on the Linux terminal and in the file only.
TEST(e2e_outputs, names_show_on_a_terminal) {
    const std::string kondo = "\xE8\xBF\x91\xE8\x97\xA4", aono = "\xE8\x92\xBC\xE4\xB9\x83";  // 近藤 蒼乃
    const std::string renee = "Ren\xC3\xA9" "e", star = "\xE2\x98\x85", smile = "\xF0\x9F\x98\x80";
    sandbox box;
    write_file(box, "scene.png", plan_scene({named_character(row_kk, 1, {{"lastname", kondo}, {"firstname", aono}}),
                                             named_character(row_kk, 0, {{"lastname", renee}, {"firstname", star}}),
                                             named_character(row_kk, 1, {{"lastname", smile}, {"firstname", ""}})})
                                     .file);
    const run_result shown = run_tool_on_terminal(box, {"--list", "scene.png"});
    EXPECT_EQ(shown.status, 0);
    const std::string text = windows_tool() ? shown_characters(shown.out) : shown.out;
    EXPECT_NE(text.find(kondo + " " + aono), std::string::npos) << text;
    EXPECT_NE(text.find(renee + " " + star), std::string::npos) << text;
    if (!windows_tool()) EXPECT_NE(text.find("\t" + smile + "\t"), std::string::npos) << text;
    // The output folder named in a script the ANSI code page lacks is made as
    // named (the Windows program reads it from the wide command line).
    const std::string folder = kondo + "_cards";
    EXPECT_EQ(run_tool(box, {"-q", "-o", folder, "scene.png"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(box.work + "/" + folder + "/" + card_name("KK_F", 1)));
    const run_result stored = run_tool(box, {"--list", "scene.png"});
    EXPECT_EQ(stored.out, "scene.png\t" + card_name("KK_F", 1) + "\tKK\tF\t" + kondo + " " + aono + "\t-\t0" + line_end +
                              "scene.png\t" + card_name("KK_M", 2) + "\tKK\tM\t" + renee + " " + star + "\t-\t0" +
                              line_end + "scene.png\t" + card_name("KK_F", 3) + "\tKK\tF\t" + smile + "\t-\t0" + line_end);
}

}  // namespace
