#pragma once
// A services object in a folder of its own: a log folder (VANTREL_LOG_ROOT) and a bundle folder
// with its resource folder holding the shipped "DSDebug.plist", a fixed clock, and the log file
// read back as bytes or as lines.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ds/scan/common/TezFRLCommon.h"
#include "platform/foundation/TextFile.h"
#include "tests/support/TestFolder.h"

namespace ferrolite_test {

class FixedClock final : public ferrolite::Clock {
 public:
  explicit FixedClock(ferrolite::CivilTime time) : time_(time) {}
  ferrolite::CivilTime now() const override { return time_; }

 private:
  ferrolite::CivilTime time_;
};

// Today at 09:07:03.045: the day is the real one, so that a log made now is not taken for one
// of another day.
inline ferrolite::CivilTime morningOfToday() {
  ferrolite::CivilTime t = ferrolite::SystemClock().now();
  t.hour = 9;
  t.minute = 7;
  t.second = 3;
  t.millisecond = 45;
  return t;
}

inline std::vector<uint8_t> fileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The log's text without its byte-order mark (which must be there), as UTF-8.
inline std::string logText(const std::filesystem::path& file) {
  const std::vector<uint8_t> bytes = fileBytes(file);
  EXPECT_GE(bytes.size(), 2u);
  if (bytes.size() < 2) return {};
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  EXPECT_EQ(bytes.size() % 2, 0u);
  std::u16string units;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(char16_t(bytes[i] | bytes[i + 1] << 8));
  }
  return foundation::toUtf8(units);
}

// The lines of the log without their time stamps ("HH:mm:ss.SSS ==> " is checked).
inline std::vector<std::string> logLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  const std::string text = logText(file);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    EXPECT_NE(end, std::string::npos) << "the last line has no line feed";
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    EXPECT_GE(line.size(), 17u) << line;
    EXPECT_EQ(line.substr(12, 5), " ==> ") << line;
    lines.push_back(line.size() >= 17 ? line.substr(17) : line);
    start = end + 1;
  }
  return lines;
}

class CommonFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testsupport::freshTestFolder(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    logFolder_ = root_ / "DrvLog";
    bundle_ = root_ / "Ferrolite";
    resources_ = bundle_ / "Resources";
    std::filesystem::create_directories(logFolder_);
    std::filesystem::create_directories(resources_);
    std::filesystem::copy_file(VT_DS_DEBUG_NAMES, resources_ / "DSDebug.plist");
    setenv("VANTREL_LOG_ROOT", logFolder_.c_str(), 1);
    ferrolite::gDebugImage = 0;
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  // A services object at the given level, its paths set as the data source sets them.
  std::unique_ptr<ferrolite::TezFRLCommon> makeCommon(int level,
                                                      ferrolite::CivilTime now = morningOfToday(),
                                                      int privateDebug = 0) {
    auto common = std::make_unique<ferrolite::TezFRLCommon>(std::make_shared<FixedClock>(now));
    common->setDebugLevel(level);
    common->setPrivateDebug(privateDebug);
    common->setDS_ResourcePath(bundle_, resources_);
    return common;
  }
  std::filesystem::path twainLog() const { return logFolder_ / "twainlog.txt"; }

  std::filesystem::path root_, logFolder_, bundle_, resources_;
};

}  // namespace ferrolite_test
