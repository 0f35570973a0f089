// Reading MessagePack that nobody vouches for, inside a record: a visitor
// that counts nesting and entries and stops at any limit, the finder of a
// named block in a record's block list, and one value parsed without a throw
// reaching the caller. Shared by the readers of names and of mods.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scene/record.h"
#include "scene/record_facts.h"

// The header-only MessagePack library (without Boost: MSGPACK_NO_BOOST), read
// through its visitor interface, which calls back for each value.
#include <msgpack.hpp>

// Counts nesting and entries for every reader, and stops at any limit.
struct bounded_visitor : msgpack::null_visitor {
    uint32_t depth = 0;
    uint32_t max_depth = facts_max_depth;
    uint32_t max_entries = facts_max_entries;
    bool in_key = false;  // the string being visited is a map's key
    bool start_map_key() {
        in_key = true;
        return true;
    }
    bool end_map_key() {
        in_key = false;
        return true;
    }
    bool start(uint32_t entries) { return entries <= max_entries && ++depth <= max_depth; }
    bool end() {
        --depth;
        return true;
    }
    bool start_array(uint32_t n) { return start(n); }
    bool end_array() { return end(); }
    bool start_map(uint32_t n) { return start(n); }
    bool end_map() { return end(); }
    bool visit_bin(const char*, uint32_t n) { return n <= facts_max_string; }
    bool visit_ext(const char*, uint32_t n) { return n <= facts_max_string; }
};

// {"lstInfo": [{"name": "Parameter", "pos": P, "size": S}, ...]}: finds P and
// S of the first block named `wanted`.
struct block_list_reader : bounded_visitor {
    std::string_view wanted;
    std::string_view key;           // the last key at the current depth
    bool in_list = false;           // inside lstInfo's array
    std::string_view entry_name;
    uint64_t entry_pos = 0, entry_size = 0;
    bool found = false;
    uint64_t pos = 0, size = 0;

    bool visit_str(const char* v, uint32_t n) {
        if (n > facts_max_string) return false;
        if (in_key) key = std::string_view(v, n);
        else if (in_list && depth == 3 && key == "name") entry_name = std::string_view(v, n);
        return true;
    }
    bool visit_positive_integer(uint64_t v) {
        if (!in_key && in_list && depth == 3) {
            if (key == "pos") entry_pos = v;
            if (key == "size") entry_size = v;
        }
        return true;
    }
    bool start_array(uint32_t n) {
        if (!bounded_visitor::start_array(n)) return false;
        if (depth == 2 && key == "lstInfo") in_list = true;
        return true;
    }
    bool end_array() {
        if (depth == 2) in_list = false;
        return bounded_visitor::end_array();
    }
    bool start_map(uint32_t n) {
        if (!bounded_visitor::start_map(n)) return false;
        if (in_list && depth == 3) entry_name = {}, entry_pos = entry_size = 0;
        key = {};
        return true;
    }
    bool end_map() {
        if (in_list && depth == 3 && entry_name == wanted && !found) {
            found = true;
            pos = entry_pos;
            size = entry_size;
        }
        return bounded_visitor::end_map();
    }
};

// One MessagePack value at the start of [data, data + len); false on any fault.
// The library reports some malformed sizes by throwing; they end here.
template <typename Visitor>
inline bool parse_one(const uint8_t* data, size_t len, Visitor& v) {
    try {
        size_t off = 0;
        return msgpack::parse(reinterpret_cast<const char*>(data), len, off, v);
    } catch (...) {
        return false;
    }
}

// Where the block named `name` lies in the final section of `rec`: false
// when the record has no list, the list does not name it, or the block does
// not lie wholly inside that section.
bool find_block(const uint8_t* scene, const record_info& rec, std::string_view name, uint64_t* pos, uint64_t* size);
