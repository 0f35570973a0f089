// Writes the scenes of the web page's tests and its benchmark into a folder:
//   cast.png     three characters, one of them stored twice, named in Japanese
//                and in Latin letters, one with a face picture, one of Room
//                Girl without a name; the second needs two mods and a plugin;
//   later.png    a Koikatsu character and one of Summer Vacation Scramble;
//   repeats.png  one small character stored 100,000 times;
//   crowd.png    64 characters, each with a face of its own (240 x 320).
#include <cstdio>
#include <string>

#include "png_builder.h"
#include "scene_builder.h"

namespace {

bytes cast() {
    const bytes a = named_character(row_kk, 1, {{"lastname", "\xE6\x98\xA5\xE9\x87\x8E"}, {"firstname", "\xE5\x8D\x83\xE4\xBD\xB3"}},
                                    encode_png(busy_picture(120, 160, 4)));
    const bytes b = character_with_extended_data(
        row_hc, 0, "Kurosaki Ren",
        extended_data({"moreAccessories"}, {{"k1t0.nipples", "Realistic Nipples", "K1T0", "http://example.org/k"},
                                            {"sjjpl.Female25", "", "sjjpl", ""}}));
    const bytes c = character(row_rg, 1);
    return scene_with_records({a, b, a, c});
}

bytes crowd() {
    std::vector<bytes> records;
    for (int i = 0; i < 64; ++i)
        records.push_back(named_character(i % 2 ? row_kk : row_hc, uint8_t(i % 3 ? 1 : 0),
                                          {{"lastname", "Crowd"}, {"firstname", "No. " + std::to_string(i + 1)}},
                                          encode_png(busy_picture(240, 320, uint32_t(i + 1)))));
    return scene_with_records(records);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_cast_scene <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bytes later = scene_with_records({character(row_kk, 0), character(row_sv, 1)});
    const bytes repeats = scene_with_records(std::vector<bytes>(100000, character(row_kk, 1)), 0);
    for (const auto& [name, data] : {std::pair<const char*, bytes>{"cast.png", cast()}, {"later.png", later},
                                     {"repeats.png", repeats}, {"crowd.png", crowd()}})
        if (!write_file(folder + "/" + name, data)) {
            std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name);
            return 1;
        }
    return 0;
}
