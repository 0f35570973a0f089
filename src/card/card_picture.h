// A card's whole picture, from its record's face picture to PNG bytes: the one
// piece of work per card that needs no other card, so any thread may do it.
#pragma once

#include <cstdint>

#include "card/canvas.h"
#include "card/encoder_arena.h"

// Decodes `face` (none when null), draws the card on `canvas` and encodes it
// in `arena` (null: on the heap). Returns the PNG bytes, to be released with
// free(), and their length in `png_len`; null when memory ran out. The face's
// size goes to `face_width` and `face_height` when given: 0 when it did not
// decode.
unsigned char* draw_card_png(card_canvas* canvas, const uint8_t* face, uint32_t face_len, char sex,
                             int* png_len, encoder_arena* arena = nullptr, int* face_width = nullptr,
                             int* face_height = nullptr);
