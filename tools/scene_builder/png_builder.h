// PNG pictures written chunk by chunk, for the face pictures stb_image_write
// never makes: every colour type and bit depth, interlaced, with palettes and
// transparency, IDAT chunks split or empty, and deflate streams made by hand.
#pragma once

#include <cstdint>
#include <vector>

#include "scene_builder.h"

struct png_format {
    uint32_t width = 1;
    uint32_t height = 1;
    uint8_t depth = 8;      // 1, 2, 4, 8 or 16 bits a sample
    uint8_t colour = 6;     // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    uint8_t interlace = 0;  // 1: Adam7
};

// Samples a pixel of the colour type has (a palette index counts as one).
uint32_t png_channels(uint8_t colour);

// One chunk: big-endian length, type, data, CRC-32 of type and data.
bytes png_chunk(const char* type, const bytes& data);
// The signature and the IHDR chunk.
bytes png_start(const png_format& format);
// The signature, IHDR, `zlib` as IDAT chunks of at most `piece` bytes each
// (one chunk when 0), then IEND.
bytes png_with_stream(const png_format& format, const bytes& zlib, size_t piece = 0);

// The rows a decoder inflates for a picture of pseudo-random samples: each row
// a filter byte (0 to 4 in turn) and its packed samples, pass after pass when
// interlaced. Palette indices stay below 2^depth.
bytes png_raw_rows(const png_format& format, uint32_t seed);

// zlib streams. Stored blocks: `raw` as it is.
bytes zlib_stored(const bytes& raw);
// `n` (>= 1) zero bytes: one literal, then runs of 258 bytes at distance 1 in a
// block whose codes take one bit each, so a run costs two bits and 1 MiB of
// stream inflates to about 1 GiB. With `tail_code` 0 to 3, 30 or 31 (codes
// without extra bits), a copy of 3 bytes with that distance code follows.
bytes zlib_zero_run(uint64_t n, int tail_code = -1);
// Deflate blocks made by hand. A block holds `raw` stored as it is, or as
// literals under the fixed code or under a dynamic code that gives every
// literal/length symbol 9 bits and every distance code 5. A copy stands for
// the `length` bytes (3 to 258) from `at` of `raw`, whatever they hold, with
// any distance code, 30 and 31 too: deflate has no such codes, and stb_image
// 2.27 takes them as distance 0, copying bytes it never wrote.
enum class block_code : uint8_t { stored, fixed, dynamic };
struct deflate_copy {
    size_t at;
    uint32_t length;
    uint32_t distance_code;
    uint32_t distance_extra = 0;  // the value of its extra bits
};
struct deflate_block {
    block_code code = block_code::fixed;
    bytes raw;
    std::vector<deflate_copy> copies;  // in order, not overlapping; none when stored
};
// The blocks in one zlib stream, the last one final.
bytes zlib_blocks(const std::vector<deflate_block>& blocks);
// `head` in a stored block, then a final dynamic block that holds one copy of
// `length` bytes (131 to 257: a symbol with 5 extra bits, coded in 15 bits)
// and ends the stream, without Adler-32, after `real_extra` (0 to 5) of its
// extra bits: the rest of them, its distance (code 30, a zero bit) and the
// end of the block (a zero bit too) are left to the zero bytes a decoder
// reading past the end may see. `shift` (0 to 8) moves the end of the stream
// by whole bytes, which changes how far ahead a decoder has read there.
bytes zlib_copy_at_end(const bytes& head, uint32_t length, int real_extra, uint32_t shift);

// A picture (not interlaced) whose rows inflate from zero runs: every filter
// byte and every sample 0.
// About 1 MiB a GiB of rows, so pictures of any declared size stay small.
bytes zero_face(const png_format& format);

// A whole picture of pseudo-random samples.
struct png_layout {
    png_format format;
    uint32_t seed = 1;
    bool palette = false;        // a PLTE chunk (colour 3 always has one)
    bool transparency = false;   // a tRNS chunk
    int idat_pieces = 1;         // the zlib stream split over this many IDAT chunks
    bool empty_first_idat = false;
};
bytes build_png(const png_layout& layout);
