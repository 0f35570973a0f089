// The card picture: 252 x 352 pixels, one 32-bit word each, rows top to bottom.
//
// A pixel word holds R, G, B, A in its bytes from lowest to highest address,
// the layout stb_image gives for 4 requested channels and stb_image_write takes
// for 4 components, so pixels move between pictures and the canvas as whole
// words. Colour constants below are these words read little-endian.
#pragma once

#include <cstdint>

constexpr int card_width = 252;
constexpr int card_height = 352;
constexpr int card_pixel_count = card_width * card_height;  // 88,704
constexpr int card_row_bytes = card_width * 4;               // 1008

struct card_canvas {
    uint32_t pixels[card_pixel_count];
};
