#pragma once
// A test case in a child process of its own, for cases that set what a process sets only
// once (a default implementation, a registration): a repeated or shuffled run then starts
// each time from a fresh process, and nothing the case sets reaches the cases after it.
// The child's failed expectations print as usual and make it exit with 1, which fails the
// case in the parent.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace vendor_test {

template <typename Body>
void runInChildProcess(Body body) {
  // The binder stand-in and the services keep threads: the child starts from a fresh exec.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        body();
        std::fflush(nullptr);
        std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace vendor_test
