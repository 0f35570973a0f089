#include "card/deflate_check.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/byte_reader.h"
#include "card/face_decoder.h"

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

// Walks the chunks after the signature as stb does, up to the first IEND:
// the bytes of the IDAT chunks' data in all, the first IDAT chunk that has
// any, and whether a CgBI chunk (Apple's variant, whose stream has no zlib
// header) came anywhere before IEND. False where stb gives up before
// inflating.
struct idat_walk {
    uint64_t total = 0;
    uint64_t first = 0;  // where the first non-empty IDAT payload starts
    int payloads = 0;    // non-empty ones
    bool zlib_header = true;
};
bool walk_chunks(const byte_view& png, idat_walk* w) {
    chunk c{};
    for (uint64_t pos = 8; read_chunk(png, pos, &c); pos = after(c)) {
        if (c.type == type_iend) return true;
        if (c.type == type_cgbi) w->zlib_header = false;
        if (c.type != type_idat || c.length == 0) continue;
        if (w->payloads++ == 0) w->first = c.data;
        w->total += c.length;
    }
    return false;
}

// The stream stb inflates: the IDAT payloads in one piece. Most PNGs have a
// single IDAT chunk, read where it lies; split ones are gathered into `copy`.
byte_view gather_idat(const byte_view& png, const idat_walk& w, std::vector<uint8_t>& copy) {
    if (w.payloads <= 1) return {png.data + w.first, w.total};
    copy.reserve(size_t(w.total));
    chunk c{};
    for (uint64_t pos = 8; read_chunk(png, pos, &c) && c.type != type_iend; pos = after(c))
        if (c.type == type_idat) copy.insert(copy.end(), png.data + c.data, png.data + c.data + c.length);
    return {copy.data(), copy.size()};
}

// ---- Huffman codes, as stbi__zhuffman: a table for short codes, and per
// length the first code and symbol for the long ones. stb's table takes codes
// of up to 9 bits and finds the rest the slow way, from 10 bits on; this one
// takes up to 12 bits, which saves most slow lookups in the streams of real
// pictures and changes no result: a code too long for the table is one the
// slow way finds at the same length and symbol.

constexpr int fast_bits = 12;
constexpr int slow_from = 10;
constexpr int symbols = 288;

struct huffman {
    uint16_t fast[1 << fast_bits];  // length << 9 | symbol; 0: a longer code, or none
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
//
// stb keeps the bits it has read ahead in a 32-bit buffer, `num_bits` of
// them, filled a byte at a time (zero bytes past the end of the stream) to
// more than 24 whenever it needs more. What it decodes depends only on where
// in the stream it is, so the check reads the stream through a wider buffer of
// its own; but whether stb finds the stream at its end depends on how far it
// has read ahead, so the check keeps stb's count of bits and bytes too.

struct inflater {
    byte_view in;     // the stream
    uint64_t next;    // the next byte of it to load into `bits`
    uint64_t bits;    // the stream from the current position on, lowest bit first
    int count;        // how many of `bits` are loaded
    int stb_bits;     // stb's num_bits
    uint64_t taken;   // bytes stb has taken in, past the end too
    uint64_t out;     // bytes inflated so far
    uint64_t limit;   // the count stops past this
    huffman length, distance;
};

// Loads at least 56 bits. Inside the stream 8 bytes go in at once (the
// shifts make one load) and the bytes only partly taken are loaded again
// with the same bits next time; past the end come zeros.
void load_bits(inflater& z) {
    if (bytes_fit(z.in, z.next, 8)) {
        const uint8_t* p = z.in.data + z.next;
        const uint64_t v = uint64_t(p[0]) | uint64_t(p[1]) << 8 | uint64_t(p[2]) << 16 | uint64_t(p[3]) << 24 |
                           uint64_t(p[4]) << 32 | uint64_t(p[5]) << 40 | uint64_t(p[6]) << 48 | uint64_t(p[7]) << 56;
        z.bits |= v << z.count;
        z.next += uint64_t(63 - z.count) / 8;
        z.count |= 56;
        return;
    }
    for (; z.count <= 56; z.count += 8, ++z.next)
        if (bytes_fit(z.in, z.next, 1)) z.bits |= uint64_t(z.in.data[z.next]) << z.count;
}

void consume(inflater& z, int n) {
    z.bits >>= n;
    z.count -= n;
    z.stb_bits -= n;
}

// stbi__zeof: every byte of the stream taken in.
bool at_end(const inflater& z) { return z.taken >= z.in.size; }

// stbi__fill_bits: bytes until more than 24 bits are at hand.
void fill_bits(inflater& z) {
    const int bytes = (24 - z.stb_bits) / 8 + 1;
    z.stb_bits += 8 * bytes;
    z.taken += uint64_t(bytes);
}

// stbi__zreceive.
uint32_t receive(inflater& z, int n) {
    if (z.stb_bits < n) fill_bits(z);
    if (z.count < n) load_bits(z);
    const uint32_t k = uint32_t(z.bits) & ((1u << n) - 1);
    consume(z, n);
    return k;
}

// stbi__zhuffman_decode_slowpath.
int decode_slowly(inflater& z, const huffman& h) {
    const int k = bit_reverse(int(z.bits & 0xFFFF), 16);
    int s = slow_from;
    while (k >= h.maxcode[s]) ++s;
    if (s >= 16) return -1;
    const int b = (k >> (16 - s)) - h.firstcode[s] + h.firstsymbol[s];
    if (b < 0 || b >= symbols || h.size[b] != s) return -1;
    consume(z, s);
    return h.value[b];
}

// stbi__zhuffman_decode: a symbol, or -1. With fewer than 16 bits at hand
// once the whole stream is taken in, stb reports the end of the data;
// otherwise it decodes from the zero bytes it takes in past the end.
int decode(inflater& z, const huffman& h) {
    if (z.stb_bits < 16) {
        if (at_end(z)) return -1;
        fill_bits(z);
    }
    if (z.count < 16) load_bits(z);
    const int fast = h.fast[z.bits & ((1u << fast_bits) - 1)];
    if (!fast) return decode_slowly(z, h);
    consume(z, fast >> 9);
    return fast & 511;
}

// The bit at which the stream's next byte starts, the rest of this one
// skipped, and stb's buffer emptied (stored blocks start there).
uint64_t to_next_byte(inflater& z) {
    const uint64_t at = z.next - uint64_t(z.count / 8);
    z.bits = 0;
    z.count = 0;
    return at;
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
            if (++z.out > z.limit) return block_end::stop;
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
        if (z.out > z.limit) return block_end::stop;
    }
}

