// The worker pool: a function-local static holding the threads, created on
// the first call and joined by its destructor at process exit. Dispatch and
// completion go through two atomics (futex waits), so a job costs no
// allocation and no thread creation.
#include "demo/worker_pool.h"

#include <atomic>
#include <cfenv>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

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
    WORKER_JOB job = nullptr;
    void* job_context = nullptr;

    WORKER_POOL();
    ~WORKER_POOL();
};

void worker_main(WORKER_POOL* pool, int index) {
    // A new thread inherits its creator's SSE control word; the kernels need
    // round-to-nearest without flush-to-zero to match the reference bit for bit.
    std::fesetenv(FE_DFL_ENV);
    uint32_t seen = 0;
    for (;;) {
        pool->generation.wait(seen, std::memory_order_acquire);
        seen = pool->generation.load(std::memory_order_acquire);
        if (pool->stopping) {
            return;
        }
        pool->job(pool->job_context, index);
        if (pool->pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            pool->pending.notify_one();
        }
    }
}

WORKER_POOL::WORKER_POOL() {
    int wanted = static_cast<int>(std::thread::hardware_concurrency());
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

WORKER_POOL::~WORKER_POOL() {
    stopping = true;
    generation.fetch_add(1, std::memory_order_release);
    generation.notify_all();
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

void worker_pool_run(WORKER_JOB job, void* context) {
    WORKER_POOL& p = pool();
    std::lock_guard<std::mutex> guard(p.dispatch_lock);
    p.job = job;
    p.job_context = context;
    p.pending.store(p.worker_count, std::memory_order_relaxed);
    p.generation.fetch_add(1, std::memory_order_release);
    p.generation.notify_all();

    job(context, p.worker_count);

    for (int left = p.pending.load(std::memory_order_acquire); left != 0;
         left = p.pending.load(std::memory_order_acquire)) {
        p.pending.wait(left, std::memory_order_acquire);
    }
}
