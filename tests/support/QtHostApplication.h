#pragma once
// A host's Qt application for tests that show windows on Qt's real widgets: made once on the
// main thread before any test, as a host program makes it, so that the adapter runs its windows
// on the host's GUI thread.
//
//   [[maybe_unused]] ::testing::Environment* const gQtHost =
//       ::testing::AddGlobalTestEnvironment(new testsupport::QtHostApplication("my-test"));
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string>

namespace testsupport {

class QtHostApplication : public ::testing::Environment {
 public:
  explicit QtHostApplication(std::string name) : name_(std::move(name)) {}
  void SetUp() override {
    argv_[0] = name_.data();
    application_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { application_.reset(); }

 private:
  std::string name_;
  int argc_ = 1;
  char* argv_[2] = {nullptr, nullptr};
  std::unique_ptr<QApplication> application_;
};

}  // namespace testsupport
