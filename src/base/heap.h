// Objects on the heap without exceptions. libstdc++'s nothrow new throws and
// catches inside, and when the heap ran out before the library could set up
// its emergency pool for exceptions, that throw ends the process. malloc only
// says no, which the caller can tell the user.
#pragma once

#include <cstdlib>
#include <new>

// A value-initialised T, or null when there is no memory for it.
template <class T>
T* heap_new() {
    void* p = std::malloc(sizeof(T));
    return p ? new (p) T() : nullptr;
}

template <class T>
void heap_delete(T* p) {
    if (!p) return;
    p->~T();
    std::free(p);
}

// For std::unique_ptr: heap_new's objects, and malloc'd arrays of plain values.
struct heap_deleter {
    template <class T>
    void operator()(T* p) const { heap_delete(p); }
};
struct malloc_deleter {
    void operator()(void* p) const { std::free(p); }
};
