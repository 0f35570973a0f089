#include "png_builder.h"

#include <algorithm>

#include "scene/crc32.h"

namespace {

void put_be32(bytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) put_u8(b, v >> shift);
}

// Deflate's bit order: values go in from their lowest bit, Huffman codes from
// their highest.
struct bit_writer {
    bytes out;
    uint32_t pending = 0;
    int count = 0;
    void value(uint32_t v, int bits) {
        for (int i = 0; i < bits; ++i) bit((v >> i) & 1);
    }
    void code(uint32_t c, int bits) {
        for (int i = bits - 1; i >= 0; --i) bit((c >> i) & 1);
    }
    void bit(uint32_t b) {
        pending |= b << count;
        if (++count == 8) flush();
    }
    void flush() {
        if (count == 0) return;
        out.push_back(uint8_t(pending));
        pending = 0;
        count = 0;
    }
};

// The fixed Huffman code of a literal/length symbol.
void fixed_symbol(bit_writer& w, uint32_t s) {
    if (s < 144) w.code(0x30 + s, 8);
    else if (s < 256) w.code(0x190 + s - 144, 9);
    else if (s < 280) w.code(s - 256, 7);
    else w.code(0xC0 + s - 280, 8);
}

// The symbol of a copy length, 3 to 258, and its extra bits.
uint32_t length_symbol(uint32_t length, uint32_t* extra_value, int* extra_bits) {
    static const uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    int code = 28;
    while (base[code] > length) --code;
    *extra_value = length - base[code];
    *extra_bits = extra[code];
    return 257 + uint32_t(code);
}

// A copy length under the fixed code.
void fixed_length(bit_writer& w, uint32_t length) {
    uint32_t value = 0;
    int bits = 0;
    fixed_symbol(w, length_symbol(length, &value, &bits));
    w.value(value, bits);
}

// One stored block, or several of at most 65535 bytes each.
void put_stored(bit_writer& w, const bytes& raw, bool last) {
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(raw.size() - at, 65535);
        w.value(last && at + n == raw.size() ? 1 : 0, 1);
        w.value(0, 2);  // stored
        w.flush();
        w.value(uint32_t(n), 16);
        w.value(uint32_t(~n & 0xFFFF), 16);
        w.out.insert(w.out.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
    } while (at < raw.size());
}

// A block under the fixed code, or under a dynamic one that gives every
// literal/length symbol 9 bits (symbol s: code s) and every distance code 5
// (code d: d, as in the fixed code). Its code lengths are sent with a code of
// two: 5 (0) and 9 (1).
void put_coded(bit_writer& w, const deflate_block& b, bool last) {
    const bool dynamic = b.code == block_code::dynamic;
    w.value(last ? 1 : 0, 1);
    w.value(dynamic ? 2 : 1, 2);
    if (dynamic) {
        w.value(288 - 257, 5);
        w.value(32 - 1, 5);
        w.value(10 - 4, 4);
        for (int i = 0; i < 10; ++i) w.value(i == 6 || i == 9 ? 1 : 0, 3);  // 9 and 5 in the order
        for (int i = 0; i < 288; ++i) w.code(1, 1);
        for (int i = 0; i < 32; ++i) w.code(0, 1);
    }
    auto symbol = [&](uint32_t s) {
        if (dynamic) w.code(s, 9);
        else fixed_symbol(w, s);
    };
    static const uint8_t distance_extra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6, 6,
                                               7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 0, 0};
    size_t next = 0;
    for (size_t i = 0; i < b.raw.size(); ++i) {
        if (next < b.copies.size() && b.copies[next].at == i) {
            const deflate_copy& c = b.copies[next++];
            uint32_t value = 0;
            int bits = 0;
            symbol(length_symbol(c.length, &value, &bits));
            w.value(value, bits);
            w.code(c.distance_code, 5);
            w.value(c.distance_extra, distance_extra[c.distance_code]);
            i += c.length - 1;
        } else {
            symbol(b.raw[i]);
        }
    }
    symbol(256);
}

// zlib: header (deflate, 32 KiB window, no dictionary), blocks, Adler-32.
bytes zlib_wrap(bit_writer& w, uint32_t adler) {
    w.flush();
    bytes b = {0x78, 0x01};
    put_bytes(b, w.out);
    put_be32(b, adler);
    return b;
}

uint32_t adler32(const bytes& data) {
    uint32_t a = 1, s = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        s = (s + a) % 65521;
    }
    return s << 16 | a;
}

