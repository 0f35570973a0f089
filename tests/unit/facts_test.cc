// What a record says of its character: its name, read from MessagePack that
// nobody vouches for, and that name as part of a file name.
#include <gtest/gtest.h>

#include <msgpack.hpp>
#include <algorithm>
#include <functional>
#include <string>

#include "scene/record.h"
#include "scene/record_facts.h"
#include "scene_builder.h"

namespace {

// The facts of `record` as a scan measures it.
record_facts facts_of(const bytes& record, int row = row_kk) {
    bytes scene;
    record_info rec;
    record_facts facts{"x", "x"};
    if (!measure_alone(record, row, &scene, &rec)) {
        ADD_FAILURE() << "no record";
        return facts;
    }
    read_record_facts(scene.data(), rec, &facts);
    return facts;
}

// A record whose final section is `final_section` and whose skipped section is
// `list`, of the Koikatsu row.
bytes record_with(const bytes& list, const bytes& final_section) {
    sp_record r{.skipped = list, .final_section = final_section};
    return build_sp_record(r);
}

bytes packed(const std::function<void(msgpack::packer<msgpack::sbuffer>&)>& write) {
    msgpack::sbuffer out;
    msgpack::packer<msgpack::sbuffer> pack(out);
    write(pack);
    return bytes(out.data(), out.data() + out.size());
}

}  // namespace

