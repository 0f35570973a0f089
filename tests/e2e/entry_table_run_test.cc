// The tool on entry tables that reach past the end: markers packed 41 bytes
// apart, each no match, then a record that is one inside their tables. The
// whole progress stream, the summary and the card, byte for byte.
#include <gtest/gtest.h>

#include "e2e_support.h"

TEST(e2e_entry_table_run, packed_rejected_tables_then_a_match) {
    std::vector<table_entry> entries(100, {1, 2});
    const bytes match = build_table_record({row_hs_female, entries, bytes(3, 7)});
    scene_plan plan{png_head(), {}};
    put_bytes(plan.file, bytes(40, '.'));
    put_bytes(plan.file, packed_table_markers(41 * 300));
    plan.spans.push_back({plan.file.size() + 1, plan.file.size() + match.size()});
    put_bytes(plan.file, match);
    // Every packed marker's table lies in the file; its FF entries reach
    // 2 x (2^24 - 1) bytes past it, far past the end.
    plan.file.resize(plan.file.size() + 148 * size_t(packed_marker_entries), 0xFF);

    sandbox box;
    const run_result r = run_scene(box, plan.file);
    EXPECT_EQ(r.out, expected_out(plan, "\rExtracted 1 character.\r\n"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_card(box, card_name("HS_F", 1)).rest, match);
    EXPECT_EQ(file_names(box), (std::set<std::string>{"scene.png", card_name("HS_F", 1)}));
}