// Adam7: where each pass starts and how far apart its pixels lie.
struct pass { uint32_t x0, y0, dx, dy; };
constexpr pass adam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t pass_extent(uint32_t size, uint32_t start, uint32_t step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

// `width` x `height` rows of pseudo-random samples, packed as the format packs them.
void put_rows(bytes& b, const png_format& f, uint32_t width, uint32_t height, uint32_t& state) {
    const uint32_t samples = width * png_channels(f.colour);
    const uint64_t row_bytes = (uint64_t(samples) * f.depth + 7) / 8;
    for (uint32_t y = 0; y < height; ++y) {
        put_u8(b, y % 5);  // none, sub, up, average, Paeth in turn
        bytes row(row_bytes, 0);
        for (uint32_t i = 0; i < samples; ++i) {
            state = state * 1664525u + 1013904223u;
            const uint32_t sample = (state >> 8) & ((1u << std::min<int>(f.depth, 16)) - 1);
            if (f.depth >= 8) {
                const uint32_t size = f.depth / 8u;  // big-endian
                for (uint32_t k = 0; k < size; ++k) row[i * size + k] = uint8_t(sample >> (8 * (size - 1 - k)));
            } else {
                const uint64_t bit = uint64_t(i) * f.depth;
                row[bit / 8] |= uint8_t(sample << (8 - f.depth - bit % 8));
            }
        }
        put_bytes(b, row);
    }
}

// `zlib` as IDAT chunks of `piece` bytes, the last one shorter.
void put_idat_chunks(bytes& b, const bytes& zlib, size_t piece) {
    for (size_t at = 0; at < zlib.size(); at += piece) {
        const size_t end = std::min(zlib.size(), at + piece);
        put_bytes(b, png_chunk("IDAT", bytes(zlib.begin() + long(at), zlib.begin() + long(end))));
    }
}

}  // namespace

uint32_t png_channels(uint8_t colour) {
    switch (colour) {
        case 2: return 3;
        case 4: return 2;
        case 6: return 4;
        default: return 1;
    }
}

bytes png_chunk(const char* type, const bytes& data) {
    bytes b;
    put_be32(b, uint32_t(data.size()));
    bytes typed(type, type + 4);
    put_bytes(typed, data);
    put_bytes(b, typed);
    put_be32(b, crc32(typed.data(), typed.size()));
    return b;
}

bytes png_start(const png_format& f) {
    bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    bytes header;
    put_be32(header, f.width);
    put_be32(header, f.height);
    header.insert(header.end(), {f.depth, f.colour, 0, 0, f.interlace});
    put_bytes(b, png_chunk("IHDR", header));
    return b;
}

bytes png_with_stream(const png_format& f, const bytes& zlib, size_t piece) {
    bytes b = png_start(f);
    put_idat_chunks(b, zlib, piece == 0 ? zlib.size() : piece);
    put_bytes(b, png_chunk("IEND", {}));
    return b;
}

bytes png_raw_rows(const png_format& f, uint32_t seed) {
    bytes b;
    uint32_t state = seed * 2654435761u + 7;
    if (f.interlace == 0) {
        put_rows(b, f, f.width, f.height, state);
        return b;
    }
    for (const pass& p : adam7) {
        const uint32_t w = pass_extent(f.width, p.x0, p.dx), h = pass_extent(f.height, p.y0, p.dy);
        if (w > 0 && h > 0) put_rows(b, f, w, h, state);
    }
    return b;
}

bytes zlib_stored(const bytes& raw) { return zlib_blocks({{block_code::stored, raw, {}}}); }

bytes zlib_zero_run(uint64_t n, int tail_code) {
    bit_writer w;
    // A fixed block with the first byte, for the runs to copy from.
    w.value(0, 1);
    w.value(1, 2);
    fixed_symbol(w, 0);
    fixed_symbol(w, 256);
    // A dynamic block of 258-byte runs. Its literal/length code has two symbols
    // of one bit, end of block (0) and length 258 (1); its distance code one,
    // distance 1 (0). The code lengths themselves are sent with a code of
    // three: 18, a run of zero lengths (0), 0 (10) and 1 (11).
    w.value(0, 1);
    w.value(2, 2);
    w.value(286 - 257, 5);
    w.value(1 - 1, 5);
    w.value(18 - 4, 4);
    const uint8_t order_lengths[18] = {0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    for (uint8_t l : order_lengths) w.value(l, 3);  // for 16, 17, 18, 0, 8, 7, ... 2, 14, 1
    auto zeros = [&](uint32_t count) {               // 11 to 138 zero lengths
        w.code(0, 1);
        w.value(count - 11, 7);
    };
    zeros(138);
    zeros(118);      // symbols 0 to 255: no literals
    w.code(3, 2);    // 256: one bit
    zeros(28);       // 257 to 284
    w.code(3, 2);    // 285 (length 258): one bit
    w.code(3, 2);    // distance code 0 (distance 1): one bit
    const uint64_t runs = (n - 1) / 258;
    for (uint64_t i = 0; i < runs; ++i) {
        w.code(1, 1);
        w.code(0, 1);
    }
    w.code(0, 1);
    // The rest in a last fixed block.
    w.value(1, 1);
    w.value(1, 2);
    const uint32_t rest = uint32_t((n - 1) % 258);
    if (rest >= 3) {
        fixed_length(w, rest);
        w.code(0, 5);
    } else {
        for (uint32_t i = 0; i < rest; ++i) fixed_symbol(w, 0);
    }
    if (tail_code >= 0) {
        fixed_length(w, 3);
        w.code(uint32_t(tail_code), 5);
    }
    fixed_symbol(w, 256);
    return zlib_wrap(w, uint32_t(n % 65521) << 16 | 1);
}

bytes zlib_blocks(const std::vector<deflate_block>& blocks) {
    bit_writer w;
    bytes all;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const deflate_block& b = blocks[i];
        const bool last = i + 1 == blocks.size();
        if (b.code == block_code::stored) put_stored(w, b.raw, last);
        else put_coded(w, b, last);
        put_bytes(all, b.raw);
    }
    return zlib_wrap(w, adler32(all));
}

