// The tool as a whole: usage, which files count as scenes, the progress stream
// and the closing line.
#include <gtest/gtest.h>

#include <cstring>

#include "e2e_support.h"

namespace {

const char not_a_scene[] = "not a scene file\r\n";
const char none_found[] = "\rNo characters found!\r\n";

// A chunk with a zero CRC field; the tool never checks chunk CRCs.
bytes chunk(const char* type, size_t data_len, uint32_t length_field) {
    bytes b;
    for (int shift = 24; shift >= 0; shift -= 8) put_u8(b, length_field >> shift);
    put_text(b, type);
    b.insert(b.end(), data_len, 0x11);
    put_le32(b, 0);
    return b;
}
bytes chunk(const char* type, size_t data_len) {
    return chunk(type, data_len, static_cast<uint32_t>(data_len));
}

bytes signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

bytes cat(const std::vector<bytes>& parts) {
    bytes all;
    for (const bytes& p : parts) put_bytes(all, p);
    return all;
}

bytes filler(size_t n) { return bytes(n, '.'); }

TEST(e2e_scene_run, no_argument_prints_usage) {
    sandbox box;
    write_file(box, "scene.png", build_scene(filler(40)));
    run_result r = run_tool(box, {});
    EXPECT_EQ(r.out,
              "Extract character cards from Illusion/IllGames scene files\r\n\r\n"
              "cardlift <scene.png>\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
}

TEST(e2e_scene_run, rejects_files_that_are_not_scenes) {
    bytes wrong_signature = build_scene(filler(40));
    wrong_signature[3] = 'g';
    bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    jpeg.resize(200, 0x42);
    struct rejection {
        const char* what;
        bool present;
        bytes data;
    } cases[] = {
        {"missing file", false, {}},
        {"empty file", true, {}},
        {"63 bytes, IEND then 43", true, cat({signature(), chunk("IEND", 0), filler(43)})},
        {"nothing after IEND", true, png_head()},
        {"30 bytes after IEND", true, build_scene(filler(30))},
        {"JPEG", true, jpeg},
        {"fourth signature byte", true, wrong_signature},
        {"chunk length past the end", true, cat({signature(), chunk("IHDR", 100, 0xFFFFFF)})},
        {"chunks end without IEND", true,
         cat({signature(), chunk("IHDR", 13), chunk("tEXt", 60)})},
        {"chunk type cut by the end", true,
         cat({signature(), chunk("IHDR", 13), chunk("tEXt", 60), {0, 0, 0, 0, 'I', 'E'}})},
    };
    for (const rejection& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox box;
        if (c.present) write_file(box, "scene.png", c.data);
        run_result r = run_tool(box, {"scene.png"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, not_a_scene);
        EXPECT_EQ(r.status, 1);
        std::set<std::string> expected;
        if (c.present) expected.insert("scene.png");
        EXPECT_EQ(file_names(box), expected);
    }
}

TEST(e2e_scene_run, accepts_scenes_without_characters) {
    bytes loose_signature = build_scene(filler(40));
    memset(&loose_signature[4], 0, 4);  // only the first four bytes are compared
    bytes cut_record = build_sp_record(sp_record{});
    cut_record.pop_back();  // its end would lie one byte past the file's end
    struct acceptance {
        const char* what;
        bytes data;
        uint32_t iend;
    } cases[] = {
        {"64 bytes, IEND then 44", cat({signature(), chunk("IEND", 0), filler(44)}), 8},
        {"31 bytes after IEND", build_scene(filler(31)),
         static_cast<uint32_t>(png_head().size() - 12)},
        {"length field's top byte ignored",
         cat({signature(), chunk("IHDR", 13, 0xFF00000D), chunk("IEND", 0), filler(31)}), 33},
        {"signature bytes 4 to 7 ignored", loose_signature,
         static_cast<uint32_t>(png_head().size() - 12)},
        {"record running past the end", build_scene(cat({filler(40), cut_record})),
         static_cast<uint32_t>(png_head().size() - 12)},
    };
    for (const acceptance& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox box;
        write_file(box, "scene.png", c.data);
        run_result r = run_tool(box, {"scene.png"});
        uint32_t size = static_cast<uint32_t>(c.data.size());
        EXPECT_EQ(r.out, progress_text(size, c.iend, {}) + none_found);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(file_names(box), std::set<std::string>{"scene.png"});
    }
}

sp_record kk_record(const std::string& text, uint8_t sex, uint8_t last = 'x') {
    sp_record r;
    r.row = row_kk;
    r.text = text;
    r.final_section = final_with_sex(sex);
    r.final_section.push_back(last);
    return r;
}

TEST(e2e_scene_run, summary_counts_cards_and_duplicates) {
    placed_record a = sp(kk_record("a", 1));
    placed_record a_twin = sp(kk_record("a", 1, 'y'));  // differs in its last byte only
    placed_record b = sp(kk_record("b", 0));
    table_record female;
    placed_record t = table(female);

    struct summary_case {
        const char* what;
        std::vector<placed_record> records;
        std::vector<std::pair<std::string, size_t>> cards;  // name stem, record index
        const char* summary;
    } cases[] = {
        {"no marker", {}, {}, none_found},
        {"one", {a}, {{"KK_F", 0}}, "\rExtracted 1 character.\r\n"},
        {"two differing in the last byte", {a, a_twin}, {{"KK_F", 0}, {"KK_F", 1}},
         "\rExtracted 2 characters.\r\n"},
        {"one twice", {a, a}, {{"KK_F", 0}},
         "\rExtracted 1 character (1 duplication skipped).\r\n"},
        {"one three times", {a, a, a}, {{"KK_F", 0}},
         "\rExtracted 1 character (2 duplications skipped).\r\n"},
        {"two, each twice", {a, b, a, b}, {{"KK_F", 0}, {"KK_M", 1}},
         "\rExtracted 2 characters (2 duplications skipped).\r\n"},
        {"table record twice", {t, b, t}, {{"HS_F", 0}, {"KK_M", 1}},
         "\rExtracted 2 characters (1 duplication skipped).\r\n"},
    };
    const uint32_t tag = path_tag("scene.png");
    for (const summary_case& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox box;
        scene_plan plan = plan_scene(c.records);
        write_file(box, "scene.png", plan.file);
        run_result r = run_tool(box, {"scene.png"});
        EXPECT_EQ(r.out, progress_text(plan.file.size(), plan.iend, plan.spans) + c.summary);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        std::set<std::string> expected{"scene.png"};
        for (size_t i = 0; i < c.cards.size(); ++i) {
            std::string name = card_name(c.cards[i].first, tag, i + 1);
            expected.insert(name);
            card k = read_card(read_file(box, name));
            EXPECT_EQ(k.rest, c.records[c.cards[i].second].data) << name;
        }
        EXPECT_EQ(file_names(box), expected);
    }
}

TEST(e2e_scene_run, stops_after_256_cards) {
    std::vector<placed_record> records;
    for (int i = 0; i < 300; ++i) {
        sp_record r;
        r.text = std::to_string(i);
        r.final_section = {'z'};
        records.push_back(sp(r));
    }
    scene_plan plan = plan_scene(records);
    sandbox box;
    write_file(box, "scene.png", plan.file);
    run_result r = run_tool(box, {"scene.png"});
    EXPECT_EQ(r.out, progress_text(plan.file.size(), plan.iend, plan.spans, 256) +
                         "\rExtracted 256 characters.\r\n");
    EXPECT_EQ(r.status, 0);
    std::set<std::string> expected{"scene.png"};
    const uint32_t tag = path_tag("scene.png");
    for (uint32_t n = 1; n <= 256; ++n) expected.insert(card_name("KK_M", tag, n));
    EXPECT_EQ(file_names(box), expected);
    EXPECT_EQ(read_card(read_file(box, card_name("KK_M", tag, 256))).rest, records[255].data);
}

}  // namespace
