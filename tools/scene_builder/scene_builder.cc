#include "scene_builder.h"

#include <msgpack.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stb/stb_image_write.h>

#include "card/png_encoder.h"  // declares stbi_write_png_to_mem
#include "scene/crc32.h"

void put_u8(bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }

void put_le16(bytes& b, uint32_t v) {
    put_u8(b, v);
    put_u8(b, v >> 8);
}

void put_le32(bytes& b, uint32_t v) {
    put_le16(b, v);
    put_le16(b, v >> 16);
}

void put_le64(bytes& b, uint64_t v) {
    put_le32(b, uint32_t(v));
    put_le32(b, uint32_t(v >> 32));
}

void put_bytes(bytes& b, const bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

void put_text(bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

void put_string8(bytes& b, const std::string& text) {
    put_u8(b, uint32_t(text.size()));
    put_text(b, text);
}

picture solid_picture(int width, int height, uint32_t pixel) {
    return picture{width, height, std::vector<uint32_t>(size_t(width) * size_t(height), pixel)};
}

picture busy_picture(int width, int height, uint32_t seed) {
    picture pic = solid_picture(width, height, 0);
    uint32_t state = seed * 2654435761u + 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;  // noise over a diagonal gradient
            uint32_t r = (uint32_t(x) * 5 + (state >> 24)) & 0xFF;
            uint32_t g = (uint32_t(y) * 3 + (state >> 16)) & 0xFF;
            uint32_t b = (uint32_t(x + y) + (state >> 8)) & 0xFF;
            pic.pixels[size_t(y) * width + x] = 0xFF000000u | b << 16 | g << 8 | r;
        }
    }
    // Only pixel 0 may share the background key (upper five bits of R, G, B).
    const uint32_t key = pic.pixels[0] & 0xF8F8F8;
    for (size_t i = 1; i < pic.pixels.size(); ++i) {
        if ((pic.pixels[i] & 0xF8F8F8) == key) pic.pixels[i] ^= 0x800000;
    }
    return pic;
}

bytes encode_png(const picture& pic) {
    int length = 0;
    unsigned char* png =
        stbi_write_png_to_mem(reinterpret_cast<const unsigned char*>(pic.pixels.data()),
                              pic.width * 4, pic.width, pic.height, 4, &length);
    if (png == nullptr) return {};
    bytes out(png, png + length);
    free(png);
    return out;
}

bytes png_head() { return encode_png(busy_picture(4, 3, 7)); }

std::string marker_text(int row) {
    // Spelled as UTF-8 bytes: U+3010 is E3 80 90, U+3011 is E3 80 91.
    static const char* const names[] = {
        "HCChara",          "KoiKatuChara",            "KoiKatuCharaSP", "KoiKatuCharaS",
        "HoneySelectCharaMale", "HoneySelectCharaFemale", "AIS_Chara",      "RG_Chara",
        "KoiKatuCharaSun",  "HCPChara",                "SVChara",        "ACChara",
        "ALChara",
    };
    if (row < 0 || row >= row_count) return {};
    return std::string("\xE3\x80\x90") + names[row] + "\xE3\x80\x91";
}

namespace {

// A 32-bit game length field: the low three bytes hold the length, the fourth
// is free for the caller to fill.
void put_len24(bytes& b, size_t length, uint8_t top) {
    put_u8(b, uint32_t(length));
    put_u8(b, uint32_t(length >> 8));
    put_u8(b, uint32_t(length >> 16));
    put_u8(b, top);
}

// Filler that holds no marker lead (E3) and no "sex".
void put_filler(bytes& b, size_t n) {
    for (size_t i = 0; i < n; ++i) put_u8(b, 0x20 + uint32_t(i % 64));
}

}  // namespace

bytes build_sp_record(const sp_record& r) {
    bytes b;
    put_le32(b, r.leading);
    put_string8(b, marker_text(r.row));
    put_string8(b, r.text);
    put_len24(b, r.picture1.size(), r.picture1_len_top);
    put_bytes(b, r.picture1);
    if (r.with_pair) {
        put_string8(b, r.pair_first);
        put_string8(b, r.pair_second);
    }
    if (r.row == row_rg) {
        put_len24(b, r.picture2.size(), r.picture2_len_top);
        put_bytes(b, r.picture2);
    }
    put_len24(b, r.skipped.size(), 0);
    put_bytes(b, r.skipped);
    put_le32(b, uint32_t(r.final_section.size()));
    put_le32(b, r.final_len_high);
    put_bytes(b, r.final_section);
    return b;
}

bytes final_with_sex(uint8_t value) {
    bytes b = {0x83, 0xA4};
    put_text(b, "name");
    put_u8(b, 0xA3);
    put_text(b, "sex");
    put_u8(b, value);
    put_u8(b, 0xA3);
    put_text(b, "age");
    put_u8(b, 17);
    return b;
}

