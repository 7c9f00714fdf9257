#include "platform/system/FileLock.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace floodmark {
namespace {

// How often this thread went to sleep: a waiter that polls sleeps once per poll.
long sleeps() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

// A waiter sleeps until the holder lets go, then has the lock; one whose holder never lets go
// gives up at its deadline. Either way it sleeps once, not once a millisecond as it polled.
TEST(FileLock, WaitsAsleepUntilReleasedOrTheDeadline) {
    fixtures::TempDirectory directory;
    std::string path = directory.file("x.lock");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        FileLock lock(path, 0);
        (void)!write(ready[1], "h", 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        _exit(lock.held() ? 0 : 1);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);

    auto started = std::chrono::steady_clock::now();
    long slept = sleeps();
    {
        FileLock tooShort(path, 0.1);
        EXPECT_FALSE(tooShort.held());
    }
    double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(waited, 0.1);
    EXPECT_LT(waited, 0.25);
    {
        FileLock patient(path, 5);
        EXPECT_TRUE(patient.held());
    }
    EXPECT_LT(sleeps() - slept, 20);  // polling slept about 300 times
    int status = 0;
    waitpid(holder, &status, 0);
    EXPECT_EQ(status, 0);
    close(ready[0]);
    close(ready[1]);
}

}  // namespace
}  // namespace floodmark
