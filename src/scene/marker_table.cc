#include "scene/marker_table.h"

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

namespace {

// The search is made once for each set, with its row count fixed, so that the
// compiler unrolls the rows and turns each comparison with a marker's known
// text and length into a few word compares. The letter after the bracket is
// compared first: it rules out all rows but up to four, and without it the
// thirteen rows of the larger set are too many for the compiler to unroll,
// which made a scene full of "【K" take over three times as long.
template <uint32_t Count>
const marker_row* match_rows(const uint8_t* data, uint64_t size, uint64_t pos) {
    for (uint32_t i = 0; i < Count; ++i) {
        const marker_row& row = marker_table[i];
        if (pos > size || row.length > size - pos) continue;
        if (data[pos + 3] == uint8_t(row.marker[3]) && std::memcmp(data + pos, row.marker, row.length) == 0)
            return &row;
    }
    return nullptr;
}

// The byte after the opening bracket of some marker of the set: 'H', 'K', 'A'
// or 'R', and 'S' among the later games'. Checking it before the full
// comparison keeps runs of brackets cheap.
template <uint32_t Rows>
bool is_marker_initial(uint8_t b) {
    return b == 'H' || b == 'K' || b == 'A' || b == 'R' || (Rows > default_marker_rows && b == 'S');
}

template <uint32_t Rows>
uint64_t find_rows(const uint8_t* data, uint64_t size, uint64_t pos, const marker_row** row) {
    *row = nullptr;
    // A candidate needs the bracket and one more byte; the shortest marker is
    // longer, and match_rows checks the real length.
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
            if (is_marker_initial<Rows>(data[at + 3])) {
                if (const marker_row* found = match_rows<Rows>(data, size, at)) {
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

}  // namespace

const marker_row* match_marker(const uint8_t* data, uint64_t size, uint64_t pos, marker_set set) {
    return set == marker_set::newer_games ? match_rows<marker_count>(data, size, pos)
                                          : match_rows<default_marker_rows>(data, size, pos);
}

uint64_t find_next_marker(const uint8_t* data, uint64_t size, uint64_t pos, marker_set set,
                          const marker_row** row) {
    return set == marker_set::newer_games ? find_rows<marker_count>(data, size, pos, row)
                                          : find_rows<default_marker_rows>(data, size, pos, row);
}
