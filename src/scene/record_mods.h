// What a character needs beyond the game: the plugins and the mods
// (zipmods) named in its record's extended data.
//
// A record's block list may name a block "KKEx": one MessagePack map, plugin
// GUID -> [version, data] or nil. Its keys are the plugins the character
// uses. The sideloader's entry (GUID com.bepis.sideloader.universalautoresolver,
// on older cards EC.Core.Sideloader.UniversalAutoResolver) is
// [version, {"info": [bin, ...]}], each bin itself a MessagePack map, a
// resolve entry: "ModID" (the mod's GUID), "Slot", "LocalSlot", "Property",
// "CategoryNo", and on newer cards "Name", "Author" and "Website". One mod
// has an entry for each item that uses it.
//
// A studio scene keeps its own extended data after its studio data: the
// .NET string "KKEx" (length byte 4), an int32 version 3, an int32 length and
// the map, whose keys are the scene's plugins.
//
// Nothing here is trusted: every read stays inside the block, depth, counts
// and sizes are limited, and any fault ends the reading with what was read
// so far and a note saying why, never a refused or changed card.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/record.h"

// The most plugins and mods kept for one record or scene, and the longest
// text kept of any of their fields (cut on a character boundary).
constexpr size_t mods_max_plugins = 512;
constexpr size_t mods_max_mods = 512;
constexpr size_t mods_max_text = 255;
// How deep plugin data may nest, and how many entries one of its arrays or
// maps may hold, before the reading stops.
constexpr uint32_t mods_max_depth = 32;
constexpr uint32_t mods_max_entries = 1u << 20;

struct mod_info {
    std::string id;       // the mod's GUID, "ModID"
    std::string name;     // empty where the entries do not say
    std::string author;
    std::string website;
};

struct record_mods {
    std::vector<std::string> plugins;  // in the map's order, each once
    std::vector<mod_info> mods;        // each once, in the order first met
    // Why the lists may be incomplete ("the extended data is no valid
    // MessagePack", ...), null when they were read in full or there was
    // nothing to read.
    const char* note = nullptr;
};

// Reads the plugins and mods of `rec`, a record of `scene` as parse_record
// measured it. A record without a KKEx block gives empty lists.
void read_record_mods(const uint8_t* scene, const record_info& rec, record_mods* out);

// Reads the plugins of the scene's own extended data, the last "KKEx" block
// in [start, size) whose map ends inside the file; empty lists without one.
void read_scene_mods(const uint8_t* scene, uint32_t size, uint32_t start, record_mods* out);
