// The memory stb_image_write encodes a card canvas in.
//
// stb_image_write checks its allocations only with assert, which a release
// build drops: a failed malloc in the middle of an encoding makes it read or
// write through a null or short block. So the encoder never takes memory from
// the heap mid-run: each drawing thread reserves, once, an arena large enough
// for the worst canvas (measured: noise, which no deflate match shortens, on
// a 64-bit build), and the encoder's blocks come from it. Should a block still
// not fit, it comes from the heap; should the heap fail too, the encoding is
// abandoned (longjmp back to encode_card_png, which frees everything it took)
// and yields no PNG, a card that fails in words, never a crash.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>

// Blocks are handed out in steps of 16 bytes; those up to this size go back
// to a free list of their size and are used again (the hash chains of the
// deflate coder grow block by block, thousands of times per card).
constexpr size_t arena_step = 16;
constexpr size_t arena_small_max = 1024;
// The deflate coder's hash chains grow from 2 to 5, 11 and 23 entries (a
// pointer each, after two ints of count and capacity) and never further: each
// small block is handed out at that largest size at once, so that a chain
// grows in place instead of leaving three smaller blocks behind (16,384
// chains a card).
constexpr size_t arena_min_block = (23 * sizeof(void*) + 2 * sizeof(int) + arena_step - 1) / arena_step * arena_step;

// The worst canvas holds 4.0 MiB of blocks at a time on a 64-bit build (its
// 16,384 hash chains of pointers above all), 2.4 MiB on a 32-bit one; with the
// output's growth and the headers the arena's high mark is 4.8 MiB (64-bit).
// A third more: 6.5 MiB.
constexpr size_t encoder_arena_bytes = size_t(13) << 19;

struct encoder_arena {
    uint8_t* base;   // reserved once; null: every block comes from the heap
    size_t size;
    size_t top;      // bytes of the arena handed out since the encoding began
    size_t newest;   // offset of the newest block, which may grow in place
    size_t high;     // the most `top` reached, for measuring
    void* free_lists[arena_small_max / arena_step];
    void* heap_blocks;    // blocks taken from the heap, freed when the encoding ends
    uint64_t heap_bytes;  // how much came from the heap (0 when the arena sufficed)
    std::jmp_buf* abandon;
    // For tests: the allocation, counted from 1 in each encoding, that fails
    // as if memory ran out; 0 for none. `allocations` counts them.
    uint32_t fail_at;
    uint32_t allocations;
};

// Reserves the arena's storage; false, with none held, when the system gives
// none (the arena then serves every block from the heap).
bool encoder_arena_reserve(encoder_arena* arena);
void encoder_arena_release(encoder_arena* arena);

// Every block the calling thread's encoder asks for between these comes from
// `arena`; abandoning the encoding long-jumps to `abandon`. The end frees the
// heap blocks and makes the whole arena free again.
void encoder_arena_begin(encoder_arena* arena, std::jmp_buf* abandon);
void encoder_arena_end(encoder_arena* arena);

// STBIW_MALLOC, STBIW_REALLOC and STBIW_FREE: from the open arena, or plain
// malloc, realloc and free when none is open.
void* encoder_alloc(size_t n);
void* encoder_realloc(void* block, size_t n);
void encoder_free(void* block);