bytes build_table_record(const table_record& r) {
    bytes b;
    put_string8(b, marker_text(r.row));
    put_le32(b, 0x01020304);  // unread
    put_le16(b, uint32_t(r.entries.size()));
    put_le16(b, 0xFFFF);  // unread
    for (const table_entry& e : r.entries) {
        bytes entry(148, 0x5A);
        // Each extent value is a 24-bit number in a wider field; the bytes past
        // the third are left non-zero so that a wider read shows up.
        for (int i = 0; i < 3; ++i) {
            entry[132 + i] = uint8_t(e.a >> (8 * i));
            entry[140 + i] = uint8_t(e.b >> (8 * i));
        }
        entry[135] = 0xFF;
        entry[143] = 0xFF;
        put_bytes(b, entry);
    }
    put_bytes(b, r.data);
    return b;
}

bytes packed_table_markers(size_t length) {
    bytes unit;
    put_string8(unit, marker_text(row_hs_male));
    put_le32(unit, 0xFFFFFFFF);  // unread
    put_le16(unit, packed_marker_entries);
    unit.resize(packed_marker_spacing, 0xFF);  // the rest of the header, then the gap
    bytes b;
    b.reserve(length);
    for (size_t i = 0; i < length; ++i) b.push_back(unit[i % unit.size()]);
    return b;
}

bytes build_scene(const bytes& trailing) {
    bytes b = png_head();
    put_bytes(b, trailing);
    return b;
}

bytes scene_with_records(const std::vector<bytes>& records, size_t gap) {
    bytes b = png_head();
    put_filler(b, 40);
    for (size_t i = 0; i < records.size(); ++i) {
        if (i > 0) put_filler(b, gap);
        put_bytes(b, records[i]);
    }
    put_filler(b, 16);
    return b;
}

bytes character(int row, uint8_t sex_byte, const bytes& face, const std::string& text) {
    sp_record r{.row = row, .text = text, .final_section = final_with_sex(sex_byte)};
    (row == row_rg ? r.picture2 : r.picture1) = face;
    return build_sp_record(r);
}

// CRC-32 is affine in the data's bits: each of the 32 patch bits flips a fixed
// set of checksum bits, and eliminating over them finds the patch.
void force_crc32(bytes& data, uint32_t target) {
    const size_t at = data.size() - 4;
    std::fill(data.begin() + long(at), data.end(), 0);
    const uint32_t base = crc32(data.data(), data.size());
    uint32_t flips[32], patches[32];
    for (int k = 0; k < 32; ++k) {
        data[at + k / 8] = uint8_t(1u << (k % 8));
        flips[k] = crc32(data.data(), data.size()) ^ base;
        patches[k] = 1u << k;
        data[at + k / 8] = 0;
    }
    for (int bit = 0; bit < 32; ++bit) {
        int pivot = bit;
        while (!(flips[pivot] >> bit & 1)) ++pivot;  // four trailing bytes reach every checksum
        std::swap(flips[bit], flips[pivot]);
        std::swap(patches[bit], patches[pivot]);
        for (int k = 0; k < 32; ++k)
            if (k != bit && (flips[k] >> bit & 1)) flips[k] ^= flips[bit], patches[k] ^= patches[bit];
    }
    uint32_t patch = 0;
    for (int bit = 0; bit < 32; ++bit)
        if ((target ^ base) >> bit & 1) patch ^= patches[bit];
    for (int i = 0; i < 4; ++i) data[at + size_t(i)] = uint8_t(patch >> (8 * i));
}

scene_plan plan_scene(const std::vector<bytes>& records) {
    scene_plan plan{png_head(), {}};
    put_bytes(plan.file, bytes(40, '.'));
    const uint8_t open[] = {0xE3, 0x80, 0x90};  // every marker opens with U+3010
    for (const bytes& r : records) {
        const uint64_t marker = uint64_t(std::search(r.begin(), r.end(), open, open + 3) - r.begin());
        plan.spans.push_back({plan.file.size() + marker, plan.file.size() + r.size()});
        put_bytes(plan.file, r);
        put_bytes(plan.file, bytes(16, '.'));
    }
    return plan;
}

std::string progress_text(const scene_plan& plan, size_t stop_after) {
    std::string text;
    size_t next = 0;
    for (uint64_t p = png_head().size() - 12; p < plan.file.size() && next < stop_after;) {
        char line[16];
        std::snprintf(line, sizeof line, "\r%2u%%", unsigned(p * 100 / plan.file.size()));
        text += line;
        p = next < plan.spans.size() && plan.spans[next].first == p ? plan.spans[next++].second : p + 1;
    }
    return text;
}

