#include "scene/record.h"

#include <cstdio>
#include <cstring>

#include "base/byte_reader.h"

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

namespace {

// The code point of the UTF-8 character of `len` bytes at `s`.
uint32_t code_point(const unsigned char* s, size_t len) {
    if (len == 1) return s[0];
    uint32_t code = s[0] & (0x7F >> len);
    for (size_t i = 1; i < len; ++i) code = code << 6 | (s[i] & 0x3F);
    return code;
}

struct code_range {
    uint32_t first, last;
};

bool in_ranges(uint32_t c, const code_range* ranges, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (c >= ranges[i].first && c <= ranges[i].last) return true;
    return false;
}

// Characters that change how the rest of a name shows and show nothing
// themselves: a file name "...\u202Egpj.exe.png" shows as "...gnp.exe.jpg",
// and one of zero-width spaces alone looks like no name at all.
bool is_format_character(uint32_t c) {
    static const code_range ranges[] = {
        {0x00AD, 0x00AD}, {0x061C, 0x061C}, {0x180E, 0x180E}, {0x200B, 0x200F}, {0x202A, 0x202E},
        {0x2060, 0x2064}, {0x2066, 0x206F}, {0xFEFF, 0xFEFF}, {0xFFF9, 0xFFFB}, {0xE0001, 0xE007F},
    };
    return in_ranges(c, ranges, sizeof ranges / sizeof ranges[0]);
}

// Marks drawn on the character before them (accents, the kana voicing marks,
// variation selectors): a cut between the two would change the letter.
bool is_combining_mark(uint32_t c) {
    static const code_range ranges[] = {
        {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
        {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
        {0x20D0, 0x20FF}, {0x302A, 0x302F}, {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
        {0x1F3FB, 0x1F3FF}, {0xE0100, 0xE01EF},
    };
    return in_ranges(c, ranges, sizeof ranges / sizeof ranges[0]);
}

}  // namespace

void safe_name_part(const char* name, char (&out)[card_name_max_name_bytes + 1]) {
    size_t o = 0;
    size_t base = 0;  // where the last character that is no combining mark starts in `out`
    for (size_t i = 0; name[i];) {
        const unsigned char* c = reinterpret_cast<const unsigned char*>(name + i);
        // A character's bytes: the lead byte tells how many follow.
        const size_t n = c[0] < 0x80 ? 1 : c[0] >= 0xF0 ? 4 : c[0] >= 0xE0 ? 3 : c[0] >= 0xC0 ? 2 : 1;
        size_t len = 0;
        while (len < n && name[i + len]) ++len;
        const uint32_t code = code_point(c, len);
        i += len;
        if (is_format_character(code)) continue;
        const bool mark = is_combining_mark(code);
        if (o + len > card_name_max_name_bytes) {
            // A mark that no longer fits takes its letter with it.
            if (mark) o = base;
            break;
        }
        if (!mark) base = o;
        if (len == 1 && (c[0] < 0x20 || c[0] == 0x7F || std::strchr("<>:\"/\\|?*", c[0]))) out[o++] = '_';
        else std::memcpy(out + o, c, len), o += len;
    }
    while (o > 0 && (out[o - 1] == ' ' || out[o - 1] == '.')) --o;
    out[o] = '\0';
}

bool looks_like_card_name(const char* name) {
    auto run = [&](bool (*in)(char), size_t least, size_t most) {
        size_t n = 0;
        while (n < most && in(name[n])) ++n;
        name += n;
        return n >= least;
    };
    auto upper_or_digit = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    auto sex = [](char c) { return c == 'F' || c == 'M'; };
    auto hex = [](char c) { return (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9'); };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    auto underscore = [](char c) { return c == '_'; };
    if (!run(upper_or_digit, 1, 16) || !run(underscore, 1, 1) || !run(sex, 1, 1) || !run(underscore, 1, 1) ||
        !run(hex, 4, 8) || !run(underscore, 1, 1) || !run(digit, 3, 10))
        return false;
    const size_t len = std::strlen(name);
    if (len < 4 || std::strcmp(name + len - 4, ".png") != 0) return false;
    return len == 4 || name[0] == ' ';
}

void format_card_name(const char* prefix, char sex, uint32_t path_tag, uint32_t cards_tried,
                      char out[card_name_capacity], const char* name) {
    char safe[card_name_max_name_bytes + 1] = "";
    if (name) safe_name_part(name, safe);
    std::snprintf(out, card_name_capacity, "%s_%c_%04X_%03u%s%s.png", prefix, sex, unsigned(path_tag),
                  unsigned(cards_tried + 1), safe[0] ? " " : "", safe);
}
