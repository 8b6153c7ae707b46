#pragma once
// Runs a shell command line as a user would, and gives its exit status and everything it
// printed (standard output and standard error together).
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testsupport {

struct CommandRun {
  int exit;            // -1 when the command did not end normally
  std::string output;  // stdout and stderr
};

inline CommandRun runCommand(const std::string& commandLine) {
  const std::string command = commandLine + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string output;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace testsupport
