// A persistent pool of worker threads, one per core less the caller, created
// on first use and joined at process exit. Owns those threads only; a job is a
// plain function pointer and context, so dispatching a job allocates nothing.
// Workers run with the default floating-point environment, 10 nice steps
// below the thread that created the pool.
#pragma once

// Called once on every pool thread and once on the dispatching thread, each
// with its own index in 0 .. worker_pool_thread_count() - 1.
using WORKER_JOB = void (*)(void* context, int thread_index);

// Threads that take part in a job: the workers plus the calling thread.
int worker_pool_thread_count();

// Runs job on every thread and returns when all have finished. The caller's
// own share runs under its current floating-point environment.
void worker_pool_run(WORKER_JOB job, void* context);

// The two halves of worker_pool_run, for work that overlaps the caller's:
// start hands job to the workers and returns at once; join runs the caller's
// share (under its current floating-point environment) and waits for the
// workers. Every start must be followed by one join from the same thread
// before the pool takes another job. With no workers the whole job runs in
// join.
void worker_pool_start(WORKER_JOB job, void* context);
void worker_pool_join();

// True between a start and its join: the pool is taken, and work that could
// use it (skinning during the fractal's background picture) had better run on
// the calling thread alone than wait.
bool worker_pool_busy();
