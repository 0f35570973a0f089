// Builds scene files and character records byte by byte, for tests, the fuzz
// seed corpus, benchmarks and the demo scene.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "scene/record.h"

using bytes = std::vector<uint8_t>;

// Appends helpers: little-endian numbers and raw bytes.
void put_u8(bytes& b, uint32_t v);
void put_le16(bytes& b, uint32_t v);
void put_le32(bytes& b, uint32_t v);
void put_le64(bytes& b, uint64_t v);
void put_bytes(bytes& b, const bytes& more);
void put_text(bytes& b, const std::string& text);    // no terminator
void put_string8(bytes& b, const std::string& text);  // one length byte, then the text

// An RGBA picture as pixel words (R in the low byte).
struct picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height words, row-major
};
picture solid_picture(int width, int height, uint32_t pixel);
// A picture whose every pixel differs from its neighbours (a colour gradient
// with noise) so that nothing in it is background but pixel 0's own colour.
picture busy_picture(int width, int height, uint32_t seed = 1);

// PNG bytes of `pic` as stb_image_write encodes them (4 components).
bytes encode_png(const picture& pic);

// A small valid PNG image (signature, IHDR, IDAT, IEND) to open a scene with.
bytes png_head();

// Marker row numbers, in table order: the eight every run knows, then the five
// of later games that --newer-games adds (all string-and-picture, kind 0).
enum marker_row_id {
    row_hc, row_kk, row_kk_sp, row_kks, row_hs_male, row_hs_female, row_ais, row_rg,
    row_kks_sun, row_hcp, row_sv, row_ac, row_al,
};
constexpr int default_row_count = 8;
constexpr int row_count = 13;
// The marker text of a row, e.g. "【KoiKatuChara】".
std::string marker_text(int row);

// A string-and-picture record (rows 0-3, 6, 8-12: kind 0; row 7: kind 1).
struct sp_record {
    int row = row_kk;
    uint32_t leading = 100;          // the 4-byte leading field
    std::string text = "1.0.0";      // the string after the marker
    bytes picture1;                  // kind 0: the face picture
    uint8_t picture1_len_top = 0;    // fourth byte of the first length field
    bool with_pair = false;          // the optional string pair
    std::string pair_first = "0123456789abcdef0123456789abcdef0123";  // 36 chars
    std::string pair_second = "pair";
    bytes picture2;                  // kind 1 only: the face picture
    uint8_t picture2_len_top = 0;
    bytes skipped;                   // the skipped section
    bytes final_section;             // searched for "sex"
    uint32_t final_len_high = 0;     // upper four bytes of the 64-bit length
};
bytes build_sp_record(const sp_record& r);
// A final section that holds "sex" followed by `value`, with filler around it.
bytes final_with_sex(uint8_t value);

// An entry-table record (rows 4 and 5): N entries with extents a + b.
struct table_entry { uint32_t a = 0; uint32_t b = 0; };
struct table_record {
    int row = row_hs_female;
    std::vector<table_entry> entries;
    bytes data;                      // the data area after the entry table
};
bytes build_table_record(const table_record& r);

// Male entry-table markers packed `packed_marker_spacing` bytes apart, cut to
// `length` bytes: each declares 65,535 entries, and every byte around the
// markers is FF, so that the entries read by any of them (whatever marker
// bytes they land on) reach up to 2 x (2^24 - 1) bytes past the data area.
constexpr size_t packed_marker_spacing = 41;
constexpr uint32_t packed_marker_entries = 65535;
bytes packed_table_markers(size_t length);

// A whole scene: png_head() followed by `trailing` (which must be at least 31
// bytes for the file to count as a scene).
bytes build_scene(const bytes& trailing);
// A whole scene: png_head(), then 40 filler bytes so the trailing data is long
// enough, then the records in order, separated by `gap` filler bytes, then 16
// filler bytes. Filler holds no marker and no "sex".
bytes scene_with_records(const std::vector<bytes>& records, size_t gap = 16);

// A string-and-picture record of `row` with "sex" then `sex_byte` (1: female)
// and `face` as its face picture.
bytes character(int row, uint8_t sex_byte, const bytes& face = {}, const std::string& text = "1.0.0");

// `record` alone in scene_with_records (into `scene`), measured as a scan
// measures it (into `rec`) with the marker row `row`; false when it does not parse.
bool measure_alone(const bytes& record, int row, bytes* scene, record_info* rec);

// Sets the last four bytes of `data` so that its CRC-32 is `target`.
void force_crc32(bytes& data, uint32_t target);

// png_head(), 40 filler bytes (enough for a scene), then each record and 16
// more; `spans` holds where each record's marker starts and the record ends.
struct scene_plan {
    bytes file;
    std::vector<std::pair<uint64_t, uint64_t>> spans;
};
scene_plan plan_scene(const std::vector<bytes>& records);
// The progress text a scan of `plan` writes: "\r%2u%%" for each position from
// IEND on, jumping over each record, stopping once `stop_after` were taken.
std::string progress_text(const scene_plan& plan, size_t stop_after = SIZE_MAX);

// Writes `data` to a new file at `path`; false when any of it was not written.
bool write_file(const std::string& path, const bytes& data);

// Character records that carry a name. The skipped section lists the final
// section's blocks as MessagePack ({"lstInfo": [{"name", "version", "pos",
// "size"}, ...]}); the final section holds a "Custom" block of filler, then the
// "Parameter" block, a MessagePack map of the string fields given and "sex".
struct block_entry {
    std::string name;
    uint64_t pos;
    uint64_t size;
};
bytes block_list(const std::vector<block_entry>& blocks);
bytes parameter_map(const std::vector<std::pair<std::string, std::string>>& fields, uint8_t sex_byte);
bytes named_character(int row, uint8_t sex_byte, const std::vector<std::pair<std::string, std::string>>& fields,
                      const bytes& face = {}, const std::string& text = "1.0.0");

// Characters that need plugins and mods. The extended data is one MessagePack
// map, plugin GUID -> [version, {}] (nil for a plugin in `nil_plugins`), with
// the sideloader's entry under `sideloader_guid` when there are resolve
// entries: [version, {"info": [bin, ...]}], each bin a map holding ModID,
// Slot, LocalSlot, Property, CategoryNo and the text fields not left empty.
struct resolve_entry {
    std::string mod_id, name, author, website;
};
constexpr char sideloader_guid[] = "com.bepis.sideloader.universalautoresolver";
constexpr char old_sideloader_guid[] = "EC.Core.Sideloader.UniversalAutoResolver";
bytes extended_data(const std::vector<std::string>& plugins, const std::vector<resolve_entry>& entries = {},
                    const std::string& sideloader = sideloader_guid, const std::vector<std::string>& nil_plugins = {});
// A named character whose block list names a "KKEx" block first, stored
// last in the final section, holding `extended`.
bytes character_with_extended_data(int row, uint8_t sex_byte, const std::string& name, const bytes& extended,
                                   const bytes& face = {});
// A scene's own extended data as a studio scene ends: the .NET string "KKEx",
// an int32 version 3, an int32 length and the map.
bytes scene_extended_block(const bytes& map);
