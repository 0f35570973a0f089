#include "card/encoder_arena.h"

#include <cstdlib>
#include <cstring>

namespace {

thread_local encoder_arena* open_arena = nullptr;

// Every block starts with a header of one step: its size in the arena (a
// multiple of the step) or, for a heap block, its size and its neighbours in
// the list of heap blocks.
struct block_header {
    size_t size;
    size_t padding;
};
static_assert(sizeof(block_header) <= arena_step);

struct heap_header {
    heap_header* prev;
    heap_header* next;
    size_t size;
    size_t padding;
};
constexpr size_t heap_header_bytes = 32;
static_assert(sizeof(heap_header) <= heap_header_bytes);

size_t rounded(size_t n) { return (n + arena_step - 1) / arena_step * arena_step; }
size_t block_size_for(size_t n) { return n < arena_min_block ? arena_min_block : rounded(n); }

bool in_arena(const encoder_arena* a, const void* block) {
    const uint8_t* p = static_cast<const uint8_t*>(block);
    return a->base && p >= a->base && p < a->base + a->size;
}

block_header* header_of(void* block) {
    return reinterpret_cast<block_header*>(static_cast<uint8_t*>(block) - arena_step);
}
heap_header* heap_header_of(void* block) {
    return reinterpret_cast<heap_header*>(static_cast<uint8_t*>(block) - heap_header_bytes);
}

[[noreturn]] void give_up(encoder_arena* a) { std::longjmp(*a->abandon, 1); }

void* from_heap(encoder_arena* a, size_t n) {
    if (n > SIZE_MAX - heap_header_bytes) give_up(a);
    heap_header* h = static_cast<heap_header*>(std::malloc(heap_header_bytes + n));
    if (!h) give_up(a);
    h->size = n;
    h->prev = nullptr;
    h->next = static_cast<heap_header*>(a->heap_blocks);
    if (h->next) h->next->prev = h;
    a->heap_blocks = h;
    a->heap_bytes += n;
    return reinterpret_cast<uint8_t*>(h) + heap_header_bytes;
}

void heap_free(encoder_arena* a, void* block) {
    heap_header* h = heap_header_of(block);
    if (h->prev) h->prev->next = h->next;
    else a->heap_blocks = h->next;
    if (h->next) h->next->prev = h->prev;
    std::free(h);
}

void* from_arena(encoder_arena* a, size_t n) {
    const size_t size = block_size_for(n);
    if (size <= arena_small_max && a->free_lists[size / arena_step - 1]) {
        void*& list = a->free_lists[size / arena_step - 1];
        void* block = list;
        list = *static_cast<void**>(block);
        return block;
    }
    const size_t room = a->base ? a->size - a->top : 0;
    if (room < arena_step || size > room - arena_step) return nullptr;
    block_header* h = reinterpret_cast<block_header*>(a->base + a->top);
    h->size = size;
    a->newest = a->top;
    a->top += arena_step + size;
    if (a->top > a->high) a->high = a->top;
    return reinterpret_cast<uint8_t*>(h) + arena_step;
}

void arena_free(encoder_arena* a, void* block) {
    block_header* h = header_of(block);
    if (h->size <= arena_small_max) {
        void*& list = a->free_lists[h->size / arena_step - 1];
        *static_cast<void**>(block) = list;
        list = block;
    } else if (reinterpret_cast<uint8_t*>(h) == a->base + a->newest) {
        a->top = a->newest;  // the newest block goes back whole; older ones wait for the end
    }
}

void* allocate(encoder_arena* a, size_t n) {
    if (++a->allocations == a->fail_at) give_up(a);
    if (void* block = from_arena(a, n)) return block;
    return from_heap(a, n);
}

}  // namespace

bool encoder_arena_reserve(encoder_arena* arena) {
    *arena = encoder_arena{};
    arena->base = static_cast<uint8_t*>(std::malloc(encoder_arena_bytes));
    arena->size = arena->base ? encoder_arena_bytes : 0;
    return arena->base != nullptr;
}

void encoder_arena_release(encoder_arena* arena) {
    std::free(arena->base);
    arena->base = nullptr;
    arena->size = 0;
}

void encoder_arena_begin(encoder_arena* arena, std::jmp_buf* abandon) {
    arena->top = 0;
    arena->newest = 0;
    std::memset(arena->free_lists, 0, sizeof arena->free_lists);
    arena->heap_blocks = nullptr;
    arena->heap_bytes = 0;
    arena->abandon = abandon;
    arena->allocations = 0;
    open_arena = arena;
}

void encoder_arena_end(encoder_arena* arena) {
    for (void* h = arena->heap_blocks; h;) {
        void* next = static_cast<heap_header*>(h)->next;
        std::free(h);
        h = next;
    }
    arena->heap_blocks = nullptr;
    open_arena = nullptr;
}

// Outside encode_card_png (the scene builder's pictures, tools) stb_image_write
// takes plain heap blocks, as it always did.
void* encoder_alloc(size_t n) { return open_arena ? allocate(open_arena, n) : std::malloc(n); }

void* encoder_realloc(void* block, size_t n) {
    encoder_arena* a = open_arena;
    if (!a) return std::realloc(block, n);
    if (!block) return allocate(a, n);
    if (in_arena(a, block)) {
        block_header* h = header_of(block);
        const size_t old = h->size;
        if (rounded(n) <= old) return block;
        // The newest block grows where it stands when the arena has room.
        const size_t at = size_t(reinterpret_cast<uint8_t*>(h) - a->base);
        if (at == a->newest && old > arena_small_max && rounded(n) <= a->size - at - arena_step) {
            if (++a->allocations == a->fail_at) give_up(a);
            h->size = rounded(n);
            a->top = at + arena_step + h->size;
            if (a->top > a->high) a->high = a->top;
            return block;
        }
        void* moved = allocate(a, n);
        std::memcpy(moved, block, old);
        arena_free(a, block);
        return moved;
    }
    const size_t old = heap_header_of(block)->size;
    void* moved = allocate(a, n);
    std::memcpy(moved, block, old < n ? old : n);
    heap_free(a, block);
    return moved;
}

void encoder_free(void* block) {
    encoder_arena* a = open_arena;
    if (!a) return std::free(block);
    if (!block) return;
    if (in_arena(a, block)) arena_free(a, block);
    else heap_free(a, block);
}
