// Markers packed 41 bytes apart, each no match: their tables lie in the file,
// their FF entries reach 2 x (2^24 - 1) bytes past it, so the scene looks cut
// short (told once, status 1). Then a record inside them.
#include "e2e_support.h"

TEST(e2e_entry_table_run, packed_rejected_tables_then_a_match) {
    const bytes match = build_table_record({row_hs_female, std::vector<table_entry>(100, {1, 2}), bytes(3, 7)});
    scene_plan plan{png_head(), {}};
    put_bytes(plan.file, bytes(40, '.'));
    put_bytes(plan.file, packed_table_markers(41 * 300));
    plan.spans.push_back({plan.file.size() + 1, plan.file.size() + match.size()});
    put_bytes(plan.file, match);
    plan.file.resize(plan.file.size() + 148 * size_t(packed_marker_entries), 0xFF);

    sandbox box;
    expect_run(run_scene(box, plan.file), 1, expected_out(plan, "\rExtracted 1 character.\r\n"),
               "scene.png: the scene ends inside a character record at 0%: the file may be cut short.\r\n");
    EXPECT_TRUE(same_text(read_card(box, card_name("HS_F", 1)).rest, match));
    EXPECT_EQ(file_names(box), (std::set<std::string>{"scene.png", card_name("HS_F", 1)}));
}
