// Replacements of malloc, calloc, realloc and operator new that count while a
// test has armed them (see alloc_counter.h). Owns the armed flags and the
// count. free and operator delete stay the C library's: the replacements
// return its own blocks (glibc's, or Emscripten's dlmalloc, which offers the
// same __libc_ names).
#include "tests/support/alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) ||                               \
    !(defined(__GLIBC__) || defined(__EMSCRIPTEN__))
// Sanitizers own malloc; without glibc or Emscripten's C library (MinGW's C
// runtime) there is no internal allocator to hand the replaced calls to.
#define VEXA_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define VEXA_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef VEXA_COUNT_ALLOCATIONS
#define VEXA_COUNT_ALLOCATIONS 1
#endif

namespace {

// Armed per thread, so that threads a test did not ask about never count,
// or for the whole process while a test watches its worker threads too.
thread_local bool armed_here = false;
std::atomic<bool> armed_everywhere{false};
std::atomic<unsigned long> allocations{0};

// Unused where allocations are not counted (no replacements below).
[[maybe_unused]] inline void note_allocation() {
    if (armed_here || armed_everywhere.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace

namespace alloc_counter {

bool available() {
    return VEXA_COUNT_ALLOCATIONS != 0;
}

void start(bool all_threads) {
    allocations.store(0);
    armed_here = true;
    armed_everywhere.store(all_threads);
}

unsigned long stop() {
    armed_here = false;
    armed_everywhere.store(false);
    return allocations.load();
}

} // namespace alloc_counter

#if VEXA_COUNT_ALLOCATIONS
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);
extern "C" void __libc_free(void* p);

extern "C" void* malloc(size_t size) {
    note_allocation();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    note_allocation();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, size_t size) {
    note_allocation();
    return __libc_realloc(p, size);
}
void* operator new(size_t size) {
    note_allocation();
    void* p = __libc_malloc(size ? size : 1);
    if (!p) {
        throw std::bad_alloc();
    }
    return p;
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    note_allocation();
    return __libc_malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    __libc_free(p);
}
void operator delete[](void* p) noexcept {
    __libc_free(p);
}
void operator delete(void* p, size_t) noexcept {
    __libc_free(p);
}
void operator delete[](void* p, size_t) noexcept {
    __libc_free(p);
}
#endif
