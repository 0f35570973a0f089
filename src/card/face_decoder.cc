#include "card/face_decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include <stb/stb_image.h>

#include "base/byte_reader.h"
#include "card/deflate_check.h"
#include "card/shared_budget.h"
#include "card/stb_alloc.h"

// The blocks stb_image 2.27 holds, one step of a PNG decode after another (P is
// width x height, S the bytes of a sample, 1 or 2):
//   gathering   the IDAT chunks' bytes, copied into one block that doubles as
//               it grows;
//   inflating   that block, and the inflated rows in a block that starts at
//               stb's own guess of their size (`guess` below) and doubles when
//               the stream gives more: an interlaced picture, whose seven
//               passes add filter bytes and padding of their own, gives up to
//               4 times the guess (5 x 1 at 1 bit; under twice once the guess
//               passes 100 bytes), so the block may double twice;
//   unfiltering the inflated rows, and the image of P x (channels, one more
//               with transparency) samples; interlaced, also the pass being
//               placed, at most half the image;
//   converting  that image and its copy in 4 channels (P x 4 x S);
//   narrowing   16 bits only: the 4-channel image and its 8-bit copy (P x 4).
// Every move of a growing block holds the old and the new block at once.
// Depths below 8 and palettes need no more than 8-bit samples of as many
// channels as stbi_info reports.
uint64_t face_decode_bytes(const face_header& header, uint32_t png_len) {
    const uint64_t pixels = uint64_t(header.width) * header.height;
    const uint64_t sample = header.sixteen_bits ? 2 : 1;
    const uint64_t guess = (uint64_t(header.width) * header.channels * sample + 1) * header.height;
    const uint64_t image = pixels * std::min<uint64_t>(header.channels + 1, 4) * sample;
    const uint64_t rgba = pixels * 4 * sample;
    const uint64_t gathered = 2 * uint64_t(png_len) + 4096;  // 4096: the block's first size

    const uint64_t gathering = gathered + png_len;
    const uint64_t inflating = gathered + 2 * guess + 4 * guess;
    const uint64_t unfiltering = 4 * guess + image + image / 2;
    const uint64_t converting = image + rgba;
    const uint64_t narrowing = header.sixteen_bits ? rgba + pixels * 4 : 0;
    return std::max({gathering, inflating, unfiltering, converting, narrowing});
}

uint64_t face_pixel_bytes(const uint8_t* png, uint32_t png_len) {
    // Signature (8), then the IHDR chunk: length (4), type (4), width and
    // height (4 each, big-endian), bit depth (1).
    static const uint8_t opening[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                        0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    const byte_view v{png, png_len};
    uint32_t width = 0, height = 0, depth = 0;
    if (!bytes_fit(v, 0, sizeof opening) || std::memcmp(png, opening, sizeof opening) != 0 ||
        !read_be32(v, 16, &width) || !read_be32(v, 20, &height) || !read_u8(v, 24, &depth))
        return 0;
    // Sides past 2^24 are refused by the decoder; the product stays in 64 bits.
    if (width > (1u << 24) || height > (1u << 24)) return UINT64_MAX;
    return uint64_t(width) * height * 4 * (depth == 16 ? 2 : 1);
}

uint64_t face_stream_bytes(const uint8_t* png, uint32_t png_len) {
    const byte_view v{png, png_len};
    uint32_t width = 0, height = 0, depth = 0, colour = 0, interlace = 0;
    if (face_pixel_bytes(png, png_len) == 0 || !read_be32(v, 16, &width) || !read_be32(v, 20, &height) ||
        !read_u8(v, 24, &depth) || !read_u8(v, 25, &colour) || !read_u8(v, 28, &interlace))
        return 0;
    // Samples a pixel by colour type: grey, -, RGB, palette, grey + alpha, -, RGBA.
    static const uint32_t samples[7] = {1, 1, 3, 1, 2, 1, 4};
    const uint64_t bits = uint64_t(depth) * (colour < 7 ? samples[colour] : 4);
    auto rows = [bits](uint64_t w, uint64_t h) { return w == 0 ? 0 : h * ((w * bits + 7) / 8 + 1); };
    if (interlace == 0) return rows(width, height);
    // Adam7: each pass's first column and row, and its steps.
    static const uint32_t x0[7] = {0, 4, 0, 2, 0, 1, 0}, y0[7] = {0, 0, 4, 0, 2, 0, 1},
                          dx[7] = {8, 8, 4, 4, 2, 2, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    uint64_t total = 0;
    for (int p = 0; p < 7; ++p)
        total += rows((uint64_t(width) + dx[p] - 1 - x0[p]) / dx[p], (uint64_t(height) + dy[p] - 1 - y0[p]) / dy[p]);
    return total;
}

namespace {

// One decode held to `limit` bytes; `refused` tells whether it asked for more.
unsigned char* decode_within(const uint8_t* png, int len, uint64_t limit, int* width, int* height,
                             bool* refused) {
    int channels = 0;
    decode_budget budget{limit, 0, 0, false};
    begin_decode_budget(&budget);
    unsigned char* pixels = stbi_load_from_memory(png, len, width, height, &channels, 4);
    end_decode_budget();
    *refused = budget.refused;
    return pixels;
}

// The decode, holding in `held` what the picture holds of the shared budget.
unsigned char* decode_and_hold(const uint8_t* png, uint32_t png_len, int* width, int* height,
                               face_hold* held) {
    if (png_len > uint32_t(INT_MAX)) return nullptr;  // stb takes the length as an int
    const int len = int(png_len);
    int w = 0, h = 0, channels = 0;
    // A header the decoder cannot read is a picture it would refuse.
    if (!stbi_info_from_memory(png, len, &w, &h, &channels)) return nullptr;
    const face_header header{uint32_t(w), uint32_t(h), uint32_t(channels),
                             stbi_is_16_bit_from_memory(png, len) != 0};
    const uint64_t promised = face_decode_bytes(header, png_len);
    if (promised > face_decode_budget) return nullptr;
    // Distance codes 30 and 31 would make stb copy bytes it never wrote.
    if (uses_undefined_distance(png, png_len)) return nullptr;

    // First with what the header promised, beside other decodes; a stream that
    // wants more is tried again alone with the whole budget, as if it were the
    // run's only decode. A decode that got every block it asked for gives the
    // same pixels either way.
    shared_budget_take(promised, face_decode_budget);
    *held = face_hold{promised, false};
    bool refused = false;
    unsigned char* pixels = decode_within(png, len, promised, width, height, &refused);
    if (!refused) return pixels;
    stbi_image_free(pixels);  // null in practice: stb fails on a refused block
    release_face_hold(held);
    shared_budget_take_all();
    *held = face_hold{0, true};
    return decode_within(png, len, face_decode_budget, width, height, &refused);
}

}  // namespace

void release_face_hold(face_hold* hold) {
    if (hold->whole) shared_budget_give_all();
    else if (hold->bytes != 0) shared_budget_give(hold->bytes);
    *hold = face_hold{0, false};
}

unsigned char* decode_face(const uint8_t* png, uint32_t png_len, int* width, int* height,
                           face_hold* hold) {
    face_hold held{0, false};
    unsigned char* pixels = decode_and_hold(png, png_len, width, height, &held);
    // A picture that is not kept needs no budget.
    if (!pixels || !hold) release_face_hold(&held);
    if (hold) *hold = held;
    return pixels;
}
