// The one translation unit that compiles stb_image and stb_image_write. Only
// PNG is decoded; every other stb setting keeps its default.
//
// stb_image takes its memory from the allocator in stb_alloc.h: zero-filled,
// and held to a budget while a face is decoded. stb_image_write takes its
// memory from the drawing thread's encoder arena (encoder_arena.h), since it
// does not check what it gets.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_MALLOC(size) stb_alloc(size)
#define STBI_REALLOC(block, size) stb_realloc(block, size)
#define STBI_FREE(block) stb_free(block)
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBIW_MALLOC(size) encoder_alloc(size)
#define STBIW_REALLOC(block, size) encoder_realloc(block, size)
#define STBIW_FREE(block) encoder_free(block)

#include "card/encoder_arena.h"
#include "card/stb_alloc.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
