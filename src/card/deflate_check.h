// Whether stb_image 2.27, decoding a PNG, would ever decode deflate distance
// code 30 or 31.
//
// Deflate defines distance codes 0 to 29 only. stb_image 2.27 takes 30 and 31
// as distance 0, so the copy reads output bytes the decoder never wrote and
// the picture is built from them (stb_image 2.28 refuses both codes). Such a
// face is refused before stb_image sees it.
//
// The check inflates the PNG's IDAT stream exactly as 2.27 does (how it
// gathers the IDAT chunks up to IEND, its Huffman tables and their faults
// included, and zero bytes wherever it reads past the end of the data) but
// only counts the bytes it would write. Anything 2.27 would refuse (a chunk
// running off the end, a bad zlib header, bad code lengths, a distance
// reaching before the first byte), the end of the final block, and a count
// past face_decode_budget (where 2.27's own decode runs out of memory) end
// the check with the answer no: the verdict is then stb_image's own.
#pragma once

#include <cstdint>

bool uses_undefined_distance(const uint8_t* png, uint32_t png_len);

// How many bytes that inflation gives before it ends, counting no further than
// just past `limit`: what a stream costs to inflate, which may be far more than
// its header's pixels (stb inflates all of it before it looks at the size).
uint64_t face_inflated_bytes(const uint8_t* png, uint32_t png_len, uint64_t limit);

// How that inflation ends: refused as 2.27 refuses the stream (or, past
// face_decode_budget bytes, as its decode runs out of memory), at the end of
// the final block, or at a distance code 30 or 31. The answer above is the
// last; the first two tell the tests whether the check stops where 2.27 does.
enum class inflate_end { refused, complete, undefined_distance };
inflate_end inflate_like_stb(const uint8_t* png, uint32_t png_len);
