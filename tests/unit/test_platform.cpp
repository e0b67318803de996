// The platform layer. Linux: the priority raise covers every thread of the
// process, as a priority class does, not just the calling one; closed
// standard descriptors get a file before start-up opens any. Windows (run
// under Wine): the process takes the high priority class.
#include "app/platform.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>

TEST(platform, priority_raise_takes_the_high_class) {
    const DWORD before = GetPriorityClass(GetCurrentProcess());
    ASSERT_TRUE(raise_process_priority());
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), DWORD(HIGH_PRIORITY_CLASS));
    SetPriorityClass(GetCurrentProcess(), before);
}

TEST(platform, no_video_driver_forced_on_windows) {
    EXPECT_EQ(preferred_video_driver(), nullptr);
}
#else

#include "app/runtime.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <chrono>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int nice_of(pid_t tid) {
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, id_t(tid));
    return errno == 0 ? value : 100;
}

// In a forked child (one thread, so the test process's own threads keep
// their priorities): start a thread, raise, and report through the exit
// status whether that thread was raised too. 2 means not allowed here.
int raise_in_child() {
    std::atomic<pid_t> other_tid{0};
    std::atomic<bool> done{false};
    std::thread other([&] {
        other_tid = gettid();
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (other_tid == 0) {
        std::this_thread::yield();
    }
    const bool allowed = raise_process_priority();
    const bool both = nice_of(gettid()) == -10 && nice_of(other_tid) == -10;
    done = true;
    other.join();
    return !allowed ? 2 : both ? 0 : 1;
}

} // namespace

TEST(platform, priority_raise_reaches_threads_that_already_exist) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(raise_in_child());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "raising the priority needs privileges this run does not have";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a thread other than the caller kept its priority";
}

TEST(platform, closed_standard_descriptors_are_filled_before_start_up_opens_anything) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int fd = 0; fd <= 2; ++fd) {
            close(fd);
        }
        // Refused at once (no frame callback), after the descriptors are made valid.
        const bool started = app_startup(APPLICATION{});
        const int next = open("/dev/null", O_RDONLY);
        bool valid = true;
        for (int fd = 0; fd <= 2; ++fd) {
            valid = valid && fcntl(fd, F_GETFD) != -1;
        }
        _exit(!started && valid && next > 2 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a file opened after start-up took descriptor 0, 1 or 2";
}

TEST(platform, x11_video_driver_for_glx) {
    EXPECT_STREQ(preferred_video_driver(), "x11");
}
#endif
