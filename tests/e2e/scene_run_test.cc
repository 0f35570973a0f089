// The tool as a whole: usage, scene or not, and for a scene the progress, the
// closing line and the cards: names, bytes (PNG, then record) and pictures.
// The unit tests pin the exact rules; here each outcome shows once.
#include "e2e_support.h"

namespace {

// --newer-games alone is the usage, before a missing file, even when a scene
// has its name.
TEST(e2e_scene_run, usage_and_which_files_are_scenes) {
    const char usage[] = "Extract character cards from Illusion/IllGames scene files\r\n\r\ncardlift <scene.png>\r\n",
               no_scene[] = "not a scene file\r\n";
    const std::string missing = missing_reason() + "\r\n";
    const bytes scene = plan_scene({character(row_sv, 1)}).file;
    const struct {
        std::vector<std::string> args;
        bytes data;  // written as args[0]; none: no file
        const char* out;
        std::string err;
        int status = 1;
    } cases[] = {
        {{}, {}, usage, ""},
        {{"scene.png"}, {}, "", "cannot read scene.png: " + missing},
        {{"scene.png"}, build_scene(bytes(30, '.')), "", no_scene},
        {{"scene.png"}, build_scene(bytes(31, '.')), "\rNo characters found!\r\n", "", 0},
        {{"--newer-games"}, scene, usage, ""},
        {{"--newer-games", "missing.png"}, scene, "", "cannot read missing.png: " + missing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.args.size() << " arguments, " << c.data.size() << " bytes");
        sandbox box;
        const run_result r = c.data.empty() ? run_tool(box, c.args) : run_scene(box, c.data, c.args);
        expect_run(r, c.status, c.status ? c.out : expected_out({c.data, {}}, c.out), c.err);
        EXPECT_EQ(file_names(box).size(), c.data.empty() ? 0u : 1u);
    }
}

TEST(e2e_scene_run, cards_and_summary) {
    const bytes a = character(row_kk, 1), b = character(row_kk, 0);
    bytes twin = a;  // the same record but for its last byte
    twin.back() ^= 1;
    // A face of the card's size is copied opaque but for the last column, which
    // keeps pixel 0; half transparent, so that both show.
    picture face = busy_picture(252, 352, 7);
    for (uint32_t& px : face.pixels) px = (px & 0x00FFFFFF) | 0x80000000;
    const bytes face_png = encode_png(face);
    auto tabled = [](int row, const std::string& data) {  // data holding a "sex" the layout ignores
        const uint32_t b = uint32_t(data.size() - 20);
        return build_table_record({row, {{10, 4}, {20, b}, {3, 0}}, {data.begin(), data.end()}});
    };
    struct expected_card {
        const char* stem;
        size_t record;  // index into the case's records
        const picture* face = nullptr;  // else the plain colour of the stem's sex letter
    };
    struct summary_case {
        std::vector<bytes> records;
        std::vector<expected_card> cards;
        const char* summary;
        size_t stop_after = SIZE_MAX;  // records the scan takes
    } cases[] = {
        {{a, twin}, {{"KK_F", 0}, {"KK_F", 1}}, "\rExtracted 2 characters.\r\n"},
        {{a, a}, {{"KK_F", 0}}, "\rExtracted 1 character (1 duplication skipped).\r\n"},
        {{a, b, a, b}, {{"KK_F", 0}, {"KK_M", 1}}, "\rExtracted 2 characters (2 duplications skipped).\r\n"},
        // Every marker row with its prefix and a sex; a face, then none; a face that does not decode.
        {{character(row_hc, 1), b, character(row_kk_sp, 1), character(row_kks, 0),
          tabled(row_hs_male, "..........sex\x01..........."),
          tabled(row_hs_female, std::string("..........sex\0...........", 25)), character(row_ais, 1),
          character(row_rg, 0), character(row_kk, 1, face_png), character(row_kk, 0, {}, "2"),
          character(row_rg, 1, bytes(face_png.begin(), face_png.begin() + 900))},
         {{"HC_F", 0}, {"KK_M", 1}, {"KK_F", 2}, {"KKS_M", 3}, {"HS_M", 4}, {"HS_F", 5}, {"HS2_F", 6},
          {"RG_M", 7}, {"KK_F", 8, &face}, {"KK_M", 9}, {"RG_F", 10}},
         "\rExtracted 11 characters.\r\n"},
        // Of 300, and of exactly 256: filled in below. The stop is told only
        // when markers are left unsearched.
        {{}, {}, "\rExtracted 256 characters.\r\n", 256},
        {{}, {}, "\rExtracted 256 characters.\r\n", 256},
    };
    for (size_t i = 0; i < 300; ++i) cases[4].records.push_back(character(row_kk, 0, {}, std::to_string(i)));
    cases[5].records.assign(cases[4].records.begin(), cases[4].records.begin() + 256);
    for (size_t i = 0; i < 256; ++i) cases[4].cards.push_back({"KK_M", i});
    cases[5].cards = cases[4].cards;
    for (const summary_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.summary << c.records.size() << " records");
        sandbox box;
        // A file of the first card's name is replaced, not appended to.
        if (!c.cards.empty()) write_file(box, card_name(c.cards[0].stem, 1), bytes(500000, 0x5A));
        const scene_plan plan = plan_scene(c.records);
        expect_run(run_scene(box, plan.file), 0, expected_out(plan, c.summary, c.stop_after),
                   c.records.size() > 256 ? stop_notice(plan) : "");
        std::set<std::string> names{"scene.png"};
        for (size_t n = 0; n < c.cards.size(); ++n) {
            const expected_card& want = c.cards[n];
            const std::string name = *names.insert(card_name(want.stem, n + 1)).first;
            const card k = read_card(box, name);
            ASSERT_TRUE(same_text(k.rest, c.records[want.record])) << name;
            ASSERT_EQ(std::make_pair(k.width, k.height), std::make_pair(252, 352));
            const uint32_t plain = name[name.find('_') + 1] == 'F' ? 0xFFF6BAF3 : 0xFFFEC2A8;  // R, G, B, A
            const picture* f = want.face;
            for (size_t p = 0; p < k.pixels.size(); ++p)
                ASSERT_EQ(k.pixels[p], !f ? plain : p % 252 == 251 ? f->pixels[0] : f->pixels[p] | 0xFF000000)
                    << name << " x " << p % 252 << " y " << p / 252;
        }
        EXPECT_EQ(file_names(box), names);
    }
}

}  // namespace

