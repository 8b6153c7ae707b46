#pragma once
// The system log: syslog(3) in the product. Tests read what was logged in two ways: a capture in
// the same process, or the file named by VANTREL_SYSLOG_FILE (one line per message, for programs
// a test starts; the variable is read on each message).
//
//   foundation::systemLogf(foundation::LogLevel::notice, "--> %s\n", "_ICD_ScannerOpenUSBDevice");
//
//   foundation::SystemLogCapture capture;     // in a test: lines go here instead
//   ...; EXPECT_TRUE(capture.contains("--> _ICD_ScannerOpenUSBDevice"));
//
// Safe to call from any thread.
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// syslog's priorities.
enum class LogLevel : int { error = 3, warning = 4, notice = 5, info = 6, debug = 7 };

void systemLog(LogLevel level, std::string_view text);
void systemLogf(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// While one exists, messages go to it (and nowhere else). One at a time per process.
class SystemLogCapture {
 public:
  struct Line {
    LogLevel level;
    std::string text;  // as logged, trailing line feed included
  };
  SystemLogCapture();
  ~SystemLogCapture();
  SystemLogCapture(const SystemLogCapture&) = delete;
  SystemLogCapture& operator=(const SystemLogCapture&) = delete;

  std::vector<Line> lines() const;
  bool contains(std::string_view text) const;  // in any line

 private:
  friend void systemLog(LogLevel, std::string_view);
  void add(LogLevel level, std::string_view text);
  std::vector<Line> lines_;  // guarded by the module's lock
};

}  // namespace foundation
