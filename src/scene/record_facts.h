// What a character record says of its character: the name a player gave it.
//
// A string-and-picture record lists the blocks of its final section in its
// skipped section, a MessagePack map {"lstInfo": [{"name", "version", "pos",
// "size"}, ...]}; the block named "Parameter" (`pos` and `size` counted from
// the first byte after the final section's length field) is a MessagePack map
// holding "lastname" and "firstname" (and "nickname") in the Koikatsu family,
// "fullname" in AI, Honey Select 2 and Room Girl. Entry-table records carry no
// such list. Nothing here is trusted: every read stays inside the record's
// sections, depth, counts and sizes are limited, and any fault gives empty
// texts, never a refused card.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scene/record.h"

// Names are kept up to this many bytes of UTF-8 (a character never cut).
constexpr size_t fact_text_max = 255;

struct record_facts {
    // The display name: "fullname" when present and not empty, else
    // "lastname" and "firstname" joined by one space, an empty one left out;
    // empty when there is none. Always valid UTF-8: a byte that is no part of
    // a character becomes U+FFFD.
    char name[fact_text_max + 1];
    char nickname[fact_text_max + 1];
};

// Reads the facts of `rec`, a record of `scene` as parse_record measured it.
void read_record_facts(const uint8_t* scene, const record_info& rec, record_facts* out);

// Limits of the MessagePack read: nesting, entries of one array or map, and
// the longest string looked at; anything beyond them ends the read.
constexpr uint32_t facts_max_depth = 8;
constexpr uint32_t facts_max_entries = 4096;
constexpr uint32_t facts_max_string = 65536;

// Copies `text` of `len` bytes into `out` (room for fact_text_max bytes and
// a terminator) as valid UTF-8, cut on a character boundary.
void copy_valid_utf8(const char* text, size_t len, char (&out)[fact_text_max + 1]);
