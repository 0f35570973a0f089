// Decoding the face picture of a character record with stb_image: PNG only,
// 8-bit RGBA, row-major, top row first, as stbi_load_from_memory gives it for
// 4 requested channels.
//
// Face pictures come from strangers. A picture whose decoding would need more
// memory than the budget below is not decoded at all (its header says how
// much), and a decode is held to the budget while it runs, so a deflate stream
// that inflates far past what its header promised fails early. Either way the
// result is null, as for any picture the decoder refuses, and the card is
// drawn plain.
#pragma once

#include <cstdint>

// The most memory one decode may hold at once. A face the games write (about
// 240 x 320) needs about 2 MiB; at 256 MiB an 8-bit RGBA picture of 3300 x
// 3300 pixels still decodes. The fuzzers run with the same budget.
constexpr uint64_t face_decode_budget = uint64_t(256) << 20;

// What the header of a PNG tells about the size of its decoding.
struct face_header {
    uint32_t width;
    uint32_t height;
    uint32_t channels;   // 1 to 4, as stbi_info_from_memory gives them
    bool sixteen_bits;   // 16 bits a sample
};

// The most bytes stb_image can hold at once while decoding a picture with this
// header from `png_len` bytes into 4 channels, whatever the header leaves open
// (interlacing, bit depths below 8, a palette, transparency), provided its
// deflate stream inflates to no more than the picture's own size.
uint64_t face_decode_bytes(const face_header& header, uint32_t png_len);

// The bytes of the picture in 4 channels of 8 bits that the header of `png`
// declares (width x height x 4, twice that at 16 bits a sample): what
// decoding and drawing it costs grows with them. Read off the IHDR chunk,
// which a PNG must open with; 0 for bytes that do not, which the decoder
// refuses at once.
uint64_t face_pixel_bytes(const uint8_t* png, uint32_t png_len);

// The bytes the deflate stream of `png` must inflate to by its IHDR chunk:
// each row (of each interlace pass) with its filter byte. A stream may hold
// more, which stb inflates all the same; 0 for bytes without an IHDR chunk.
uint64_t face_stream_bytes(const uint8_t* png, uint32_t png_len);

// What a decoded picture holds of the decode budget shared by all decodes in
// flight (see shared_budget.h). The picture itself is part of what its header
// promised, so the hold lasts until the picture is freed.
struct face_hold {
    uint64_t bytes;  // a part of the budget
    bool whole;      // the whole of it, after a stream wanted more than promised
};

// The decoded picture, to be released with stbi_image_free; null when `png`
// is no PNG the decoder takes, or needs more than face_decode_budget. With
// `hold`, a picture keeps its part of the shared budget until
// release_face_hold, to be called once the picture is freed; without, the
// part is given back before this returns.
unsigned char* decode_face(const uint8_t* png, uint32_t png_len, int* width, int* height,
                           face_hold* hold = nullptr);
void release_face_hold(face_hold* hold);
