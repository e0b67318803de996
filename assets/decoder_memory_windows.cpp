// vexa-decode.exe only: the memory limit checked by the program itself on
// every large allocation, as Windows checks the Job object's limit. Wine
// accepts the job's limit without enforcing it, so a forged size would
// otherwise be allocated and touched before the caller's 20 ms watch saw
// it; with this check the allocation fails at once and the decoder answers
// as it does on Linux and Windows (std::bad_alloc, "ran out of its N MB",
// or the reader's own refusal). Owns nothing.
#include <windows.h>

#include <psapi.h>

#include <cstdint>
#include <cstdlib>
#include <new>

// Set by decoder_main from --memory (decoder_platform_windows.cpp); 0: no check.
extern uint64_t decoder_memory_limit;

namespace {

// Small blocks come from memory already counted; only a block of at least
// this size asks the system what the process has committed.
constexpr size_t LARGE = size_t(1) << 20;

bool within_limit(size_t size) {
    if (size < LARGE || decoder_memory_limit == 0) {
        return true;
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return true;
    }
    return uint64_t(counters.PagefileUsage) + size <= decoder_memory_limit;
}

void* allocate(size_t size) {
    void* p = within_limit(size) ? std::malloc(size ? size : 1) : nullptr;
    if (!p) {
        throw std::bad_alloc();
    }
    return p;
}

} // namespace

void* operator new(size_t size) {
    return allocate(size);
}
void* operator new[](size_t size) {
    return allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return within_limit(size) ? std::malloc(size ? size : 1) : nullptr;
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return within_limit(size) ? std::malloc(size ? size : 1) : nullptr;
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
