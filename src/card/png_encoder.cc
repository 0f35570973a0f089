#include "card/png_encoder.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace {

// Kept apart from encode_card_png's own variables: after a long jump only
// what this frame had before setjmp is read again.
unsigned char* encode_in(const card_canvas* canvas, encoder_arena* arena, int* length) {
    std::jmp_buf abandon;
    encoder_arena_begin(arena, &abandon);
    unsigned char* volatile png = nullptr;
    if (setjmp(abandon) == 0)
        png = stbi_write_png_to_mem(reinterpret_cast<const unsigned char*>(canvas->pixels), card_row_bytes,
                                    card_width, card_height, 4, length);
    // The bytes leave the arena, which the next card reuses, in a block of
    // their own; that one malloc may fail like any other, and then the card.
    unsigned char* copy = png ? static_cast<unsigned char*>(std::malloc(size_t(*length))) : nullptr;
    if (copy) std::memcpy(copy, png, size_t(*length));
    encoder_arena_end(arena);
    if (!copy) *length = 0;
    return copy;
}

}  // namespace

unsigned char* encode_card_png(const card_canvas* canvas, encoder_arena* arena, int* length) {
    *length = 0;
    if (arena) return encode_in(canvas, arena, length);
    encoder_arena heap_only{};
    return encode_in(canvas, &heap_only, length);
}
