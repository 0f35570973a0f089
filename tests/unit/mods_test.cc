// What a character needs: the plugins and mods of its extended data, read
// from MessagePack nobody vouches for; and a scene's own plugins.
#include <gtest/gtest.h>

#include <msgpack.hpp>
#include <algorithm>
#include <functional>
#include <string>

#include "scene/record.h"
#include "scene/record_mods.h"
#include "scene_builder.h"

namespace {

record_mods mods_of(const bytes& record) {
    bytes scene;
    record_info rec;
    record_mods mods;
    if (!measure_alone(record, row_kk, &scene, &rec)) {
        ADD_FAILURE() << "no record";
        return mods;
    }
    read_record_mods(scene.data(), rec, &mods);
    return mods;
}

bytes packed(const std::function<void(msgpack::packer<msgpack::sbuffer>&)>& write) {
    msgpack::sbuffer out;
    msgpack::packer<msgpack::sbuffer> pack(out);
    write(pack);
    return bytes(out.data(), out.data() + out.size());
}

std::string ids(const record_mods& m) {
    std::string s;
    for (const mod_info& mod : m.mods)
        s += (s.empty() ? "" : ",") + mod.id + "/" + mod.name + "/" + mod.author + "/" + mod.website;
    return s;
}

std::string plugins(const record_mods& m) {
    std::string s;
    for (const std::string& p : m.plugins) s += (s.empty() ? "" : ",") + p;
    return s;
}

}  // namespace