bool write_file(const std::string& path, const bytes& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

bytes block_list(const std::vector<block_entry>& blocks) {
    msgpack::sbuffer out;
    msgpack::packer<msgpack::sbuffer> pack(out);
    pack.pack_map(1);
    pack.pack(std::string("lstInfo"));
    pack.pack_array(uint32_t(blocks.size()));
    for (const block_entry& b : blocks) {
        pack.pack_map(4);
        pack.pack(std::string("name")), pack.pack(b.name);
        pack.pack(std::string("version")), pack.pack(std::string("0.0.1"));
        pack.pack(std::string("pos")), pack.pack(b.pos);
        pack.pack(std::string("size")), pack.pack(b.size);
    }
    return bytes(out.data(), out.data() + out.size());
}

bytes parameter_map(const std::vector<std::pair<std::string, std::string>>& fields, uint8_t sex_byte) {
    msgpack::sbuffer out;
    msgpack::packer<msgpack::sbuffer> pack(out);
    pack.pack_map(uint32_t(fields.size() + 1));
    pack.pack(std::string("sex")), pack.pack(sex_byte);
    for (const auto& [key, value] : fields) pack.pack(key), pack.pack(value);
    return bytes(out.data(), out.data() + out.size());
}

bytes named_character(int row, uint8_t sex_byte, const std::vector<std::pair<std::string, std::string>>& fields,
                      const bytes& face, const std::string& text) {
    const bytes custom(40, 0x11), parameter = parameter_map(fields, sex_byte);
    sp_record r{.row = row, .text = text};
    r.skipped = block_list({{"Custom", 0, custom.size()}, {"Parameter", custom.size(), parameter.size()}});
    r.final_section = custom;
    r.final_section.insert(r.final_section.end(), parameter.begin(), parameter.end());
    (row == row_rg ? r.picture2 : r.picture1) = face;
    return build_sp_record(r);
}

bytes extended_data(const std::vector<std::string>& plugins, const std::vector<resolve_entry>& entries,
                    const std::string& sideloader, const std::vector<std::string>& nil_plugins) {
    msgpack::sbuffer out;
    msgpack::packer<msgpack::sbuffer> pack(out);
    pack.pack_map(uint32_t(plugins.size() + nil_plugins.size() + (entries.empty() ? 0 : 1)));
    for (const std::string& guid : plugins) {
        pack.pack(guid);
        pack.pack_array(2), pack.pack(1), pack.pack_map(1), pack.pack(std::string("data")), pack.pack(42);
    }
    for (const std::string& guid : nil_plugins) pack.pack(guid), pack.pack_nil();
    if (entries.empty()) return bytes(out.data(), out.data() + out.size());
    pack.pack(sideloader);
    pack.pack_array(2), pack.pack(0), pack.pack_map(1), pack.pack(std::string("info"));
    pack.pack_array(uint32_t(entries.size()));
    for (const resolve_entry& e : entries) {
        msgpack::sbuffer bin;
        msgpack::packer<msgpack::sbuffer> entry(bin);
        const std::vector<std::pair<std::string, std::string>> texts = {
            {"ModID", e.mod_id}, {"Name", e.name}, {"Author", e.author}, {"Website", e.website}};
        uint32_t fields = 4;
        for (const auto& [key, value] : texts) fields += !value.empty();
        entry.pack_map(fields);
        entry.pack(std::string("Slot")), entry.pack(666008);
        entry.pack(std::string("LocalSlot")), entry.pack(100027180);
        entry.pack(std::string("Property")), entry.pack(std::string("ChaFileHair.HairBack"));
        entry.pack(std::string("CategoryNo")), entry.pack(300);
        for (const auto& [key, value] : texts)
            if (!value.empty()) entry.pack(key), entry.pack(value);
        pack.pack_bin(uint32_t(bin.size()));
        pack.pack_bin_body(bin.data(), uint32_t(bin.size()));
    }
    return bytes(out.data(), out.data() + out.size());
}

bytes character_with_extended_data(int row, uint8_t sex_byte, const std::string& name, const bytes& extended,
                                   const bytes& face) {
    const bytes custom(40, 0x11), parameter = parameter_map({{"lastname", name}, {"firstname", ""}}, sex_byte);
    sp_record r{.row = row};
    const uint64_t stored = custom.size() + parameter.size();
    r.skipped = block_list({{"KKEx", stored, extended.size()},
                            {"Custom", 0, custom.size()},
                            {"Parameter", custom.size(), parameter.size()}});
    r.final_section = custom;
    r.final_section.insert(r.final_section.end(), parameter.begin(), parameter.end());
    r.final_section.insert(r.final_section.end(), extended.begin(), extended.end());
    (row == row_rg ? r.picture2 : r.picture1) = face;
    return build_sp_record(r);
}

bytes scene_extended_block(const bytes& map) {
    bytes b = {4, 'K', 'K', 'E', 'x', 3, 0, 0, 0};
    const uint32_t n = uint32_t(map.size());
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(n >> (8 * i)));
    b.insert(b.end(), map.begin(), map.end());
    return b;
}

bool measure_alone(const bytes& record, int row, bytes* scene, record_info* rec) {
    *scene = scene_with_records({record});
    const size_t marker = size_t(std::search(scene->begin(), scene->end(), record.begin(), record.end()) - scene->begin()) + 5;
    *rec = record_info{};
    return parse_record(scene->data(), uint32_t(scene->size()), uint32_t(marker), marker_table[row], rec);
}
