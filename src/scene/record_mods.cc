#include "scene/record_mods.h"

#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/byte_reader.h"
#include "scene/msgpack_read.h"

namespace {

constexpr std::string_view sideloader_guids[] = {
    "com.bepis.sideloader.universalautoresolver",
    "EC.Core.Sideloader.UniversalAutoResolver",
};

// A field as kept: valid UTF-8, cut on a character boundary.
std::string kept_text(std::string_view text) {
    char out[fact_text_max + 1];
    copy_valid_utf8(text.data(), text.size(), out);
    return out;
}

// The extended data's map: its keys, and the resolve entries (bins) inside
// the sideloader's "info" list. Plugin data of any other kind is walked past.
struct extended_data_reader : bounded_visitor {
    record_mods* out;
    bool sideloader = false;     // the value being read is the sideloader's
    std::string_view data_key;   // the last key of the sideloader's data map
    bool in_info = false;        // inside that map's "info" list
    std::vector<std::string_view> entries;
    std::unordered_set<std::string> known_plugins;
    bool too_many = false;

    explicit extended_data_reader(record_mods* mods) : out(mods) {
        max_depth = mods_max_depth;
        max_entries = mods_max_entries;
    }
    bool start_map_key() {
        if (depth == 1) sideloader = false;
        return bounded_visitor::start_map_key();
    }
    bool visit_str(const char* v, uint32_t n) {
        const std::string_view text(v, n);
        if (in_key && depth == 1) {
            for (std::string_view guid : sideloader_guids) sideloader |= text == guid;
            add_plugin(text);
        } else if (in_key && sideloader && depth == 3) {
            data_key = text;
        }
        return true;
    }
    void add_plugin(std::string_view guid) {
        std::string kept = kept_text(guid);
        if (known_plugins.count(kept)) return;
        if (out->plugins.size() == mods_max_plugins) {
            too_many = true;
            return;
        }
        known_plugins.insert(kept);
        out->plugins.push_back(std::move(kept));
    }
    bool start_map(uint32_t n) {
        if (!bounded_visitor::start_map(n)) return false;
        if (depth == 3) data_key = {};
        return true;
    }
    bool start_array(uint32_t n) {
        if (!bounded_visitor::start_array(n)) return false;
        if (sideloader && depth == 4 && data_key == "info") in_info = true;
        return true;
    }
    bool end_array() {
        if (depth == 4) in_info = false;
        return bounded_visitor::end_array();
    }
    // Strings and blobs of any size cost nothing to pass: they are not copied.
    bool visit_bin(const char* v, uint32_t n) {
        if (in_info && depth == 4 && !in_key) entries.emplace_back(v, n);
        return true;
    }
    bool visit_ext(const char*, uint32_t) { return true; }
};

// One resolve entry: its top-level text fields.
struct resolve_entry_reader : bounded_visitor {
    std::string_view key, id, name, author, website;
    bool visit_str(const char* v, uint32_t n) {
        const std::string_view text(v, n);
        if (depth != 1) return true;
        if (in_key) key = text;
        else if (key == "ModID") id = text;
        else if (key == "Name") name = text;
        else if (key == "Author") author = text;
        else if (key == "Website") website = text;
        return true;
    }
    bool start_map_key() {
        if (depth == 1) key = {};
        return bounded_visitor::start_map_key();
    }
};

// Adds the mod of one resolve entry, or what it says more of a mod already
// met (`known`: each mod's place in the list). False when the entry is no map
// of text fields with a ModID.
bool add_mod(record_mods* out, std::unordered_map<std::string, size_t>& known, std::string_view entry,
             bool* too_many) {
    resolve_entry_reader r;
    if (!parse_one(reinterpret_cast<const uint8_t*>(entry.data()), entry.size(), r) || r.id.empty()) return false;
    std::string id = kept_text(r.id);
    const auto at = known.find(id);
    mod_info* mod = at == known.end() ? nullptr : &out->mods[at->second];
    if (!mod) {
        if (out->mods.size() == mods_max_mods) {
            *too_many = true;
            return true;
        }
        known.emplace(id, out->mods.size());
        out->mods.push_back(mod_info{std::move(id), "", "", ""});
        mod = &out->mods.back();
    }
    if (mod->name.empty()) mod->name = kept_text(r.name);
    if (mod->author.empty()) mod->author = kept_text(r.author);
    if (mod->website.empty()) mod->website = kept_text(r.website);
    return true;
}

// Reads the extended data's map at [data, data + len) into `out`.
void read_extended_data(const uint8_t* data, size_t len, record_mods* out) {
    try {
        extended_data_reader reader(out);
        const bool whole = parse_one(data, len, reader);
        bool bad_entry = false, too_many = reader.too_many;
        std::unordered_map<std::string, size_t> known;
        for (std::string_view entry : reader.entries) bad_entry |= !add_mod(out, known, entry, &too_many);
        if (!whole) out->note = "the extended data is cut short, malformed or nested too deep: the lists may be partial";
        else if (bad_entry) out->note = "a mod's entry is no map with a ModID: that entry is left out";
        else if (too_many) out->note = "more plugins or mods than are kept: the lists are cut";
    } catch (const std::bad_alloc&) {
        out->note = "not enough memory to read the extended data: the lists may be partial";
    }
}

}  // namespace

void read_record_mods(const uint8_t* scene, const record_info& rec, record_mods* out) {
    *out = record_mods{};
    uint64_t pos = 0, size = 0;
    if (!find_block(scene, rec, "KKEx", &pos, &size)) return;
    read_extended_data(scene + pos, size_t(size), out);
}

void read_scene_mods(const uint8_t* scene, uint32_t size, uint32_t start, record_mods* out) {
    *out = record_mods{};
    static const uint8_t marker[] = {4, 'K', 'K', 'E', 'x', 3, 0, 0, 0};
    constexpr uint32_t head = sizeof marker + 4;  // the marker, then the map's length
    if (size < head || start > size - head) return;
    const byte_view v{scene, size};
    // The last one whose map ends inside the file: the scene's own comes
    // after everything it holds.
    for (uint64_t at = size - head + 1; at-- > start;) {
        // The length byte first: memcmp at every position costs more than the scan.
        if (scene[at] != marker[0] || std::memcmp(scene + at, marker, sizeof marker) != 0) continue;
        uint32_t len = 0;
        if (!read_le32(v, at + sizeof marker, &len) || !bytes_fit(v, at + head, len)) continue;
        read_extended_data(scene + at + head, len, out);
        return;
    }
}
