// The character markers this tool recognises, with the output prefix and the
// record layout each one implies.
#pragma once

#include <cstdint>

// Layout selectors. Kinds 0 and 1 use the string-and-picture layout (kind 1
// carries a second picture, which is the face); the letter kinds use the
// entry-table layout and double as the character's sex letter.
enum : uint8_t {
    kind_face_first = 0,
    kind_face_second = 1,
    kind_male_table = 'M',
    kind_female_table = 'F',
};

struct marker_row {
    const char* marker;   // UTF-8, opens with U+3010 and closes with U+3011
    uint32_t length;      // byte length of `marker`, no terminator
    const char* prefix;   // opens the output name
    uint8_t kind;
};

// The first eight rows are what every run knows. The rest are markers of
// later games, all in the string-and-picture layout with the face first; a run
// takes them on only when asked (--newer-games), so that by default the tool
// finds exactly the records it always found.
constexpr uint32_t default_marker_rows = 8;
constexpr uint32_t marker_count = 13;
extern const marker_row marker_table[marker_count];

// Which rows a run looks for.
enum class marker_set : uint8_t {
    standard,     // the first eight
    newer_games,  // all of them
};

// Every marker opens with U+3010, encoded E3 80 90.
constexpr uint32_t marker_lead_length = 3;
// The byte length of the longest marker, 【HoneySelectCharaFemale】.
constexpr uint32_t longest_marker_length = 28;

// The first row of `set` whose marker stands wholly inside the buffer at
// `pos`, or null. Rows are tried in table order; since all markers end in
// U+3011 and hold it nowhere else, at most one can match.
const marker_row* match_marker(const uint8_t* data, uint64_t size, uint64_t pos, marker_set set);

// The position of the first match of a row of `set` at or after `pos`, with
// its row in `row`; `size` when there is none.
uint64_t find_next_marker(const uint8_t* data, uint64_t size, uint64_t pos, marker_set set,
                          const marker_row** row);
