#include "card/deflate_check.h"

#include <algorithm>
#include <cstring>

#include "card/face_decoder.h"
#include "extract/byte_reader.h"

// Names, tables and checks below follow stb_image 2.27's zlib decoder
// (stbi__parse_zlib and the functions it calls) step for step, so that the
// check meets a distance code exactly where the decoder would.

namespace {

// ---- The IDAT stream: the payloads of the IDAT chunks, in order, up to IEND.

constexpr uint32_t chunk_type(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint32_t(uint8_t(name[3]));
}
constexpr uint32_t type_idat = chunk_type("IDAT"), type_iend = chunk_type("IEND"),
                   type_cgbi = chunk_type("CgBI");

bool read_be32(const byte_view& v, uint64_t pos, uint32_t* out) {
    if (!bytes_fit(v, pos, 4)) return false;
    const uint8_t* p = v.data + pos;
    *out = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    return true;
}

struct chunk {
    uint64_t data;  // where its data starts
    uint32_t length;
    uint32_t type;
};

// The chunk whose header starts at `pos`. stb reads an IEND's header only;
// any other chunk it reads or skips whole, then its CRC (never checked). One
// that runs off the end is refused: past the end stb reads zeros, the next
// chunk type 0, critical and unknown, and it gives up.
bool read_chunk(const byte_view& v, uint64_t pos, chunk* c) {
    if (!read_be32(v, pos, &c->length) || !read_be32(v, pos + 4, &c->type)) return false;
    c->data = pos + 8;
    return c->type == type_iend || bytes_fit(v, c->data, uint64_t(c->length) + 4);
}

uint64_t after(const chunk& c) { return c.data + c.length + 4; }

// The IDAT payloads read as one stream, without copying them.
struct idat_stream {
    byte_view png;
    uint64_t next;  // the header of the chunk after the current one
    uint64_t pos;   // the next byte of the current payload
    uint64_t end;   // the end of the current payload
    uint64_t left;  // bytes of the stream not read yet, across payloads
};

// Walks the chunks after the signature as stb does: the IDAT payloads up to
// the first IEND, and whether a CgBI chunk (Apple's variant, whose stream has
// no zlib header) came before it. False where stb gives up before inflating.
bool open_idat_stream(const byte_view& png, idat_stream* s, bool* zlib_header) {
    *s = {png, 8, 0, 0, 0};
    *zlib_header = true;
    chunk c{};
    for (uint64_t pos = 8; read_chunk(png, pos, &c); pos = after(c)) {
        if (c.type == type_iend) return true;
        if (c.type == type_idat) s->left += c.length;
        if (c.type == type_cgbi) *zlib_header = false;
    }
    return false;
}

// Moves to the next payload that is not empty; open_idat_stream made sure it
// lies before IEND while bytes are left.
bool next_payload(idat_stream& s) {
    chunk c{};
    do {
        if (!read_chunk(s.png, s.next, &c) || c.type == type_iend) return false;
        s.next = after(c);
    } while (c.type != type_idat || c.length == 0);
    s.pos = c.data;
    s.end = c.data + c.length;
    return true;
}

// stbi__zget8: past the end of the stream, zero.
uint32_t get8(idat_stream& s) {
    if (s.left == 0 || (s.pos == s.end && !next_payload(s))) return 0;
    --s.left;
    return s.png.data[s.pos++];
}

// Skips the `n` bytes of a stored block; false when fewer are left.
bool skip(idat_stream& s, uint64_t n) {
    if (n > s.left) return false;
    s.left -= n;
    while (n > 0) {
        if (s.pos == s.end && !next_payload(s)) return false;
        const uint64_t step = std::min(n, s.end - s.pos);
        s.pos += step;
        n -= step;
    }
    return true;
}

// ---- Huffman codes, as stbi__zhuffman: a 9-bit table for short codes, and
// per length the first code and symbol for the long ones.

constexpr int fast_bits = 9;
constexpr int symbols = 288;

struct huffman {
    uint16_t fast[1 << fast_bits];  // length << 9 | symbol; 0: a longer code
    uint16_t firstcode[16];
    int32_t maxcode[17];
    uint16_t firstsymbol[16];
    uint8_t size[symbols];
    uint16_t value[symbols];
};

int bit_reverse(int v, int bits) {
    v = ((v & 0xAAAA) >> 1) | ((v & 0x5555) << 1);
    v = ((v & 0xCCCC) >> 2) | ((v & 0x3333) << 2);
    v = ((v & 0xF0F0) >> 4) | ((v & 0x0F0F) << 4);
    v = ((v & 0xFF00) >> 8) | ((v & 0x00FF) << 8);
    return v >> (16 - bits);
}

// stbi__zbuild_huffman: refuses oversubscribed lengths, takes incomplete ones.
bool build(huffman& h, const uint8_t* lengths, int count) {
    int sizes[17] = {}, next_code[16];
    std::memset(h.fast, 0, sizeof h.fast);
    for (int i = 0; i < count; ++i) ++sizes[lengths[i]];
    sizes[0] = 0;
    for (int i = 1; i < 16; ++i)
        if (sizes[i] > (1 << i)) return false;
    int code = 0, k = 0;
    for (int i = 1; i < 16; ++i) {
        next_code[i] = code;
        h.firstcode[i] = uint16_t(code);
        h.firstsymbol[i] = uint16_t(k);
        code += sizes[i];
        if (sizes[i] && code - 1 >= (1 << i)) return false;
        h.maxcode[i] = code << (16 - i);
        code <<= 1;
        k += sizes[i];
    }
    h.maxcode[16] = 0x10000;
    for (int i = 0; i < count; ++i) {
        const int s = lengths[i];
        if (!s) continue;
        const int c = next_code[s] - h.firstcode[s] + h.firstsymbol[s];
        h.size[c] = uint8_t(s);
        h.value[c] = uint16_t(i);
        if (s <= fast_bits)
            for (int j = bit_reverse(next_code[s], s); j < (1 << fast_bits); j += 1 << s)
                h.fast[j] = uint16_t(s << 9 | i);
        ++next_code[s];
    }
    return true;
}

// ---- The inflater, counting instead of writing.

struct inflater {
    idat_stream in;
    uint32_t code_buffer;
    int num_bits;
    uint64_t out;  // bytes inflated so far
    huffman length, distance;
};

// stbi__fill_bits: up to more than 24 bits. Bits above num_bits never occur
// here; stb takes them as the end of the data, and so does the check.
void fill_bits(inflater& z) {
    do {
        if (z.code_buffer >= (1u << z.num_bits)) {
            z.in.left = 0;
            return;
        }
        z.code_buffer |= get8(z.in) << z.num_bits;
        z.num_bits += 8;
    } while (z.num_bits <= 24);
}

uint32_t receive(inflater& z, int n) {
    if (z.num_bits < n) fill_bits(z);
    const uint32_t k = z.code_buffer & ((1u << n) - 1);
    z.code_buffer >>= n;
    z.num_bits -= n;
    return k;
}

// stbi__zhuffman_decode: a symbol, or -1. With fewer than 16 bits at hand
// after the last byte, stb reports the end of the data; otherwise it decodes
// from the zero bytes it reads past the end.
int decode(inflater& z, const huffman& h) {
    if (z.num_bits < 16) {
        if (z.in.left == 0) return -1;
        fill_bits(z);
    }
    const int fast = h.fast[z.code_buffer & ((1u << fast_bits) - 1)];
    int s = fast >> 9;
    int symbol = fast & 511;
    if (!fast) {
        const int k = bit_reverse(int(z.code_buffer & 0xFFFF), 16);
        for (s = fast_bits + 1; k >= h.maxcode[s]; ++s) {
        }
        if (s >= 16) return -1;
        const int b = (k >> (16 - s)) - h.firstcode[s] + h.firstsymbol[s];
        if (b < 0 || b >= symbols || h.size[b] != s) return -1;
        symbol = h.value[b];
    }
    z.code_buffer >>= s;
    z.num_bits -= s;
    return symbol;
}

// Deflate's fixed code, as stbi__zdefault_length and stbi__zdefault_distance.
struct fixed_lengths {
    uint8_t length[symbols];
    uint8_t distance[32];
};
constexpr fixed_lengths make_fixed_lengths() {
    fixed_lengths f{};
    for (int i = 0; i < symbols; ++i) f.length[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    for (uint8_t& d : f.distance) d = 5;
    return f;
}
constexpr fixed_lengths fixed = make_fixed_lengths();

// stbi__compute_huffman_codes: a dynamic block's two codes.
bool dynamic_codes(inflater& z) {
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const int hlit = int(receive(z, 5)) + 257;
    const int hdist = int(receive(z, 5)) + 1;
    const int hclen = int(receive(z, 4)) + 4;
    const int total = hlit + hdist;
    uint8_t code_length_lengths[19] = {};
    for (int i = 0; i < hclen; ++i) code_length_lengths[order[i]] = uint8_t(receive(z, 3));
    huffman code_lengths{};
    if (!build(code_lengths, code_length_lengths, 19)) return false;
    uint8_t lengths[symbols + 32];
    int n = 0;
    while (n < total) {
        int c = decode(z, code_lengths);
        if (c < 0 || c >= 19) return false;
        if (c < 16) {
            lengths[n++] = uint8_t(c);
            continue;
        }
        uint8_t fill = 0;
        if (c == 16) {
            c = int(receive(z, 2)) + 3;
            if (n == 0) return false;
            fill = lengths[n - 1];
        } else {
            c = c == 17 ? int(receive(z, 3)) + 3 : int(receive(z, 7)) + 11;
        }
        if (total - n < c) return false;
        std::memset(lengths + n, fill, size_t(c));
        n += c;
    }
    return build(z.length, lengths, hlit) && build(z.distance, lengths + hlit, hdist);
}

// Symbols 286 and 287, which deflate does not define either, are copies of 0
// bytes in 2.27 (their table entries are 0): harmless, so left to it.
constexpr uint16_t length_base[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23,  27, 31,
                                      35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,   0};
constexpr uint8_t length_extra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                      3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 0, 0};
constexpr uint16_t distance_base[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

enum class block_end { done, stop, undefined_distance };

// stbi__parse_huffman_block.
block_end huffman_block(inflater& z) {
    for (;;) {
        int symbol = decode(z, z.length);
        if (symbol < 0) return block_end::stop;
        if (symbol < 256) {
            if (++z.out > face_decode_budget) return block_end::stop;
            continue;
        }
        if (symbol == 256) return block_end::done;
        symbol -= 257;
        uint32_t length = length_base[symbol];
        if (length_extra[symbol]) length += receive(z, length_extra[symbol]);
        const int code = decode(z, z.distance);
        if (code < 0) return block_end::stop;
        if (code >= 30) return block_end::undefined_distance;
        uint32_t distance = distance_base[code];
        if (distance_extra[code]) distance += receive(z, distance_extra[code]);
        if (z.out < distance) return block_end::stop;
        z.out += length;
        if (z.out > face_decode_budget) return block_end::stop;
    }
}

// stbi__parse_uncompressed_block: the length and its complement start at the
// next whole byte, taken first from the bits already read.
bool stored_block(inflater& z) {
    if (z.num_bits & 7) receive(z, z.num_bits & 7);
    uint8_t header[4];
    int k = 0;
    while (z.num_bits > 0) {
        header[k++] = uint8_t(z.code_buffer & 255);
        z.code_buffer >>= 8;
        z.num_bits -= 8;
    }
    if (z.num_bits < 0) return false;
    while (k < 4) header[k++] = uint8_t(get8(z.in));
    const uint32_t len = header[1] * 256u + header[0];
    const uint32_t nlen = header[3] * 256u + header[2];
    if (nlen != (len ^ 0xFFFF) || !skip(z.in, len)) return false;
    z.out += len;
    return z.out <= face_decode_budget;
}

// stbi__parse_zlib_header: both bytes must lie inside the stream and more
// must follow.
bool zlib_header(inflater& z) {
    const uint32_t cmf = get8(z.in), flg = get8(z.in);
    return z.in.left > 0 && (cmf * 256 + flg) % 31 == 0 && !(flg & 32) && (cmf & 15) == 8;
}

}  // namespace

bool uses_undefined_distance(const uint8_t* png, uint32_t png_len) {
    inflater z{};
    bool with_header = true;
    if (!open_idat_stream({png, png_len}, &z.in, &with_header)) return false;
    if (with_header && !zlib_header(z)) return false;
    uint32_t final_block = 0;
    do {
        final_block = receive(z, 1);
        const uint32_t type = receive(z, 2);
        if (type == 0) {
            if (!stored_block(z)) return false;
            continue;
        }
        if (type == 3) return false;
        const bool built = type == 1 ? build(z.length, fixed.length, symbols) && build(z.distance, fixed.distance, 32)
                                     : dynamic_codes(z);
        if (!built) return false;
        const block_end end = huffman_block(z);
        if (end != block_end::done) return end == block_end::undefined_distance;
    } while (!final_block);
    return false;
}
