// The allocator behind stb_image (see stb_impl.cc).
//
// Face pictures come from strangers, so every block stb_image gets is
// zero-filled, the grown part of a reallocation included: whatever a broken
// stream makes the decoder read from memory it never wrote is zero, never
// bytes left over from elsewhere in the process. While a decode budget is
// open on a thread, the blocks that thread's decodes hold at once are limited
// to it, and a request beyond it fails as malloc fails when memory runs out.
// Outside a budget (tests and tools decoding cards) nothing is limited.
#pragma once

#include <cstddef>
#include <cstdint>

struct decode_budget {
    uint64_t limit;  // bytes the decode may hold at once
    uint64_t live;   // bytes it holds now
    uint64_t peak;   // the most it held at once
    bool refused;    // a request was turned down for want of budget
};

// Opens `budget` for the calling thread's stb_image allocations until
// end_decode_budget; budgets do not nest. One per thread, so decodes on
// different threads are held to their own budgets.
void begin_decode_budget(decode_budget* budget);
void end_decode_budget();

// STBI_MALLOC, STBI_REALLOC and STBI_FREE. A block taken inside a budget may be
// freed after it closed (decoded pixels go back through stbi_image_free later).
void* stb_alloc(size_t n);
void* stb_realloc(void* block, size_t n);
void stb_free(void* block);
