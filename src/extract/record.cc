#include "extract/record.h"

#include <cstdio>
#include <cstring>

#include "extract/byte_reader.h"

namespace {

// The optional string pair opens with a 36-byte string (a GUID-like text)
// whose third character is a lower-case hexadecimal digit.
bool pair_present(const byte_view& v, uint64_t q, bool* present, uint64_t* after) {
    uint32_t length = 0;
    if (!read_u8(v, q, &length)) return false;
    *present = false;
    if (length != 36) return true;
    uint32_t third = 0;
    if (!read_u8(v, q + 3, &third)) return false;
    const bool hex = (third >= '0' && third <= '9') || (third >= 'a' && third <= 'f');
    if (!hex) return true;
    uint32_t second = 0;
    if (!read_u8(v, q + 37, &second)) return false;
    *present = true;
    *after = q + 37 + 1 + second;
    return true;
}

// The character is female when the first "sex" in [from, end) is followed,
// still inside the record, by the byte 1.
char find_sex(const uint8_t* data, uint64_t from, uint64_t end) {
    uint64_t p = from;
    while (end - p >= 3) {
        const void* hit = std::memchr(data + p, 's', end - p - 2);
        if (!hit) break;
        p = uint64_t(static_cast<const uint8_t*>(hit) - data);
        if (data[p + 1] == 'e' && data[p + 2] == 'x')
            return p + 3 < end && data[p + 3] == 1 ? 'F' : 'M';
        ++p;
    }
    return 'M';
}

// Kinds 0 and 1: a chain of length-prefixed fields ending in the final
// section, which holds the sex.
bool parse_string_picture(const byte_view& v, uint64_t e, uint8_t kind, record_info* out) {
    uint64_t q = e;
    uint32_t n = 0;
    if (!read_u8(v, q, &n)) return false;
    q += 1 + n;

    uint64_t face_pos = 0;
    uint32_t face_len = 0;
    uint32_t p1 = 0;
    if (!read_le24(v, q, &p1)) return false;
    q += 4;
    if (p1 != 0) {
        if (kind == kind_face_first) {
            face_pos = q;
            face_len = p1;
        }
        q += p1;
    }

    bool pair = false;
    uint64_t after_pair = 0;
    if (!pair_present(v, q, &pair, &after_pair)) return false;
    if (pair) q = after_pair;

    if (kind == kind_face_second) {
        uint32_t p2 = 0;
        if (!read_le24(v, q, &p2)) return false;
        q += 4;
        face_pos = p2 ? q : 0;
        face_len = p2;
        q += p2;
    }

    uint32_t skipped = 0;
    if (!read_le24(v, q, &skipped)) return false;
    const uint64_t list = q + 4;
    q += 4 + uint64_t(skipped);

    // 64-bit length of which only the low four bytes count.
    const uint64_t final_field = q;
    uint32_t d = 0;
    if (!read_le32(v, q, &d)) return false;
    const uint64_t end = q + 8 + uint64_t(d);
    if (end > v.size) return false;

    out->end = uint32_t(end);
    out->face_pos = uint32_t(face_pos);
    out->face_len = face_len;
    // The final field is inside the buffer, so the list before it is too.
    out->list_pos = uint32_t(list);
    out->list_len = skipped;
    out->blocks_pos = uint32_t(final_field + 8);
    out->blocks_len = d;
    // The search starts at the final length field itself, not after it.
    out->sex = find_sex(v.data, final_field, end);
    return true;
}

// Kinds 'M' and 'F': a table of 148-byte entries; the record reaches as far
// as the furthest entry extent past the data area.
bool parse_entry_table(const byte_view& v, uint64_t e, uint8_t kind, extent_cache* extents,
                       record_info* out) {
    uint32_t count = 0;
    if (!read_le16(v, e + 4, &count)) return false;
    const uint64_t table = e + 8;
    const uint64_t data_area = table + entry_size * count;
    if (data_area > v.size) return false;

    uint32_t furthest = 0;
    if (!furthest_extent(extents, v, table, count, &furthest)) return false;
    const uint64_t end = data_area + furthest;
    if (end > v.size) return false;

    out->end = uint32_t(end);
    out->face_pos = 0;
    out->face_len = 0;
    out->sex = char(kind);
    out->list_pos = out->list_len = out->blocks_pos = out->blocks_len = 0;
    return true;
}

}  // namespace

bool parse_record(const uint8_t* scene, uint32_t size, uint32_t match_pos,
                  const marker_row& row, record_info* out, extent_cache* extents) {
    const byte_view v{scene, size};
    const uint64_t e = uint64_t(match_pos) + row.length;
    // Letter kinds (above 64) use the entry table; 0 and 1 the string chain.
    const bool table = row.kind > 64;
    const uint32_t lead = table ? 1 : 5;  // marker length byte, plus the leading field
    if (match_pos < lead) return false;

    const bool ok = table ? parse_entry_table(v, e, row.kind, extents, out)
                          : parse_string_picture(v, e, row.kind, out);
    if (!ok) return false;
    out->first = match_pos - lead;
    return true;
}

void safe_name_part(const char* name, char (&out)[card_name_max_name_bytes + 1]) {
    size_t o = 0;
    for (size_t i = 0; name[i];) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        // A character's bytes: the lead byte tells how many follow.
        const size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        size_t len = 0;
        while (len < n && name[i + len]) ++len;
        if (o + len > card_name_max_name_bytes) break;
        if (len == 1 && (c < 0x20 || c == 0x7F || std::strchr("<>:\"/\\|?*", c))) out[o++] = '_';
        else std::memcpy(out + o, name + i, len), o += len;
        i += len;
    }
    while (o > 0 && (out[o - 1] == ' ' || out[o - 1] == '.')) --o;
    out[o] = '\0';
}

void format_card_name(const char* prefix, char sex, uint32_t path_tag, uint32_t cards_tried,
                      char out[card_name_capacity], const char* name) {
    char safe[card_name_max_name_bytes + 1] = "";
    if (name) safe_name_part(name, safe);
    std::snprintf(out, card_name_capacity, "%s_%c_%04X_%03u%s%s.png", prefix, sex, unsigned(path_tag),
                  unsigned(cards_tried + 1), safe[0] ? " " : "", safe);
}