// Every shape the list and the Parameter block come in, well formed or not:
// a fault anywhere gives no name, never a crash, never a read outside.
TEST(facts, names_of_every_shape) {
    const std::string sakura = "\xE6\x98\xA5\xE9\x87\x8E", chika = "\xE5\x8D\x83\xE4\xBD\xB3";  // 春野, 千佳
    const bytes param = parameter_map({{"lastname", sakura}, {"firstname", chika}}, 1);
    const bytes filler(40, 0x11);
    bytes final_section = filler;
    final_section.insert(final_section.end(), param.begin(), param.end());
    const auto list_for = [&](uint64_t pos, uint64_t size, const char* name = "Parameter") {
        return block_list({{"Custom", 0, 40}, {name, pos, size}});
    };
    // Nesting past the limit inside the list.
    const bytes deep = packed([](auto& p) {
        p.pack_map(1);
        p.pack(std::string("lstInfo"));
        for (int i = 0; i < 20; ++i) p.pack_array(1);
        p.pack_nil();
    });
    // An ext block whose size field says 2^32 - 1 (the library throws there).
    const bytes huge_ext = {0x81, 0xA7, 'l', 's', 't', 'I', 'n', 'f', 'o', 0xC9, 0xFF, 0xFF, 0xFF, 0xFF, 1};
    const struct {
        const char* what;
        bytes record;
        std::string name, nickname;
    } cases[] = {
        {"last and first", named_character(row_kk, 1, {{"lastname", sakura}, {"firstname", chika}}), sakura + " " + chika},
        {"fullname wins", named_character(row_ais, 1, {{"fullname", "Full Name"}, {"lastname", "L"}}), "Full Name"},
        {"empty fullname falls back", named_character(row_ais, 1, {{"fullname", ""}, {"firstname", "F"}}), "F"},
        {"last only", named_character(row_kk, 0, {{"lastname", "L"}, {"firstname", ""}}), "L"},
        {"nickname", named_character(row_kk, 0, {{"lastname", "L"}, {"nickname", "Nick"}}), "L", "Nick"},
        {"no name fields", named_character(row_kk, 0, {{"age", "17"}}), ""},
        {"plain list, right block", record_with(list_for(40, param.size()), final_section), sakura + " " + chika},
        {"no Parameter block", record_with(list_for(40, param.size(), "Coordinate"), final_section), ""},
        {"block past the final section", record_with(list_for(40, param.size() + 1), final_section), ""},
        {"block starting past it", record_with(list_for(uint64_t(1) << 40, 4), final_section), ""},
        {"lying size, a cut map", record_with(list_for(40, param.size() - 3), final_section), ""},
        {"block at the wrong place", record_with(list_for(0, param.size()), final_section), ""},
        {"no list at all", record_with({}, final_section), ""},
        {"list not MessagePack", record_with(bytes(30, 0xC1), final_section), ""},
        {"nested too deep", record_with(deep, final_section), ""},
        {"ext size 2^32 - 1", record_with(huge_ext, final_section), ""},
        {"invalid UTF-8 repaired", named_character(row_kk, 1, {{"lastname", "A\xFF" "B\xE6\x98"}}),
         "A\xEF\xBF\xBD" "B\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"an overlong name cut on a character", named_character(row_kk, 1, {{"lastname", std::string(250, 'a') + sakura}}),
         std::string(250, 'a') + "\xE6\x98\xA5"},
        // The 255-byte bound just inside and just outside, and a cut that
        // would split a character of three or four bytes.
        {"255 bytes kept whole", named_character(row_kk, 1, {{"lastname", std::string(255, 'a')}}), std::string(255, 'a')},
        {"256 bytes cut to 255", named_character(row_kk, 1, {{"lastname", std::string(256, 'a')}}), std::string(255, 'a')},
        {"a character ending at byte 255", named_character(row_kk, 1, {{"lastname", std::string(252, 'a') + sakura}}),
         std::string(252, 'a') + "\xE6\x98\xA5"},
        {"four bytes across the bound", named_character(row_kk, 1, {{"lastname", std::string(252, 'a') + "\xF0\x9F\x98\x80"}}),
         std::string(252, 'a')},
        {"four bytes up to the bound", named_character(row_kk, 1, {{"lastname", std::string(251, 'a') + "\xF0\x9F\x98\x80"}}),
         std::string(251, 'a') + "\xF0\x9F\x98\x80"},
        // A surrogate's UTF-8 form (CESU) and a code point past U+10FFFF are no characters.
        {"a surrogate", named_character(row_kk, 1, {{"lastname", "a\xED\xA0\x80" "b"}}),
         "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "b"},
        {"past U+10FFFF", named_character(row_kk, 1, {{"lastname", "\xF4\x90\x80\x80"}}),
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const record_facts facts = facts_of(c.record, std::string(c.what).find("fullname") != std::string::npos ? row_ais : row_kk);
        EXPECT_EQ(std::string(facts.name), c.name);
        EXPECT_EQ(std::string(facts.nickname), c.nickname);
    }
}

// The name part of a card's file name: what Windows forbids becomes '_',
// trailing spaces and dots go, at most 48 bytes, never half a character.
TEST(facts, safe_file_name_part) {
    const std::string haru = "\xE6\x98\xA5";  // 春, three bytes
    const struct {
        std::string name, part;
    } cases[] = {
        {"Chika", "Chika"},
        {"a<b>c:d\"e/f\\g|h?i*j", "a_b_c_d_e_f_g_h_i_j"},
        {"tab\there\x01\x7f", "tab_here__"},
        {"dots... ", "dots"},
        {" . ", ""},
        {"", ""},
        {std::string(48, 'x'), std::string(48, 'x')},
        {std::string(49, 'x'), std::string(48, 'x')},
        {std::string(46, 'x') + haru, std::string(46, 'x')},
        {std::string(45, 'x') + haru, std::string(45, 'x') + haru},
        {haru + haru, haru + haru},
        // Format characters go: bidi overrides, zero-width ones, the BOM.
        {"a\xE2\x80\xAEgpj.exe", "agpj.exe"},
        {"\xE2\x80\x8B", ""},
        {"\xEF\xBB\xBF" "Ann\xE2\x81\xA6" "a\xE2\x80\x8D" "b", "Annab"},
        {"x\xC2\xAD.", "x"},
        // A mark that does not fit takes its letter along; one that fits stays.
        {std::string(46, 'x') + "e\xCC\x81", std::string(46, 'x')},
        {std::string(45, 'x') + "e\xCC\x81", std::string(45, 'x') + "e\xCC\x81"},
        {std::string(44, 'x') + "\xE3\x81\x8B\xE3\x82\x99", std::string(44, 'x')},  // か + voicing mark
        {std::string(42, 'x') + "\xE3\x81\x8B\xE3\x82\x99", std::string(42, 'x') + "\xE3\x81\x8B\xE3\x82\x99"},
        {std::string(43, 'x') + " e\xCC\x81\xCC\x82", std::string(43, 'x')},  // the space before goes too
        // Cut after a space: never ends in one.
        {std::string(47, 'x') + " yz", std::string(47, 'x')},
    };
    for (const auto& c : cases) {
        char part[card_name_max_name_bytes + 1];
        safe_name_part(c.name.c_str(), part);
        EXPECT_EQ(std::string(part), c.part) << c.name;
    }
    char name[card_name_capacity];
    format_card_name("KK", 'F', 0x1A2B3C4D, 0, name, ("\xE6\x98\xA5\xE9\x87\x8E " + std::string("\xE5\x8D\x83\xE4\xBD\xB3")).c_str());
    EXPECT_STREQ(name, "KK_F_1A2B3C4D_001 \xE6\x98\xA5\xE9\x87\x8E \xE5\x8D\x83\xE4\xBD\xB3.png");
    format_card_name("KK", 'F', 0x1A2B3C4D, 0, name, "...");
    EXPECT_STREQ(name, "KK_F_1A2B3C4D_001.png");
}