namespace {

// The suite runs with four drawing threads; here the number of threads is
// what is tried: one, and 64, more than any machine here has cores, so that
// pictures finish far out of scan order and big faces share the decode budget
// at once. Faces of many sizes, repeats, a card whose name a folder holds and
// a face too big for the budget alone: the console streams, the status and
// every card are the same bytes.
TEST(e2e_scene_run, any_number_of_threads_gives_the_same_run) {
    std::vector<bytes> records;
    for (int i = 0; i < 24; ++i) {
        const int side = i % 4 == 0 ? 600 : 20 + 13 * i;
        records.push_back(character(i % 3 ? row_kk : row_rg, uint8_t(i % 2), encode_png(busy_picture(side, side + 7, uint32_t(i)))));
        if (i % 5 == 0) records.push_back(records[size_t(i) / 2]);
    }
    const scene_plan plan = plan_scene(records);
    struct outcome {
        run_result run;
        std::map<std::string, std::string> files;
    };
    std::vector<outcome> outcomes;
    for (const char* workers : {"1", "64"}) {
        sandbox box;
        write_file(box, "scene.png", plan.file);
        ASSERT_TRUE(std::filesystem::create_directory(box.work + "/" + card_name("KK_F", 2)));
        outcome o{run_tool(box, {"scene.png"}, std::string("CARDLIFT_WORKERS=") + workers + " "), {}};
        for (const std::string& name : file_names(box))
            if (std::filesystem::is_regular_file(box.work + "/" + name)) o.files[name] = read_text(box.work + "/" + name);
        outcomes.push_back(o);
    }
    EXPECT_EQ(outcomes[0].run.status, 1);
    EXPECT_TRUE(same_text(outcomes[0].run.out, outcomes[1].run.out));
    EXPECT_EQ(outcomes[0].run.err, outcomes[1].run.err);
    EXPECT_EQ(outcomes[0].run.status, outcomes[1].run.status);
    ASSERT_EQ(outcomes[0].files.size(), outcomes[1].files.size());
    for (const auto& [name, content] : outcomes[0].files) EXPECT_TRUE(same_text(content, outcomes[1].files[name])) << name;
}

// A folder of scenes, and scenes named one after another, give the same run
// whatever the number of drawing threads: with threads, the next scenes are
// read and scanned while the last pictures of the one before are drawn, and
// still every line, message, notice and card comes as with none (0: drawn on
// the scanning thread, one scene after another).
TEST(e2e_scene_run, scenes_read_ahead_give_the_same_run) {
    std::vector<scene_plan> plans;
    for (int s = 0; s < 12; ++s) {
        std::vector<bytes> records;
        for (int i = 0; i < 1 + s % 3; ++i)
            records.push_back(character(i % 2 ? row_kk : row_hc, uint8_t((s + i) % 2),
                                        encode_png(busy_picture(40 + 7 * s, 50 + 3 * i, uint32_t(s * 10 + i)))));
        if (s == 4) records.push_back(records[0]);            // a repeat
        if (s == 6) records.push_back(character(row_sv, 1));  // a later game's character
        plans.push_back(plan_scene(records));
    }
    bytes cut = plans[9].file;
    cut.resize(cut.size() - 30);  // ends inside its last record
    struct outcome {
        run_result run;
        std::map<std::string, std::string> files;
    };
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"scenes"}, std::vector<std::string>{"--json", "scenes"},
          std::vector<std::string>{"--names", "-o", "out", "scenes/s00.png", "scenes/s01.png", "scenes/notes.png",
                                   "scenes", "scenes/s11.png"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        std::vector<outcome> outcomes;
        for (const char* workers : {"0", "1", "2", "64"}) {
            sandbox box;
            for (size_t s = 0; s < plans.size(); ++s) {
                char name[32];
                std::snprintf(name, sizeof name, "scenes/s%02zu.png", s);
                write_file(box, name, s == 9 ? cut : plans[s].file);
            }
            write_file(box, "scenes/notes.png", bytes(100, 'x'));  // no scene, among them
            // A card of the fourth scene cannot be written: its name is a folder's.
            ASSERT_TRUE(std::filesystem::create_directories(box.work + "/" + card_name("HC_M", 1, "scenes/s03.png")));
            outcome o{run_tool(box, args, std::string("CARDLIFT_WORKERS=") + workers + " "), {}};
            for (const auto& e : std::filesystem::recursive_directory_iterator(box.work))
                if (e.is_regular_file()) o.files[e.path().string().substr(box.work.size())] = read_text(e.path());
            outcomes.push_back(o);
        }
        EXPECT_EQ(outcomes[0].run.status, 1);
        EXPECT_FALSE(outcomes[0].run.err.empty());
        for (size_t k = 1; k < outcomes.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_TRUE(same_text(outcomes[k].run.out, outcomes[0].run.out));
            EXPECT_EQ(outcomes[k].run.err, outcomes[0].run.err);
            EXPECT_EQ(outcomes[k].run.status, outcomes[0].run.status);
            ASSERT_EQ(outcomes[k].files.size(), outcomes[0].files.size());
            for (const auto& [name, content] : outcomes[0].files)
                EXPECT_TRUE(same_text(outcomes[k].files[name], content)) << name;
        }
    }
}

}  // namespace
