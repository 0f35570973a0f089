#include "card/png_encoder.h"

unsigned char* encode_card_png(const card_canvas* canvas, int* length) {
    return stbi_write_png_to_mem(reinterpret_cast<const unsigned char*>(canvas->pixels),
                                 card_row_bytes, card_width, card_height, 4, length);
}
