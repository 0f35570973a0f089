// Plain card colours, chosen by the character's sex letter.
#pragma once

#include <cstdint>

#include "card/canvas.h"

constexpr uint32_t plain_female = 0xFFF6BAF3;  // R 243, G 186, B 246, A 255
constexpr uint32_t plain_male = 0xFFFEC2A8;    // R 168, G 194, B 254, A 255

// Only the exact byte 'F' picks the female colour; any other byte, including
// 'f', gives the male one.
uint32_t plain_colour(char sex);

// Fills every canvas pixel with the plain colour for `sex`.
void fill_card_plain(card_canvas* canvas, char sex);
