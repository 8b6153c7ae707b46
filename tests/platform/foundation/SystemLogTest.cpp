// The system-log sink: a capture in the process, and the file that programs started by a test
// write to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/foundation/SystemLog.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace foundation;

TEST(SystemLog, ACaptureTakesTheLinesWhileItLives) {
  {
    SystemLogCapture capture;
    systemLogf(LogLevel::notice, "--> %s\n", "_ICD_ScannerOpenUSBDevice");
    systemLog(LogLevel::error, "Load /x/Vantrel.so failed ");
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, LogLevel::notice);
    EXPECT_EQ(lines[0].text, "--> _ICD_ScannerOpenUSBDevice\n");
    EXPECT_EQ(lines[1].level, LogLevel::error);
    EXPECT_TRUE(capture.contains("Vantrel.so failed"));
    EXPECT_FALSE(capture.contains("absent"));
  }
  SystemLogCapture next;
  EXPECT_TRUE(next.lines().empty()) << "a new capture starts empty";
}

TEST(SystemLog, AFileNamedByTheEnvironmentTakesOneLinePerMessage) {
  auto file = testsupport::freshTestFolder("syslog") / "system.log";
  setenv("VANTREL_SYSLOG_FILE", file.c_str(), 1);
  systemLogf(LogLevel::notice, "Scan Done!: counter = %ld", 3L);
  systemLog(LogLevel::warning, "two\n");
  unsetenv("VANTREL_SYSLOG_FILE");
  systemLog(LogLevel::notice, "not in the file");

  EXPECT_EQ(testsupport::ReadFile(file), "5 Scan Done!: counter = 3\n4 two\n");
}

}  // namespace
