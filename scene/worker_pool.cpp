// The worker pool: a function-local static holding the threads, created on
// the first call and joined by its destructor at process exit. Dispatch and
// completion go through two atomics (futex waits), so a job costs no
// allocation and no thread creation.
#include "scene/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cfenv>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#if defined(__EMSCRIPTEN_PTHREADS__) && !defined(VEXA_BROWSER_THREADS)
#define VEXA_BROWSER_THREADS 1 // no workers known to be ready: the caller's thread only
#endif

namespace {

// Beyond this many threads the rows of one picture are too few to share.
constexpr int MAX_POOL_THREADS = 64;

struct WORKER_POOL {
    std::thread workers[MAX_POOL_THREADS - 1];
    int worker_count = 0;
    std::mutex dispatch_lock;
    std::atomic<uint32_t> generation{0};
    std::atomic<int> pending{0};
    bool stopping = false;
    std::atomic<bool> joined{true}; // false between a start and its join
    WORKER_JOB job = nullptr;
    void* job_context = nullptr;

    WORKER_POOL();
    ~WORKER_POOL();
};

// Waiting on the two atomics. On Windows libstdc++ 12 has no native wait
// for std::atomic and its fallback can miss a wake-up (GCC bug 106183), so
// the system's own address wait is used there.
#if defined(_WIN32)
template <typename T> void wait_while(std::atomic<T>& value, T old) {
    while (value.load(std::memory_order_acquire) == old) {
        WaitOnAddress(&value, &old, sizeof(T), INFINITE);
    }
}
template <typename T> void wake_all(std::atomic<T>& value) {
    WakeByAddressAll(&value);
}
#else
template <typename T> void wait_while(std::atomic<T>& value, T old) {
    value.wait(old, std::memory_order_acquire);
}
template <typename T> void wake_all(std::atomic<T>& value) {
    value.notify_all();
}
#endif

// Workers also compute the next frame's picture while the current one is
// being rasterised and presented; running a little below the thread that
// created them lets the GL driver's threads and the X server take the cores
// first, and the workers fill the time they leave. Lowering one's own
// priority needs no privileges; when it fails the worker runs as it is.
#if defined(_WIN32)
void lower_own_priority() {
    // Windows: two steps below the process's class, the lowest of the
    // relative thread priorities that still follow the class.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
}
#else
void lower_own_priority() {
    constexpr int STEPS_BELOW_CREATOR = 10;
    const id_t self = id_t(gettid());
    errno = 0;
    const int inherited = getpriority(PRIO_PROCESS, self);
    if (errno == 0) {
        setpriority(PRIO_PROCESS, self, inherited + STEPS_BELOW_CREATOR);
    }
}
#endif

void worker_main(WORKER_POOL* pool, int index) {
    // A new thread inherits its creator's SSE control word; the kernels need
    // round-to-nearest without flush-to-zero to match the reference bit for bit.
    std::fesetenv(FE_DFL_ENV);
    lower_own_priority();
    uint32_t seen = 0;
    for (;;) {
        wait_while(pool->generation, seen);
        seen = pool->generation.load(std::memory_order_acquire);
        if (pool->stopping) {
            return;
        }
        pool->job(pool->job_context, index);
        if (pool->pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            wake_all(pool->pending);
        }
    }
}

WORKER_POOL::WORKER_POOL() {
#if defined(__EMSCRIPTEN_PTHREADS__)
    // A browser thread runs only once the page has a worker ready for it; the
    // page readies min(cores, VEXA_BROWSER_THREADS) - 1 of them before the
    // program starts (scripts/build-web.sh). One asked for beyond those would
    // start only after the frame that waits for it, so the pool stops there.
    int wanted =
        std::min(static_cast<int>(std::thread::hardware_concurrency()), VEXA_BROWSER_THREADS);
#elif defined(__EMSCRIPTEN__)
    // WebAssembly built without threads cannot start one: no workers.
    int wanted = 1;
#else
    int wanted = static_cast<int>(std::thread::hardware_concurrency());
#endif
    if (wanted < 1) {
        wanted = 1;
    }
    if (wanted > MAX_POOL_THREADS) {
        wanted = MAX_POOL_THREADS;
    }
    for (int i = 0; i < wanted - 1; ++i) {
        try {
            workers[i] = std::thread(worker_main, this, i);
        } catch (const std::system_error&) {
            // Out of threads: the pool works with the ones it has (possibly none).
            break;
        }
        ++worker_count;
    }
}

// The caller's share of the started job, then the wait for the workers.
void join_job(WORKER_POOL& p) {
    p.job(p.job_context, p.worker_count);
    for (int left = p.pending.load(std::memory_order_acquire); left != 0;
         left = p.pending.load(std::memory_order_acquire)) {
        wait_while(p.pending, left);
    }
    p.joined = true;
    p.dispatch_lock.unlock();
}

WORKER_POOL::~WORKER_POOL() {
    // A job still running at exit (a picture started in the background) is
    // finished first: its workers write into memory that outlives them, and
    // the dispatch lock must not be destroyed while held.
    if (!joined) {
        join_job(*this);
    }
    stopping = true;
    generation.fetch_add(1, std::memory_order_release);
    wake_all(generation);
    for (int i = 0; i < worker_count; ++i) {
        workers[i].join();
    }
}

WORKER_POOL& pool() {
    static WORKER_POOL instance;
    return instance;
}

} // namespace

int worker_pool_thread_count() {
    return pool().worker_count + 1;
}

void worker_pool_start(WORKER_JOB job, void* context) {
    WORKER_POOL& p = pool();
    // Held until the matching join, so no other job can take the pool meanwhile.
    p.dispatch_lock.lock();
    p.joined = false;
    p.job = job;
    p.job_context = context;
    p.pending.store(p.worker_count, std::memory_order_relaxed);
    p.generation.fetch_add(1, std::memory_order_release);
    wake_all(p.generation);
}

void worker_pool_join() {
    WORKER_POOL& p = pool();
    if (!p.joined) {
        join_job(p);
    }
}

bool worker_pool_busy() {
    return !pool().joined.load(std::memory_order_acquire);
}

void worker_pool_run(WORKER_JOB job, void* context) {
    worker_pool_start(job, context);
    worker_pool_join();
}
