#include "scene/record_facts.h"

#include <cstring>
#include <string_view>

#include "base/utf8.h"
#include "scene/msgpack_read.h"

namespace {

// The Parameter block's map: its name strings, at the top level.
struct parameter_reader : bounded_visitor {
    std::string_view key;
    std::string_view lastname, firstname, nickname, fullname;

    bool visit_str(const char* v, uint32_t n) {
        if (n > facts_max_string) return false;
        const std::string_view text(v, n);
        if (in_key) {
            if (depth == 1) key = text;
        } else if (depth == 1) {
            if (key == "lastname") lastname = text;
            else if (key == "firstname") firstname = text;
            else if (key == "nickname") nickname = text;
            else if (key == "fullname") fullname = text;
        }
        return true;
    }
    bool start_map(uint32_t n) {
        if (!bounded_visitor::start_map(n)) return false;
        if (depth == 1) key = {};
        return true;
    }
};

}  // namespace

void copy_valid_utf8(const char* text, size_t len, char (&out)[fact_text_max + 1]) {
    static const char replacement[] = "\xEF\xBF\xBD";  // U+FFFD
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t at = 0, o = 0;
    while (at < len) {
        size_t n = utf8_char_length(s + at, len - at);
        const char* piece = n ? text + at : replacement;
        const size_t piece_len = n ? n : 3;
        if (o + piece_len > fact_text_max) break;
        std::memcpy(out + o, piece, piece_len);
        o += piece_len;
        at += n ? n : 1;
    }
    out[o] = '\0';
}

bool find_block(const uint8_t* scene, const record_info& rec, std::string_view name, uint64_t* pos, uint64_t* size) {
    if (rec.list_len == 0 || rec.blocks_pos == 0) return false;
    block_list_reader list;
    list.wanted = name;
    if (!parse_one(scene + rec.list_pos, rec.list_len, list) || !list.found) return false;
    // The block lies inside the final section, or it is not read.
    if (list.pos > rec.blocks_len || list.size > rec.blocks_len - list.pos) return false;
    *pos = rec.blocks_pos + list.pos;
    *size = list.size;
    return true;
}

void read_record_facts(const uint8_t* scene, const record_info& rec, record_facts* out) {
    out->name[0] = '\0';
    out->nickname[0] = '\0';
    uint64_t pos = 0, size = 0;
    if (!find_block(scene, rec, "Parameter", &pos, &size)) return;
    parameter_reader param;
    if (!parse_one(scene + pos, size_t(size), param)) return;

    char last[fact_text_max + 1], first[fact_text_max + 1];
    copy_valid_utf8(param.lastname.data(), param.lastname.size(), last);
    copy_valid_utf8(param.firstname.data(), param.firstname.size(), first);
    copy_valid_utf8(param.nickname.data(), param.nickname.size(), out->nickname);
    if (!param.fullname.empty()) {
        copy_valid_utf8(param.fullname.data(), param.fullname.size(), out->name);
        return;
    }
    // Both parts, one space between, an empty one left out; cut like the rest.
    char joined[2 * fact_text_max + 2];
    size_t n = 0;
    for (const char* part : {last, first}) {
        const size_t len = std::strlen(part);
        if (len == 0) continue;
        if (n) joined[n++] = ' ';
        std::memcpy(joined + n, part, len);
        n += len;
    }
    copy_valid_utf8(joined, n, out->name);
}
