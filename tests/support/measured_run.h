#pragma once

// A program run to its end with its output read through a pipe (as the job runner reads it),
// its wall time and its peak memory measured.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <string>
#include <vector>

namespace vortane::test {

struct MeasuredRun {
  int exitCode = -1;  // -1: it did not end normally
  double seconds = 0;
  long peakKilobytes = 0;
  std::string output;  // standard output and error
};

// argv[0] is looked up on PATH when it has no '/'.
inline MeasuredRun RunMeasured(const std::vector<std::string>& argv) {
  MeasuredRun run;
  int out[2];
  if (pipe(out) != 0) return run;
  QElapsedTimer timer;
  timer.start();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[0]);
    std::vector<char*> args;
    for (const std::string& a : argv)
      args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  char buffer[4096];
  ssize_t got;
  while ((got = read(out[0], buffer, sizeof(buffer))) > 0)
    run.output.append(buffer, size_t(got));
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.seconds = double(timer.nsecsElapsed()) / 1e9;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.peakKilobytes = usage.ru_maxrss;
  return run;
}

}  // namespace vortane::test
