#include "card/stb_alloc.h"

#include <cstdlib>
#include <cstring>

namespace {

// Each block starts with its size, so that a free can give it back to the
// budget and a reallocation knows which bytes are new. 16 bytes keep the
// caller's part as aligned as malloc's own blocks.
constexpr size_t header_bytes = 16;

thread_local decode_budget* open_budget = nullptr;

size_t& block_size(void* base) { return *static_cast<size_t*>(base); }

void* base_of(void* block) { return static_cast<unsigned char*>(block) - header_bytes; }

void* user_part(void* base) { return static_cast<unsigned char*>(base) + header_bytes; }

// Whether `more` bytes may be taken on top of what the open budget holds.
bool budget_allows(uint64_t more) {
    if (!open_budget || more <= open_budget->limit - open_budget->live) return true;
    open_budget->refused = true;
    return false;
}

void budget_take(uint64_t n) {
    if (!open_budget) return;
    open_budget->live += n;
    if (open_budget->live > open_budget->peak) open_budget->peak = open_budget->live;
}

// A budget is open on a thread only while one decode runs there, so every
// block freed meanwhile is one that decode took (pixels of an earlier decode
// are freed outside it, and other threads count against their own budgets).
// The clamp merely keeps the count sane should that ever change.
void budget_give(uint64_t n) {
    if (open_budget) open_budget->live -= n < open_budget->live ? n : open_budget->live;
}

}  // namespace

void begin_decode_budget(decode_budget* budget) {
    budget->live = 0;
    budget->peak = 0;
    budget->refused = false;
    open_budget = budget;
}

void end_decode_budget() { open_budget = nullptr; }

void* stb_alloc(size_t n) {
    if (n > SIZE_MAX - header_bytes || !budget_allows(n)) return nullptr;
    void* base = std::calloc(1, header_bytes + n);
    if (!base) return nullptr;
    block_size(base) = n;
    budget_take(n);
    return user_part(base);
}

void* stb_realloc(void* block, size_t n) {
    if (!block) return stb_alloc(n);
    void* base = base_of(block);
    const size_t old = block_size(base);
    // The block may move, and while it is copied both copies are held.
    if (n > SIZE_MAX - header_bytes || !budget_allows(n)) return nullptr;
    void* moved = std::realloc(base, header_bytes + n);
    if (!moved) return nullptr;
    if (n > old) std::memset(static_cast<unsigned char*>(user_part(moved)) + old, 0, n - old);
    block_size(moved) = n;
    budget_take(n);
    budget_give(old);
    return user_part(moved);
}

void stb_free(void* block) {
    if (!block) return;
    void* base = base_of(block);
    budget_give(block_size(base));
    std::free(base);
}
