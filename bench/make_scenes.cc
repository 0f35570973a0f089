// Writes the benchmark scenes into the directory named by the argument.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <stb/stb_image.h>

#include "card/composer.h"
#include "card/face_decoder.h"
#include "hostile_scenes.h"
#include "png_builder.h"
#include "scene_names.h"
#include "stb_work.h"

namespace {

// Trailing data without markers: pseudo-random bytes, like the compressed
// payloads real scenes carry. Every 256th byte or so is E3, the first byte of
// every marker, so the search for it stops as often as in real data.
bytes random_trailing(size_t n) {
    bytes b(n);
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (size_t i = 0; i < n; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b[i] = uint8_t(state >> 32);
    }
    return b;
}

// The opening bracket of every marker, E3 80 90, repeated: each third byte is
// a candidate, and none is followed by a marker's first letter.
bytes bracket_trailing(size_t n) {
    static const uint8_t lead[3] = {0xE3, 0x80, 0x90};
    bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = lead[i % 3];
    return b;
}

// The opening bracket followed by the first letter of some marker, each of
// them in turn, over and over: every fourth byte is a candidate that passes
// the letter check and is compared with the markers, and none matches.
bytes letters_trailing(size_t n) {
    static const uint8_t pattern[] = {0xE3, 0x80, 0x90, 'H', 0xE3, 0x80, 0x90, 'K', 0xE3, 0x80,
                                      0x90, 'A', 0xE3, 0x80, 0x90, 'R', 0xE3, 0x80, 0x90, 'S'};
    bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = pattern[i % sizeof pattern];
    return b;
}

// Random bytes, then entry-table markers packed to the end. A marker whose
// table fits reaches at most 2 x (2^24 - 1) bytes past its data area, so the
// packing starts just where that reaches past the end: no marker is a match,
// and every one whose 65,535 entries lie in the scene must be measured whole.
bytes table_trailing(size_t n) {
    const size_t header = 1 + marker_text(row_hs_male).size() + 8;  // up to the table
    const size_t reach = header + 148 * size_t(packed_marker_entries) + 2 * size_t(0xFFFFFF);
    bytes b = random_trailing(n - reach + 1);
    put_bytes(b, packed_table_markers(reach - 1));
    return b;
}

// The face pictures: busy 240 x 320 pictures that nothing trims, all distinct.
std::vector<bytes> face_pictures() {
    std::vector<bytes> faces;
    for (int i = 0; i < bench_face_count; ++i)
        faces.push_back(encode_png(busy_picture(bench_face_width, bench_face_height, uint32_t(i + 1))));
    return faces;
}

// One character for each face, alternating the sex byte.
bytes face_scene(const std::vector<bytes>& faces) {
    std::vector<bytes> records;
    for (size_t i = 0; i < faces.size(); ++i) {
        sp_record r;
        r.row = row_kk;
        r.picture1 = faces[i];
        r.final_section = final_with_sex(uint8_t(i % 2));
        records.push_back(build_sp_record(r));
    }
    return scene_with_records(records);
}

// The same lengths, no picture: zero bytes, which no decoder takes.
std::vector<bytes> zeroed(std::vector<bytes> faces) {
    for (bytes& face : faces) std::fill(face.begin(), face.end(), 0);
    return faces;
}

// Each face with the card picture drawn from it (see stb_work.h).
bytes stb_work(const std::vector<bytes>& faces) {
    bytes b;
    put_le32(b, uint32_t(faces.size()));
    card_canvas canvas;
    for (const bytes& face : faces) {
        put_le32(b, uint32_t(face.size()));
        put_bytes(b, face);
        int w = 0, h = 0, channels = 0;
        unsigned char* pixels = stbi_load_from_memory(face.data(), int(face.size()), &w, &h, &channels, 4);
        compose_card(&canvas, pixels, w, h, 'F');
        for (uint32_t pixel : canvas.pixels) put_le32(b, pixel);
    }
    return b;
}

// The largest square zero-run picture of this depth, grey, that the decode
// budget admits, its own length counted.
bytes largest_face(uint8_t depth) {
    const bool wide = depth == 16;
    uint32_t side = 256;
    while (face_decode_bytes({side + 1, side + 1, 1, wide}, 0) <= face_decode_budget) ++side;
    bytes png = zero_face({side, side, depth, 0, 0});
    while (face_decode_bytes({side, side, 1, wide}, uint32_t(png.size())) > face_decode_budget) {
        --side;
        png = zero_face({side, side, depth, 0, 0});
    }
    return png;
}

// The faces of hostile_scenes, in its order.
std::vector<bytes> hostile_faces() {
    const png_format small{16, 16, 8, 6, 0};
    bytes raw = png_raw_rows(small, 5);
    std::fill(raw.begin() + 1, raw.begin() + 65, 0);  // row 0, after its filter byte
    return {
        zero_face({32768, 16384, 16, 0, 0}),
        zero_face({23170, 23170, 16, 0, 0}),
        png_with_stream({1, 1, 8, 6, 0}, zlib_zero_run(uint64_t(3) << 30)),
        png_with_stream(small, zlib_blocks({{block_code::fixed, raw, {{1, 64, 30}}}})),
        build_png({.format = small, .empty_first_idat = true}),
        largest_face(8),
        largest_face(16),
    };
}

bool write_hostile_scenes(const std::string& dir) {
    const std::vector<bytes> faces = hostile_faces();
    bool ok = true;
    std::vector<bytes> all;
    for (size_t i = 0; i < faces.size(); ++i) {
        ok &= write_file(dir + hostile_scenes[i].file, scene_with_records({build_sp_record({.picture1 = faces[i]})}));
        // Each copy a record of its own, so that none is skipped as a repeat.
        for (uint8_t copy = 0; copy < 2; ++copy)
            all.push_back(build_sp_record({.picture1 = faces[i], .skipped = bytes(1, uint8_t(i * 2 + copy))}));
    }
    ok &= write_file(dir + hostile_scenes[faces.size()].file, scene_with_records(all));
    for (size_t k = 0; k < 2; ++k) {
        std::vector<bytes> bombs;
        for (int copy = 0; copy < bomb_scene_copies[k]; ++copy)
            bombs.push_back(build_sp_record({.picture1 = faces[5], .skipped = {uint8_t(copy), uint8_t(copy >> 8)}}));
        ok &= write_file(dir + hostile_scenes[faces.size() + 1 + k].file, scene_with_records(bombs));
    }
    std::vector<bytes> inflating;
    for (int copy = 0; copy < 64; ++copy)
        inflating.push_back(build_sp_record({.picture1 = png_with_stream({1, 1, 8, 6, 0}, zlib_zero_run(uint64_t(128) << 20)),
                                             .skipped = {uint8_t(copy)}}));
    ok &= write_file(dir + hostile_scenes[faces.size() + 3].file, scene_with_records(inflating));
    return ok;
}

// Later games' records, each reaching to the end of the file (its final
// length rewritten), until the file holds `size` bytes.
bytes nested_later_records(size_t size) {
    bytes file = png_head();
    file.resize(file.size() + 40, '.');
    std::vector<size_t> length_fields;
    const bytes final_section = final_with_sex(1);
    for (uint32_t i = 0; file.size() < size; ++i) {
        bytes r = build_sp_record({.row = row_sv, .skipped = {uint8_t(i), uint8_t(i >> 8), uint8_t(i >> 16)},
                                   .final_section = final_section});
        length_fields.push_back(file.size() + r.size() - final_section.size() - 8);
        file.insert(file.end(), r.begin(), r.end());
    }
    for (size_t at : length_fields) {
        const uint32_t to_end = uint32_t(file.size() - (at + 8));
        for (int b = 0; b < 4; ++b) file[at + size_t(b)] = uint8_t(to_end >> (8 * b));
    }
    return file;
}

bytes many_small_characters() {
    std::vector<bytes> records;
    for (int i = 0; i < many_scene_records; ++i)
        records.push_back(build_sp_record({.skipped = {uint8_t(i), uint8_t(i >> 8)}, .final_section = final_with_sex(1)}));
    return scene_with_records(records, 0);
}

// The 256 characters of cast256: face i % 64, and a skipped section of its own.
std::vector<bytes> cast256_characters(const std::vector<bytes>& faces) {
    std::vector<bytes> records;
    for (int i = 0; i < cast256_records; ++i)
        records.push_back(build_sp_record({.picture1 = faces[size_t(i) % faces.size()],
                                           .skipped = {uint8_t(i)},
                                           .final_section = final_with_sex(uint8_t(i % 2))}));
    return records;
}

bool write_cast256(const std::string& dir, const std::vector<bytes>& faces) {
    const std::vector<bytes> records = cast256_characters(faces);
    bool ok = write_file(dir + cast256_scene, scene_with_records(records));
    mkdir((dir + cast256_folder).c_str(), 0755);
    for (int i = 0; i < cast256_records && ok; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s/s%03d.png", cast256_folder, i);
        ok = write_file(dir + name, scene_with_records({records[size_t(i)]}));
    }
    return ok;
}

bytes characters_with_most_mods() {
    std::vector<std::string> plugins;
    for (int p = 0; p < 511; ++p) plugins.push_back("com.example.plugin" + std::to_string(p));
    std::vector<resolve_entry> entries;
    for (int m = 0; m < 512; ++m) {
        const std::string n = std::to_string(m);
        entries.push_back({"author" + n + ".mod" + n, "A mod with a long enough name " + n, "Author " + n,
                           "https://example.org/mods/" + n});
    }
    std::vector<bytes> records;
    for (int i = 0; i < mods_scene_records; ++i)
        records.push_back(character_with_extended_data(row_kk, 1, "Character " + std::to_string(i),
                                                       extended_data(plugins, entries)));
    return scene_with_records(records);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: cardlift_make_scenes <directory>\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const size_t trailing = bench_scene_bytes - png_head().size();
    const std::vector<bytes> faces = face_pictures();
    const bool ok = write_file(dir + plain_scene, build_scene(random_trailing(trailing))) &&
                    write_file(dir + brackets_scene, build_scene(bracket_trailing(trailing))) &&
                    write_file(dir + letters_scene, build_scene(letters_trailing(trailing))) &&
                    write_file(dir + faces_scene, face_scene(faces)) &&
                    write_file(dir + faceless_scene, face_scene(zeroed(faces))) &&
                    write_file(dir + tables_scene, build_scene(table_trailing(trailing))) &&
                    write_file(dir + stb_work_file, stb_work(faces)) && write_hostile_scenes(dir) &&
                    write_file(dir + plain16_scene, build_scene(random_trailing(bench_small_scene_bytes - png_head().size()))) &&
                    write_file(dir + nested_scene, nested_later_records(bench_small_scene_bytes)) &&
                    write_file(dir + many_scene, many_small_characters()) &&
                    write_file(dir + mods_scene, characters_with_most_mods()) && write_cast256(dir, faces);
    if (!ok) std::fprintf(stderr, "cannot write the scenes into %s\n", argv[1]);
    return ok ? 0 : 1;
}
