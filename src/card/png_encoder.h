// PNG encoding with stb_image_write.
#pragma once

#include "card/canvas.h"
#include "card/encoder_arena.h"

// stb_image_write defines this function but its header part does not declare
// it, so it is declared here for every caller.
extern "C" unsigned char* stbi_write_png_to_mem(const unsigned char* pixels, int stride_bytes,
                                                int x, int y, int n, int* out_len);

// The canvas as PNG bytes (252 x 352, RGBA, the writer's default settings), to
// be released with free(); null when memory ran out. The encoder works in
// `arena` (see encoder_arena.h); null: on the heap, as safely.
unsigned char* encode_card_png(const card_canvas* canvas, encoder_arena* arena, int* length);
