// Runs a test body in a forked child, so that each body sees the plug-in
// as freshly loaded (its globals are process-wide and cannot be reset).
#ifndef VELKCONF_TESTS_SUPPORT_FRESH_PROCESS_H_
#define VELKCONF_TESTS_SUPPORT_FRESH_PROCESS_H_

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

inline void InFreshProcess(const std::function<void()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0) << "fork failed";
  if (pid == 0) {
    body();
    std::fflush(nullptr);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "child died with signal "
                                 << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's failures are printed above";
}

#endif  // VELKCONF_TESTS_SUPPORT_FRESH_PROCESS_H_
