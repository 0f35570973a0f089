#include "extract/marker_table.h"

#include <cstring>

// U+3010 and U+3011 spelled out as UTF-8 so the table does not depend on the
// source file's encoding.
#define OPEN "\xE3\x80\x90"
#define CLOSE "\xE3\x80\x91"

const marker_row marker_table[marker_count] = {
    {OPEN "HCChara" CLOSE, 13, "HC", kind_face_first},
    {OPEN "KoiKatuChara" CLOSE, 18, "KK", kind_face_first},
    {OPEN "KoiKatuCharaSP" CLOSE, 20, "KK", kind_face_first},
    {OPEN "KoiKatuCharaS" CLOSE, 19, "KKS", kind_face_first},
    {OPEN "HoneySelectCharaMale" CLOSE, 26, "HS", kind_male_table},
    {OPEN "HoneySelectCharaFemale" CLOSE, 28, "HS", kind_female_table},
    {OPEN "AIS_Chara" CLOSE, 15, "HS2", kind_face_first},
    {OPEN "RG_Chara" CLOSE, 14, "RG", kind_face_second},
    // Later games, taken on only with --newer-games.
    {OPEN "KoiKatuCharaSun" CLOSE, 21, "KKS", kind_face_first},  // Koikatsu Sunshine
    {OPEN "HCPChara" CLOSE, 14, "HCP", kind_face_first},         // Honey Come Party
    {OPEN "SVChara" CLOSE, 13, "SV", kind_face_first},           // Summer Vacation Scramble
    {OPEN "ACChara" CLOSE, 13, "AC", kind_face_first},           // Aicomi
    {OPEN "ALChara" CLOSE, 13, "AL", kind_face_first},           // Amanatsu Location
};

#undef OPEN
#undef CLOSE

const marker_row* match_marker(const uint8_t* data, uint64_t size, uint64_t pos, uint32_t rows) {
    for (uint32_t i = 0; i < rows && i < marker_count; ++i) {
        const marker_row& row = marker_table[i];
        if (pos > size || row.length > size - pos) continue;
        if (std::memcmp(data + pos, row.marker, row.length) == 0) return &row;
    }
    return nullptr;
}

namespace {

// The byte after the opening bracket of some marker: 'H', 'K', 'A', 'R' or 'S'
// (the last only in the rows of later games; one more compare costs nothing
// worth a second version of the loop). Checking it before the full comparison
// keeps runs of brackets cheap.
bool is_marker_initial(uint8_t b) {
    return b == 'H' || b == 'K' || b == 'A' || b == 'R' || b == 'S';
}

}  // namespace

uint64_t find_next_marker(const uint8_t* data, uint64_t size, uint64_t pos, uint32_t rows,
                          const marker_row** row) {
    *row = nullptr;
    // A candidate needs the bracket and one more byte; the shortest marker is
    // longer, and match_marker checks the real length.
    if (size <= marker_lead_length) return size;
    const uint64_t limit = size - marker_lead_length;  // candidates lie before it
    while (pos < limit) {
        const void* hit = std::memchr(data + pos, 0xE3, limit - pos);
        if (!hit) break;
        uint64_t at = uint64_t(static_cast<const uint8_t*>(hit) - data);
        // Where E3 bytes come close together (runs of brackets, or E3 over and
        // over) memchr would return after a byte or three each time; stepping
        // through such a run here costs a few compares a candidate instead.
        do {
            if (data[at + 1] != 0x80 || data[at + 2] != 0x90) {
                ++at;
                continue;
            }
            if (is_marker_initial(data[at + 3])) {
                if (const marker_row* found = match_marker(data, size, at, rows)) {
                    *row = found;
                    return at;
                }
            }
            at += marker_lead_length;  // 80 and 90 cannot open a marker
        } while (at < limit && data[at] == 0xE3);
        pos = at;
    }
    return size;
}
