#include "card/colours.h"

uint32_t plain_colour(char sex) { return sex == 'F' ? plain_female : plain_male; }

void fill_card_plain(card_canvas* canvas, char sex) {
    const uint32_t colour = plain_colour(sex);
    for (uint32_t& pixel : canvas->pixels) pixel = colour;
}
