// The worker pool's split dispatch: a started job runs on the workers while
// the caller goes on, and the join runs the caller's share and waits.
#include "scene/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

struct COUNTING_JOB {
    std::vector<std::atomic<int>> runs_per_index;
    std::atomic<int> caller_runs{0};
    std::thread::id caller;
    explicit COUNTING_JOB(int threads) : runs_per_index(size_t(threads)) {}
};

void count_run(void* context, int index) {
    auto& job = *static_cast<COUNTING_JOB*>(context);
    job.runs_per_index[size_t(index)].fetch_add(1);
    if (std::this_thread::get_id() == job.caller) {
        job.caller_runs.fetch_add(1);
    }
}

} // namespace

TEST(worker_pool, started_job_runs_once_per_thread_and_the_caller_share_runs_in_join) {
    const int threads = worker_pool_thread_count();
    ASSERT_GE(threads, 1);
    COUNTING_JOB job(threads);
    job.caller = std::this_thread::get_id();
    worker_pool_start(count_run, &job);
    // The caller's index is the last one and has not run before the join.
    EXPECT_EQ(job.runs_per_index[size_t(threads - 1)].load(), 0);
    EXPECT_EQ(job.caller_runs.load(), 0);
    worker_pool_join();
    for (int i = 0; i < threads; ++i) {
        EXPECT_EQ(job.runs_per_index[size_t(i)].load(), 1) << "thread index " << i;
    }
    EXPECT_EQ(job.caller_runs.load(), 1);

    // A join with nothing started returns at once, and the pool takes the
    // next job as usual.
    worker_pool_join();
    COUNTING_JOB again(threads);
    again.caller = std::this_thread::get_id();
    worker_pool_run(count_run, &again);
    for (int i = 0; i < threads; ++i) {
        EXPECT_EQ(again.runs_per_index[size_t(i)].load(), 1) << "thread index " << i;
    }
}

namespace {

struct NICE_JOB {
    std::vector<int> nice_per_index;
};

#if defined(_WIN32)
// Windows thread priorities rise with the number, nice values fall: recorded
// as minus the priority, a worker sits 2 steps (THREAD_PRIORITY_LOWEST) below.
constexpr int STEPS_BELOW = 2;
void record_nice(void* context, int index) {
    const int value = GetThreadPriority(GetCurrentThread());
    static_cast<NICE_JOB*>(context)->nice_per_index[size_t(index)] =
        value == THREAD_PRIORITY_ERROR_RETURN ? 100 : -value;
}
#else
constexpr int STEPS_BELOW = 10;
void record_nice(void* context, int index) {
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, id_t(gettid()));
    static_cast<NICE_JOB*>(context)->nice_per_index[size_t(index)] = errno == 0 ? value : 100;
}
#endif

} // namespace

// The workers also compute in the background while the GL driver works, so
// they run below the threads that started them.
TEST(worker_pool, workers_run_below_the_calling_thread) {
    const int threads = worker_pool_thread_count();
    if (threads < 2) {
        GTEST_SKIP() << "no workers on a single core";
    }
    NICE_JOB job{std::vector<int>(size_t(threads), 100)};
    worker_pool_run(record_nice, &job);
    const int caller = job.nice_per_index[size_t(threads - 1)];
    ASSERT_NE(caller, 100);
    for (int i = 0; i + 1 < threads; ++i) {
        EXPECT_EQ(job.nice_per_index[size_t(i)],
                  caller + STEPS_BELOW > 19 ? 19 : caller + STEPS_BELOW)
            << "worker " << i;
    }
}
