// Drawing a card picture from a decoded face picture.
#pragma once

#include <cstdint>

#include "card/canvas.h"

// Where the trimmed face picture lands on the canvas, and which part of the
// picture is drawn.
struct card_layout {
    int left;      // L: fully background columns counted in the left third
    int right;     // R: same for the right third
    int top;       // T: fully background rows counted in the top third
    int width;     // W' = W - L - R
    int height;    // H' = H - T
    int fit_x, fit_y, fit_w, fit_h;  // fitted region on the canvas
};

// Measures the trimming and the fitted region for a W x H picture (W, H >= 1).
void measure_card_layout(const uint32_t* pixels, int w, int h, card_layout* out);

// Draws the card: the plain colour when `pixels` is null or a dimension is 0,
// otherwise the trimmed picture scaled onto a background of its top-left pixel.
// Takes ownership of `pixels` (from stb_image) and releases them.
void compose_card(card_canvas* canvas, unsigned char* pixels, int w, int h, char sex);
