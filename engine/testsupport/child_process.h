// Running a piece of a test in a child process, for tests that kill or
// crash the process doing the work (crash safety, power loss).
//
// The child is a fork of the test: it shares nothing with the parent from
// then on but the files. fn must end the child itself (_exit), so that the
// test framework never runs on in two processes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

namespace zettest {

// Runs fn in a child process; answers its wait status.
template <typename Fn>
int InChild(Fn fn) {
  const pid_t child = fork();
  if (child == 0) {
    fn();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

}  // namespace zettest
