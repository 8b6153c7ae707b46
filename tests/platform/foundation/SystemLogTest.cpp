// The system-log sink: a capture in the process, and the file that programs started by a test
// write to; the formatted text both it and the front ends' paths are made of.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/foundation/StringFormat.h"
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

TEST(StringFormat, TextOfAnyLengthIsWhole) {
  EXPECT_EQ(stringWithFormat("%s/%08x_scan %ld.%s", "/tmp", 42u, 1L, "tiff"),
            "/tmp/0000002a_scan 1.tiff");
  EXPECT_EQ(stringWithFormat("%s", ""), "");
  // Longer than any fixed buffer a path would have been formed in.
  std::string folder(5000, 'f');
  std::string path = stringWithFormat("%s/%s.%s", folder.c_str(), "Invoice", "jpg");
  EXPECT_EQ(path, folder + "/Invoice.jpg");
  SystemLogCapture capture;
  systemLogf(LogLevel::notice, "%s", folder.c_str());
  EXPECT_EQ(capture.lines().at(0).text.size(), folder.size());
}

}  // namespace
