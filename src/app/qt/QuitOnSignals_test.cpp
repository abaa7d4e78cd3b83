#include "app/qt/QuitOnSignals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace sm {
namespace {

// How a child process ends that makes a guard, receives `during` while it stands and `after` once it
// is gone, then exits 0: the exit status, or 128 + the signal that ended it.
int endOfChild(int during, int after) {
    const pid_t child = ::fork();
    if (child == 0) {
        {
            QuitOnSignals guard;
            if (during != 0) ::raise(during);
        }
        if (after != 0) ::raise(after);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

TEST(QuitOnSignals, AQuitSignalAsksForTheOrderlyEndAndOneStillComingAfterItIsNotFatal) {
    struct Case {
        const char* what;
        int during, after;
    } cases[] = {
        {"a hang-up while it stands", SIGHUP, 0},
        {"a burst's last hang-up after the end", SIGHUP, SIGHUP},
        {"a logout's terminate after the end", SIGHUP, SIGTERM},
    };
    for (const Case& c : cases)
        EXPECT_EQ(endOfChild(c.during, c.after), 0) << c.what;
}

} // namespace
} // namespace sm