// stbi__parse_uncompressed_block: from the next whole byte, the length and
// its complement (zeros past the end), then that many bytes, all inside the
// stream.
bool stored_block(inflater& z) {
    const uint64_t at = to_next_byte(z);
    uint8_t header[4] = {};
    for (uint64_t i = 0; i < 4; ++i)
        if (bytes_fit(z.in, at + i, 1)) header[i] = z.in.data[at + i];
    const uint64_t data = at + 4;
    const uint32_t len = header[1] * 256u + header[0];
    const uint32_t nlen = header[3] * 256u + header[2];
    if (nlen != (len ^ 0xFFFF) || !bytes_fit(z.in, std::min(data, z.in.size), len)) return false;
    z.next = z.taken = data + len;
    z.stb_bits = 0;
    z.out += len;
    return z.out <= z.limit;
}

// stbi__parse_zlib_header: two bytes, and more must follow.
bool zlib_header(const byte_view& in) {
    if (in.size <= 2) return false;
    const uint32_t cmf = in.data[0], flg = in.data[1];
    return (cmf * 256 + flg) % 31 == 0 && !(flg & 32) && (cmf & 15) == 8;
}

}  // namespace

namespace {

// Inflates the IDAT stream of `png` into `z` (whose limit is set), counting.
inflate_end inflate_counting(const uint8_t* png, uint32_t png_len, inflater& z) {
    const byte_view view{png, png_len};
    idat_walk walk;
    if (!walk_chunks(view, &walk)) return inflate_end::refused;
    std::vector<uint8_t> copy;
    z.in = gather_idat(view, walk, copy);
    if (walk.zlib_header) {
        if (!zlib_header(z.in)) return inflate_end::refused;
        z.next = 2;
        z.taken = 2;
    }
    uint32_t final_block = 0;
    do {
        final_block = receive(z, 1);
        const uint32_t type = receive(z, 2);
        if (type == 0) {
            if (!stored_block(z)) return inflate_end::refused;
            continue;
        }
        if (type == 3) return inflate_end::refused;
        const bool built = type == 1 ? build(z.length, fixed.length, symbols) && build(z.distance, fixed.distance, 32)
                                     : dynamic_codes(z);
        if (!built) return inflate_end::refused;
        const block_end end = huffman_block(z);
        if (end == block_end::undefined_distance) return inflate_end::undefined_distance;
        if (end == block_end::stop) return inflate_end::refused;
    } while (!final_block);
    return inflate_end::complete;
}

}  // namespace

inflate_end inflate_like_stb(const uint8_t* png, uint32_t png_len) {
    inflater z{};
    z.limit = face_decode_budget;
    return inflate_counting(png, png_len, z);
}

uint64_t face_inflated_bytes(const uint8_t* png, uint32_t png_len, uint64_t limit) {
    inflater z{};
    z.limit = limit;
    inflate_counting(png, png_len, z);
    return z.out;
}

bool uses_undefined_distance(const uint8_t* png, uint32_t png_len) {
    return inflate_like_stb(png, png_len) == inflate_end::undefined_distance;
}
