#include "card/card_picture.h"

#include "card/composer.h"
#include "card/face_decoder.h"
#include "card/png_encoder.h"

unsigned char* draw_card_png(card_canvas* canvas, const uint8_t* face, uint32_t face_len, char sex,
                             int* png_len, encoder_arena* arena) {
    unsigned char* pixels = nullptr;
    int w = 0;
    int h = 0;
    face_hold hold{0, false};
    if (face && face_len != 0) pixels = decode_face(face, face_len, &w, &h, &hold);
    compose_card(canvas, pixels, w, h, sex);  // frees the picture
    release_face_hold(&hold);
    return encode_card_png(canvas, arena, png_len);
}