// Every shape the extended data comes in, well formed or not: the lists are
// whole, partial with a note, or empty; nothing is read outside the block.
TEST(mods, plugins_and_mods_of_every_shape) {
    const resolve_entry nip{"k1t0.nipples", "Realistic Nipples", "K1T0", "http://example.org/k"};
    const resolve_entry hair{"sjjpl.Female25", "", "sjjpl", ""};
    const resolve_entry hair_named{"sjjpl.Female25", "Hair 25", "", "http://example.org/h"};
    const std::vector<std::string> two = {"com.a.plugin", "KK_Pregnancy"};
    // The sideloader's data with an "info" that is no list, and a bin that is no map.
    const bytes info_not_list = packed([](auto& p) {
        p.pack_map(1), p.pack(std::string(sideloader_guid));
        p.pack_array(2), p.pack(0), p.pack_map(1), p.pack(std::string("info")), p.pack(7);
    });
    const bytes bin_no_map = packed([](auto& p) {
        p.pack_map(1), p.pack(std::string(sideloader_guid));
        p.pack_array(2), p.pack(0), p.pack_map(1), p.pack(std::string("info")), p.pack_array(2);
        p.pack_bin(3), p.pack_bin_body("abc", 3);
        const bytes entry = packed([](auto& q) { q.pack_map(1), q.pack(std::string("ModID")), q.pack(std::string("ok.mod")); });
        p.pack_bin(uint32_t(entry.size())), p.pack_bin_body(reinterpret_cast<const char*>(entry.data()), uint32_t(entry.size()));
    });
    const bytes guid_not_string = packed([](auto& p) {
        p.pack_map(2), p.pack(12), p.pack_nil(), p.pack(std::string("after.int")), p.pack_nil();
    });
    const bytes not_utf8 = packed([](auto& p) { p.pack_map(1), p.pack(std::string("bad\xFF" "guid")), p.pack_nil(); });
    const bytes huge_count = {0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 'a', 0xC0};  // a map of 2^32 - 1 entries
    const bytes whole = extended_data(two, {nip});
    const bytes deep = packed([](auto& p) {
        p.pack_map(2), p.pack(std::string("deep.plugin"));
        for (int i = 0; i < 40; ++i) p.pack_array(1);
        p.pack_nil();
    });
    const struct {
        const char* what;
        bytes extended;
        std::string plugins, mods;
        bool note;
    } cases[] = {
        {"plugins only", extended_data(two), "com.a.plugin,KK_Pregnancy", "", false},
        {"nil values", extended_data({}, {}, sideloader_guid, two), "com.a.plugin,KK_Pregnancy", "", false},
        {"new entries, one mod twice", extended_data(two, {nip, hair, nip}),
         "com.a.plugin,KK_Pregnancy," + std::string(sideloader_guid),
         "k1t0.nipples/Realistic Nipples/K1T0/http://example.org/k,sjjpl.Female25//sjjpl/", false},
        {"a later entry fills what an earlier left out", extended_data({}, {hair, hair_named}),
         sideloader_guid, "sjjpl.Female25/Hair 25/sjjpl/http://example.org/h", false},
        {"old sideloader GUID", extended_data({}, {{"old.mod", "", "", ""}}, old_sideloader_guid), old_sideloader_guid,
         "old.mod///", false},
        {"info not a list", info_not_list, sideloader_guid, "", false},
        {"a bin that is no map", bin_no_map, sideloader_guid, "ok.mod///", true},
        {"a GUID that is no string", guid_not_string, "after.int", "", false},
        {"a GUID that is no UTF-8", not_utf8, "bad\xEF\xBF\xBDguid", "", false},
        {"a huge count", huge_count, "", "", true},
        {"nested too deep", deep, "deep.plugin", "", true},
        {"not MessagePack", bytes(20, 0xC1), "", "", true},
        {"cut short", bytes(whole.begin(), whole.end() - 5),
         "com.a.plugin,KK_Pregnancy," + std::string(sideloader_guid), "", true},
        {"empty", {}, "", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const record_mods m = mods_of(character_with_extended_data(row_kk, 1, "A", c.extended));
        EXPECT_EQ(plugins(m), c.plugins);
        EXPECT_EQ(ids(m), c.mods);
        EXPECT_EQ(m.note != nullptr, c.note) << (m.note ? m.note : "");
    }
    // No KKEx block, and a block past the record's final section.
    EXPECT_EQ(ids(mods_of(named_character(row_kk, 1, {{"lastname", "A"}}))), "");
    const bytes map = extended_data(two);
    sp_record r{.row = row_kk};
    r.final_section = bytes(40, 0x11);
    r.final_section.insert(r.final_section.end(), map.begin(), map.end());
    r.skipped = block_list({{"KKEx", 40, map.size() + 1}});  // one byte past the section
    EXPECT_EQ(plugins(mods_of(build_sp_record(r))), "");
    r.skipped = block_list({{"KKEx", 40, map.size()}});
    EXPECT_EQ(plugins(mods_of(build_sp_record(r))), "com.a.plugin,KK_Pregnancy");
}

// The lists stop at their bounds, with a note; fields are cut on a character.
TEST(mods, bounds_of_the_lists) {
    std::vector<std::string> many;
    for (size_t i = 0; i < mods_max_plugins + 1; ++i) many.push_back("p" + std::to_string(i));
    record_mods m = mods_of(character_with_extended_data(row_kk, 1, "A", extended_data(many)));
    EXPECT_EQ(m.plugins.size(), mods_max_plugins);
    ASSERT_NE(m.note, nullptr);
    many.pop_back();
    m = mods_of(character_with_extended_data(row_kk, 1, "A", extended_data(many)));
    EXPECT_EQ(m.plugins.size(), mods_max_plugins);
    EXPECT_EQ(m.note, nullptr);
    const std::string haru = "\xE6\x98\xA5";
    m = mods_of(character_with_extended_data(row_kk, 1, "A", extended_data({}, {{std::string(253, 'x') + haru, "", "", ""}})));
    ASSERT_EQ(m.mods.size(), 1u);
    EXPECT_EQ(m.mods[0].id, std::string(253, 'x'));
}

// A scene's own extended data: the last block whose map ends inside the file.
TEST(mods, the_scene_s_own_plugins) {
    const bytes map = extended_data({"studio.plugin", "timeline"});
    bytes trailing(40, '.');
    const bytes block = scene_extended_block(map);
    trailing.insert(trailing.end(), block.begin(), block.end());
    const bytes scene = build_scene(trailing);
    const uint32_t start = uint32_t(png_head().size() - 12);
    record_mods m;
    read_scene_mods(scene.data(), uint32_t(scene.size()), start, &m);
    EXPECT_EQ(plugins(m), "studio.plugin,timeline");
    // One whose length reaches past the end is none.
    bytes cut = scene;
    cut.resize(cut.size() - 1);
    read_scene_mods(cut.data(), uint32_t(cut.size()), start, &m);
    EXPECT_TRUE(m.plugins.empty());
    read_scene_mods(scene.data(), uint32_t(scene.size()), uint32_t(scene.size()), &m);
    EXPECT_TRUE(m.plugins.empty());
}
