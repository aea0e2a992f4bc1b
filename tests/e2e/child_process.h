// Runs a program as a child process and waits for it with a time limit.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace kwellor::testing {

class ChildProcess {
 public:
  // Starts program with the arguments and this process's environment plus extraEnv
  // ("NAME=value", later entries win); running() is false when it could not start.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& extraEnv = {});
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool running();
  // The exit code once the child has ended within timeoutMs; -1 when killed by a signal;
  // nothing when it still runs.
  std::optional<int> waitExit(int timeoutMs);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

}  // namespace kwellor::testing
