#include "platform/foundation/SystemLog.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/foundation/StringFormat.h"

namespace foundation {
namespace {

constexpr const char* kLogFileVariable = "VANTREL_SYSLOG_FILE";

std::mutex gMutex;
SystemLogCapture* gCapture = nullptr;  // guarded by gMutex

// One write per line, so lines of several threads and processes never interleave.
void appendToFile(const char* path, LogLevel level, std::string_view text) {
  std::string line = std::to_string(static_cast<int>(level)) + " ";
  line.append(text);
  if (line.empty() || line.back() != '\n') line += '\n';
  int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t ignored = ::write(fd, line.data(), line.size());
  (void)ignored;
  ::close(fd);
}

}  // namespace

void systemLog(LogLevel level, std::string_view text) {
  {
    std::lock_guard lock(gMutex);
    if (gCapture) {
      gCapture->add(level, text);
      return;
    }
  }
  const char* file = std::getenv(kLogFileVariable);
  if (file && *file) {
    appendToFile(file, level, text);
    return;
  }
  syslog(static_cast<int>(level), "%.*s", static_cast<int>(text.size()), text.data());
}

void systemLogf(LogLevel level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = stringWithFormatV(format, args);
  va_end(args);
  systemLog(level, text);
}

SystemLogCapture::SystemLogCapture() {
  std::lock_guard lock(gMutex);
  assert(!gCapture && "one system-log capture at a time");
  gCapture = this;
}

SystemLogCapture::~SystemLogCapture() {
  std::lock_guard lock(gMutex);
  if (gCapture == this) gCapture = nullptr;
}

void SystemLogCapture::add(LogLevel level, std::string_view text) {
  lines_.push_back({level, std::string(text)});
}

std::vector<SystemLogCapture::Line> SystemLogCapture::lines() const {
  std::lock_guard lock(gMutex);
  return lines_;
}

bool SystemLogCapture::contains(std::string_view text) const {
  std::lock_guard lock(gMutex);
  for (const Line& line : lines_) {
    if (line.text.find(text) != std::string::npos) return true;
  }
  return false;
}

}  // namespace foundation
