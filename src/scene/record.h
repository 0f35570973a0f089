// Measuring one character record found at a marker match, and naming its card.
// A card is named when it is written, since its number counts the cards
// tried before it.
#pragma once

#include <cstdint>

#include "scene/entry_extents.h"
#include "scene/marker_table.h"

// Holds the longest name: "HS2_M_FFFFFFFF_" and a number of up to ten
// digits, then, with the character's name in it, a space and up to 48 bytes of
// that name, and ".png".
constexpr int card_name_max_name_bytes = 48;
constexpr int card_name_capacity = 96;

struct record_info {
    uint32_t first;      // position of the record's first byte
    uint32_t end;        // one past its last byte
    uint32_t face_pos;   // face picture position, 0 when there is none
    uint32_t face_len;   // face picture length, 0 when there is none
    char sex;            // 'F' or 'M'
    // String-and-picture records only (0 for entry tables): the skipped
    // section, which lists the blocks of the final section, and the blocks
    // themselves, after the final section's 8-byte length field.
    uint32_t list_pos;
    uint32_t list_len;
    uint32_t blocks_pos;
    uint32_t blocks_len;
};

// Parses the record whose marker (from `row`) starts at `match_pos`, which must
// be at least 5. Reads nothing outside `scene`. Returns false when the record's
// fields put its extent outside the buffer; the caller then treats the marker as
// no match. A scan passes its `extents` cache so that entry tables are measured
// without reading every entry; null reads them all, with the same results.
bool parse_record(const uint8_t* scene, uint32_t size, uint32_t match_pos,
                  const marker_row& row, record_info* out, extent_cache* extents = nullptr);

// Formats "<prefix>_<sex>_<tag hex>_<number>.png" for card number
// cards_tried + 1; with a character's `name` that is not empty,
// "<prefix>_<sex>_<tag hex>_<number> <name>.png", the name made safe for
// file names (see safe_name_part).
void format_card_name(const char* prefix, char sex, uint32_t path_tag,
                      uint32_t cards_tried, char out[card_name_capacity], const char* name = nullptr);

// Whether `file_name` (no folder) is spelt as format_card_name spells card
// names: PREFIX_S_TAG_NNN.png or PREFIX_S_TAG_NNN NAME.png, with a prefix of
// capitals and digits, F or M, 4 to 8 upper-case hex digits and 3 or more
// digits.
bool looks_like_card_name(const char* file_name);

// A character's name (UTF-8) as part of a file name on any system: the
// characters Windows does not allow (<>:"/\|?* and control characters)
// become '_', trailing spaces and dots go, and it is cut to at most
// card_name_max_name_bytes bytes on a character boundary. `out` holds that
// many bytes and a terminator.
void safe_name_part(const char* name, char (&out)[card_name_max_name_bytes + 1]);
