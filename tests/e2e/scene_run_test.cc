// The tool as a whole: usage, which files count as scenes, the progress stream
// and the closing line. The exact scene checks are pinned by the unit tests;
// here each outcome is shown once through the real program.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

const char none_found[] = "\rNo characters found!\r\n";

TEST(e2e_scene_run, no_argument_prints_usage) {
    sandbox box;
    run_result r = run_tool(box, {});
    EXPECT_EQ(r.out, "Extract character cards from Illusion/IllGames scene files\r\n\r\n"
                     "cardlift <scene.png>\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(file_names(box).empty());
}

TEST(e2e_scene_run, which_files_are_scenes) {
    bytes tiny = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0, 'I', 'E', 'N', 'D'};
    tiny.resize(63, '.');  // 47 bytes from IEND's first byte on, but 63 in all
    bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    jpeg.resize(200, 0x42);
    bytes runs_off = build_scene(bytes(40, '.'));
    runs_off[9] = runs_off[10] = runs_off[11] = 0xFF;  // IHDR's length: past the end
    struct scene_case {
        const char* what;
        bytes data;
        bool scene = false;
    } cases[] = {
        {"missing file", {}},  // not written at all
        {"63 bytes", tiny},
        {"nothing after IEND", png_head()},
        {"30 bytes after IEND", build_scene(bytes(30, '.'))},
        {"31 bytes after IEND", build_scene(bytes(31, '.')), true},
        {"JPEG", jpeg},
        {"chunk walk runs off the end", runs_off},
    };
    for (const scene_case& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox box;
        run_result r = c.data.empty() ? run_tool(box, {"scene.png"}) : run_scene(box, c.data);
        const scene_plan empty{c.data, uint32_t(png_head().size() - 12), {}};
        EXPECT_EQ(r.out, c.scene ? expected_out(empty, none_found) : "");
        EXPECT_EQ(r.err, c.scene ? "" : "not a scene file\r\n");
        EXPECT_EQ(r.status, c.scene ? 0 : 1);
        EXPECT_EQ(file_names(box).size(), c.data.empty() ? 0u : 1u);
    }
}

// Whole standard output against the reference progress stream, and the cards.
TEST(e2e_scene_run, summary_counts_cards_and_duplicates) {
    const placed_record a = character(row_kk, 1), b = character(row_kk, 0);
    placed_record twin = a;  // the same record but for its last byte
    twin.data.back() ^= 1;
    std::vector<placed_record> many;  // 300 different ones; the scan stops after 256
    std::vector<std::pair<std::string, size_t>> first_256;
    for (size_t i = 0; i < 300; ++i) many.push_back(character(row_kk, 0, {}, std::to_string(i)));
    for (size_t i = 0; i < 256; ++i) first_256.push_back({"KK_M", i});
    struct summary_case {
        std::vector<placed_record> records;
        std::vector<std::pair<std::string, size_t>> cards;  // name stem, record index
        const char* summary;
        size_t stop_after = SIZE_MAX;  // records the scan takes
    } cases[] = {
        {{}, {}, none_found},
        {{a}, {{"KK_F", 0}}, "\rExtracted 1 character.\r\n"},
        {{a, twin}, {{"KK_F", 0}, {"KK_F", 1}}, "\rExtracted 2 characters.\r\n"},
        {{a, a}, {{"KK_F", 0}}, "\rExtracted 1 character (1 duplication skipped).\r\n"},
        {{a, b, a, b}, {{"KK_F", 0}, {"KK_M", 1}}, "\rExtracted 2 characters (2 duplications skipped).\r\n"},
        {many, first_256, "\rExtracted 256 characters.\r\n", 256},
    };
    for (const summary_case& c : cases) {
        SCOPED_TRACE(c.summary);
        sandbox box;
        const scene_plan plan = plan_scene(c.records);
        run_result r = run_scene(box, plan.file);
        EXPECT_EQ(r.out, expected_out(plan, c.summary, c.stop_after));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        std::set<std::string> expected{"scene.png"};
        for (size_t i = 0; i < c.cards.size(); ++i) {
            const std::string name = *expected.insert(card_name(c.cards[i].first, i + 1)).first;
            EXPECT_EQ(read_card(box, name).rest, c.records[c.cards[i].second].data) << name;
        }
        EXPECT_EQ(file_names(box), expected);
    }
}

}  // namespace