bytes zlib_copy_at_end(const bytes& head, uint32_t length, int real_extra, uint32_t shift) {
    uint32_t extra_value = 0;
    int extra_bits = 0;
    const uint32_t symbol = length_symbol(length, &extra_value, &extra_bits);
    // Splitting the literals' zero lengths into three runs instead of two
    // adds 9 bits, and each single zero length 2: together they bring the end
    // of the stream onto a byte boundary.
    for (uint32_t tries = 0;; ++tries) {
        const uint32_t singles = 8 * shift + tries / 2, runs = 2 + tries % 2;
        bit_writer w;
        put_stored(w, head, false);
        w.value(1, 1);
        w.value(2, 2);
        w.value(symbol + 1 - 257, 5);  // literal/length lengths up to the copy's symbol
        w.value(32 - 1, 5);
        w.value(19 - 4, 4);
        // The code-length code: 0 (00), 1 (01), 15 (10) and 18, a run of
        // zero lengths (11).
        const uint8_t order_lengths[19] = {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2};
        for (uint8_t l : order_lengths) w.value(l, 3);  // for 16, 17, 18, 0, 8, ... 14, 1, 15
        auto zero_run = [&](uint32_t count) {          // 11 to 138 zero lengths
            w.code(3, 2);
            w.value(count - 11, 7);
        };
        // Literals 0 to 255: none.
        const uint32_t in_runs = 256 - singles;
        for (uint32_t r = 0; r < runs; ++r) zero_run(in_runs / runs + (r < in_runs % runs ? 1 : 0));
        for (uint32_t k = 0; k < singles; ++k) w.code(0, 2);
        w.code(1, 2);  // 256: one bit, code 0
        for (uint32_t s = 257; s < symbol; ++s) w.code(0, 2);
        w.code(2, 2);  // the copy's symbol: 15 bits, code 1 and 14 zeros
        zero_run(30);
        w.code(1, 2);  // distance code 30: one bit, code 0
        w.code(1, 2);  // 31: code 1
        w.code(1u << 14, 15);
        w.value(extra_value, real_extra);
        if (w.count != 0) continue;
        bytes b = {0x78, 0x01};
        put_bytes(b, w.out);
        return b;
    }
}

bytes zero_face(const png_format& f) {
    const uint64_t row_bytes = (uint64_t(f.width) * png_channels(f.colour) * f.depth + 7) / 8;
    return png_with_stream(f, zlib_zero_run((row_bytes + 1) * f.height));
}

bytes build_png(const png_layout& s) {
    const png_format& f = s.format;
    bytes b = png_start(f);
    const uint32_t entries = f.colour == 3 ? 1u << std::min<int>(f.depth, 8) : 256;
    if (s.palette || f.colour == 3) {
        bytes plte;
        for (uint32_t i = 0; i < entries * 3; ++i) put_u8(plte, i * 37 + s.seed);
        put_bytes(b, png_chunk("PLTE", plte));
    }
    if (s.transparency) {
        // Palette: an alpha for each entry but the last; otherwise the one
        // transparent colour, a 16-bit sample for each channel.
        bytes trns;
        const uint32_t n = f.colour == 3 ? entries - 1 : 2 * png_channels(f.colour);
        for (uint32_t i = 0; i < n; ++i) put_u8(trns, f.colour == 3 ? i * 91 : 0);
        put_bytes(b, png_chunk("tRNS", trns));
    }
    if (s.empty_first_idat) put_bytes(b, png_chunk("IDAT", {}));
    const bytes zlib = zlib_stored(png_raw_rows(f, s.seed));
    const size_t pieces = size_t(std::max(1, s.idat_pieces));
    put_idat_chunks(b, zlib, (zlib.size() + pieces - 1) / pieces);
    put_bytes(b, png_chunk("IEND", {}));
    return b;
}
