// Writes a scene of named characters for the web page's tests: three
// characters, one of them stored twice, named in Japanese and in Latin
// letters, one with a face picture, one of Room Girl without a name; the
// second needs two mods and a plugin.
#include <cstdio>

#include "png_builder.h"
#include "scene_builder.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_cast_scene <file> [<file of a later game's character>]\n");
        return 2;
    }
    // The second: a Koikatsu character and one of Summer Vacation Scramble.
    if (argc == 3 && !write_file(argv[2], scene_with_records({character(row_kk, 0), character(row_sv, 1)}))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    const bytes a = named_character(row_kk, 1, {{"lastname", "\xE6\x98\xA5\xE9\x87\x8E"}, {"firstname", "\xE5\x8D\x83\xE4\xBD\xB3"}},
                                    encode_png(busy_picture(120, 160, 4)));
    const bytes b = character_with_extended_data(
        row_hc, 0, "Kurosaki Ren",
        extended_data({"moreAccessories"}, {{"k1t0.nipples", "Realistic Nipples", "K1T0", "http://example.org/k"},
                                            {"sjjpl.Female25", "", "sjjpl", ""}}));
    const bytes c = character(row_rg, 1);
    if (!write_file(argv[1], scene_with_records({a, b, a, c}))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
