// Writes the bundled demo scene: a small PNG with four characters appended
// (one of them stored twice), covering both record layouts, a face picture
// with plain margins to trim, and characters without a face picture.
//
// Usage: make_demo_scene <output.png>
#include <cstdio>

#include "scene_builder.h"

namespace {

constexpr uint32_t sky = 0xFFF0D8C0;   // background, R 192 G 216 B 240
constexpr uint32_t skin = 0xFFB8D8F8;
constexpr uint32_t hair = 0xFF40304A;
constexpr uint32_t eye = 0xFF603020;
constexpr uint32_t mouth = 0xFF5050D0;

bool inside_ellipse(int x, int y, int cx, int cy, int rx, int ry) {
    const long dx = x - cx;
    const long dy = y - cy;
    return dx * dx * ry * ry + dy * dy * rx * rx <= long(rx) * rx * ry * ry;
}

// A simple portrait on a plain background, with plain columns at both sides
// and plain rows at the top that the card composer trims away.
picture portrait(int w, int h) {
    picture pic = solid_picture(w, h, sky);
    const int cx = w / 2;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t& p = pic.pixels[size_t(y) * w + x];
            if (inside_ellipse(x, y, cx, h * 11 / 10, w * 2 / 5, h * 3 / 10)) p = hair;  // shoulders
            if (inside_ellipse(x, y, cx, h * 9 / 20, w * 3 / 10, h * 3 / 10)) p = hair;
            if (inside_ellipse(x, y, cx, h / 2, w / 4, h / 4)) p = skin;
            if (inside_ellipse(x, y, cx - w / 10, h / 2, w / 30, h / 30)) p = eye;
            if (inside_ellipse(x, y, cx + w / 10, h / 2, w / 30, h / 30)) p = eye;
            if (inside_ellipse(x, y, cx, h * 13 / 20, w / 16, h / 80)) p = mouth;
        }
    }
    return pic;
}

bytes face_record(int row, const picture& face, uint8_t sex) {
    sp_record r;
    r.row = row;
    if (row == row_rg)
        r.picture2 = encode_png(face);
    else
        r.picture1 = encode_png(face);
    r.with_pair = true;
    r.final_section = final_with_sex(sex);
    return build_sp_record(r);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_demo_scene <output.png>\n");
        return 2;
    }
    sp_record plain;
    plain.row = row_hc;
    plain.final_section = final_with_sex(0);

    table_record table;
    table.row = row_hs_female;
    table.entries = {{16, 8}, {4, 4}};
    table.data = bytes(24, 0x5A);

    const bytes kk = face_record(row_kk, portrait(240, 320), 1);
    const std::vector<bytes> records = {
        kk, build_sp_record(plain), face_record(row_rg, portrait(200, 200), 0),
        build_table_record(table), kk};
    const bytes scene = scene_with_records(records);

    return write_file(argv[1], scene) ? 0 : 1;
}
