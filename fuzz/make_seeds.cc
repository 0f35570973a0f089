// Writes the fuzz seed corpus: scenes for the scene target and bare records
// for the record target, made with the test scene builder so that every
// marker row, both layouts, face pictures of odd sizes and of every PNG
// format, and faces that decode to gigabytes are present from the first run.
// Usage: cardlift_fuzz_seeds <scene dir> <record dir>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "card/face_decoder.h"
#include "png_builder.h"

namespace {

// Small faces keep every run fast; the odd shapes reach the composer's
// corner cases (no column or row tested, margins trimmed, tall and wide fits).
std::vector<bytes> face_pictures() {
    picture framed = solid_picture(30, 20, 0xFF203040);
    const picture inner = busy_picture(12, 10, 3);
    for (int y = 0; y < inner.height; ++y)
        for (int x = 0; x < inner.width; ++x)
            framed.pixels[size_t(y + 8) * 30 + x + 9] = inner.pixels[size_t(y) * inner.width + x];
    std::vector<bytes> faces = {
        encode_png(busy_picture(1, 1)),  encode_png(busy_picture(2, 3, 2)),
        encode_png(busy_picture(3, 1, 4)), encode_png(busy_picture(1, 5, 5)),
        encode_png(busy_picture(17, 9, 6)), encode_png(solid_picture(12, 12, 0x80FFFFFF)),
        encode_png(framed),
    };
    bytes cut = faces.back();
    cut.resize(cut.size() / 2);  // a damaged picture: the plain card path
    faces.push_back(cut);
    // Pictures whose header declares far more pixels than their data holds.
    const uint8_t huge_headers[][10] = {
        {0, 0, 1, 0, 0, 0x10, 0, 0, 16, 6},  // 256 x 2^20, 16-bit RGBA
        {1, 0, 0, 0, 0, 0, 0, 1, 8, 6},      // 2^24 x 1
    };
    for (const auto& header : huge_headers) {
        bytes huge = faces[1];
        std::copy(header, header + 10, huge.begin() + 16);  // IHDR width onwards
        faces.push_back(huge);
    }
    return faces;
}

// A face in every colour type and bit depth (the pairs PNG forbids too), plain
// and interlaced, with and without palette and transparency chunks, the
// stream in one IDAT chunk, split, or after an empty one.
std::vector<bytes> format_pictures() {
    std::vector<bytes> faces;
    uint32_t seed = 0;
    for (uint8_t colour : {0, 2, 3, 4, 6}) {
        for (uint8_t depth : {1, 2, 4, 8, 16}) {
            for (uint8_t interlace : {0, 1}) {
                ++seed;
                faces.push_back(build_png({.format = {3 + seed % 7, 2 + seed % 5, depth, colour, interlace},
                                           .seed = seed,
                                           .palette = seed % 3 == 0,
                                           .transparency = seed % 2 == 0,
                                           .idat_pieces = 1 + int(seed % 3),
                                           .empty_first_idat = seed % 4 == 1}));
            }
        }
    }
    return faces;
}

// Faces whose header promises far more than their data: widths and heights up
// to 2^24 over a few rows, and zero-run streams of a few hundred KiB that
// inflate to pictures near the decode budget, past it, or far past what their
// header promises.
std::vector<bytes> large_pictures() {
    std::vector<bytes> faces;
    // The IHDR width or height of a small picture patched, its CRC left stale
    // (the decoder ignores it).
    auto declaring = [](bytes png, size_t at, uint32_t size) {
        for (int i = 0; i < 4; ++i) png[at + size_t(i)] = uint8_t(size >> (24 - 8 * i));
        return png;
    };
    for (uint32_t size : {1u << 12, 1u << 16, 1u << 24}) {
        for (uint8_t depth : {8, 16}) {
            faces.push_back(declaring(build_png({.format = {3, 2, depth, 0, 0}}), 16, size));
            faces.push_back(declaring(build_png({.format = {3, 2, depth, 6, 0}}), 20, size));
        }
    }
    faces.push_back(zero_face({1024, 1024, 8, 6, 0}));
    // 16-bit grey squares, the largest the decode budget admits and one more.
    uint32_t side = 1024;
    while (face_decode_bytes({side + 1, side + 1, 1, true}, 0) <= face_decode_budget) ++side;
    faces.push_back(zero_face({side, side, 16, 0, 0}));
    faces.push_back(zero_face({side + 1, side + 1, 16, 0, 0}));
    faces.push_back(png_with_stream({1, 1, 8, 6, 0}, zlib_zero_run(uint64_t(300) << 20)));
    return faces;
}

// Faces whose deflate streams are made by hand: fixed and dynamic blocks
// with copies at every distance code deflate defines, then one with code 30
// or 31 (which it does not), split over IDAT chunks, and a stream that leaves
// such a code to the zero bytes past its end.
std::vector<bytes> deflate_pictures() {
    const png_format f{32, 8, 8, 0, 0};  // 264 bytes of rows
    const bytes rows = png_raw_rows(f, 11);
    std::vector<bytes> faces;
    for (block_code code : {block_code::fixed, block_code::dynamic}) {
        for (uint32_t last : {0u, 30u, 31u}) {
            std::vector<deflate_copy> copies;
            for (uint32_t d = 0; d < 8; ++d) copies.push_back({10 + 22 * d, 3 + d, d});  // distances up to 13
            copies.push_back({200, 5, last});
            faces.push_back(png_with_stream(f, zlib_blocks({{block_code::stored, bytes(rows.begin(), rows.begin() + 33), {}},
                                                            {code, bytes(rows.begin() + 33, rows.end()), copies}}),
                                            last == 31 ? 7 : 0));
        }
    }
    faces.push_back(png_with_stream(f, zlib_copy_at_end(bytes(rows.begin(), rows.end() - 131), 131, 1, 0)));
    return faces;
}

struct seed_record {
    bytes data;
    int row;
    size_t marker_at;  // offset of the marker inside `data`
    bool alone = false;  // in a scene of its own only, not in the scene of all
};

std::vector<seed_record> seed_records() {
    const std::vector<bytes> faces = face_pictures();
    std::vector<seed_record> out;
    const int sp_rows[] = {row_hc, row_kk, row_kk_sp, row_kks, row_ais, row_rg,
                           row_kks_sun, row_hcp, row_sv, row_ac, row_al};
    size_t next_face = 0;
    for (int row : sp_rows) {
        for (int variant = 0; variant < 3; ++variant) {
            sp_record r;
            r.row = row;
            r.text = "v" + std::to_string(variant);
            r.with_pair = variant != 1;
            r.skipped = bytes(size_t(variant) * 7, 0x33);
            r.final_section = final_with_sex(uint8_t(variant == 0 ? 1 : variant - 1));
            const bytes& face = faces[next_face++ % faces.size()];
            if (row == row_rg) {
                r.picture1 = variant == 2 ? bytes{} : faces[0];
                r.picture2 = variant == 1 ? bytes{} : face;
            } else if (variant != 1) {
                r.picture1 = face;
            }
            out.push_back({build_sp_record(r), row, 5});
        }
    }
    // One record a face, alternating the markers of the layout. Each card
    // costs a PNG encode, so these stay out of the scene of all records.
    std::vector<bytes> more = format_pictures();
    for (bytes& face : large_pictures()) more.push_back(face);
    for (bytes& face : deflate_pictures()) more.push_back(face);
    for (size_t i = 0; i < more.size(); ++i) {
        const int row = sp_rows[i % 5];  // the rows whose face is the first picture
        out.push_back({build_sp_record({.row = row, .picture1 = more[i]}), row, 5, true});
    }
    for (int row : {row_hs_male, row_hs_female}) {
        table_record empty;
        empty.row = row;
        out.push_back({build_table_record(empty), row, 1});
        table_record full;
        full.row = row;
        full.entries = {{4, 2}, {0, 0}, {9, 1}};
        full.data = bytes(10, 0x44);
        out.push_back({build_table_record(full), row, 1});
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <scene dir> <record dir>\n", argv[0]);
        return 2;
    }
    const std::string scene_dir = argv[1];
    const std::string record_dir = argv[2];
    const std::vector<seed_record> records = seed_records();

    std::vector<bytes> scenes = {build_scene(bytes(40, '.'))};
    std::vector<bytes> all;
    for (const seed_record& r : records) {
        scenes.push_back(scene_with_records({r.data}));
        if (!r.alone) all.push_back(r.data);
    }
    scenes.push_back(scene_with_records(all, 3));
    scenes.push_back(scene_with_records({records[1].data, records[1].data, records[4].data}));

    bool ok = true;
    for (size_t i = 0; i < scenes.size(); ++i)
        ok &= write_file(scene_dir + "/seed_" + std::to_string(i) + ".png", scenes[i]);
    // The record target's input: the row number, then the bytes after the marker.
    for (size_t i = 0; i < records.size(); ++i) {
        const seed_record& r = records[i];
        bytes input = {uint8_t(r.row)};
        const size_t body = r.marker_at + marker_text(r.row).size();
        input.insert(input.end(), r.data.begin() + long(body), r.data.end());
        ok &= write_file(record_dir + "/seed_" + std::to_string(i), input);
    }
    if (!ok) std::fprintf(stderr, "could not write every seed\n");
    return ok ? 0 : 1;
}
