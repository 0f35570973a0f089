#include "card/card_picture.h"

#include "card/composer.h"
#include "card/face_decoder.h"
#include "card/png_encoder.h"

unsigned char* draw_card_png(card_canvas* canvas, const uint8_t* face, uint32_t face_len, char sex,
                             int* png_len, encoder_arena* arena, int* face_width, int* face_height) {
    unsigned char* pixels = nullptr;
    int w = 0;
    int h = 0;
    face_hold hold{0, false};
    if (face && face_len != 0) pixels = decode_face(face, face_len, &w, &h, &hold);
    if (face_width) *face_width = pixels ? w : 0;
    if (face_height) *face_height = pixels ? h : 0;
    compose_card(canvas, pixels, w, h, sex);  // frees the picture
    release_face_hold(&hold);
    return encode_card_png(canvas, arena, png_len);
}
