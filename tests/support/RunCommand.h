#pragma once
// Runs a shell command line as a user would, and gives its exit status and everything it
// printed (standard output and standard error together, or apart).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

struct CommandRun {
  int exit;            // -1 when the command did not end normally
  std::string output;  // stdout and stderr
};

// Runs `command` as it stands, its standard output read.
inline CommandRun runShell(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string output;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

inline CommandRun runCommand(const std::string& commandLine) {
  return runShell(commandLine + " 2>&1");
}

struct SplitCommandRun {
  int exit;         // -1 when the command did not end normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// The same with the two streams apart, for what must go to one of them (help on standard
// output, a failure's reason on standard error).
inline SplitCommandRun runCommandSplit(const std::string& commandLine) {
  std::string errorFile = (std::filesystem::temp_directory_path() / "vt-stderr-XXXXXX").string();
  const int fd = mkstemp(errorFile.data());
  if (fd < 0) return {-1, "", "mkstemp failed"};
  close(fd);
  const CommandRun run = runShell("(" + commandLine + ") 2>'" + errorFile + "'");
  std::ifstream in(errorFile, std::ios::binary);
  std::stringstream err;
  err << in.rdbuf();
  std::filesystem::remove(errorFile);
  return {run.exit, run.output, err.str()};
}

}  // namespace testsupport
