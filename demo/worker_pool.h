// A persistent pool of worker threads, one per core less the caller, created
// on first use and joined at process exit. Owns those threads only; a job is a
// plain function pointer and context, so dispatching a job allocates nothing.
// Workers run with the default floating-point environment.
#pragma once

// Called once on every pool thread and once on the dispatching thread, each
// with its own index in 0 .. worker_pool_thread_count() - 1.
using WORKER_JOB = void (*)(void* context, int thread_index);

// Threads that take part in a job: the workers plus the calling thread.
int worker_pool_thread_count();

// Runs job on every thread and returns when all have finished. The caller's
// own share runs under its current floating-point environment.
void worker_pool_run(WORKER_JOB job, void* context);
