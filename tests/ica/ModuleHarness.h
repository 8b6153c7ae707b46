#pragma once
// The module under test in this process: its callbacks on an in-process framework, resource
// folders made from the built test resources (the real driver behind "Vantrel.so"), and the
// simulated scanner chosen by a description written here.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ica/ModuleEntry.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ica/Framework.h"
#include "platform/ica/ICADevices.h"
#include "platform/ica/InProcessFramework.h"
#include "platform/usb/UsbHost.h"
#include "tests/support/TestFolder.h"

namespace icatest {

namespace fs = std::filesystem;
using foundation::Dictionary;

// A copy of the built test resources in `folder`, with "Vantrel.so" linked to `driver` (none
// when empty).
inline fs::path makeResources(const fs::path& folder, const fs::path& driver) {
  fs::create_directories(folder);
  for (const auto& entry : fs::directory_iterator(ICA_TEST_RESOURCES)) {
    if (entry.path().filename() == "Vantrel.so") continue;
    fs::copy(entry.path(), folder / entry.path().filename(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing |
                 fs::copy_options::copy_symlinks);
  }
  fs::remove(folder / "Vantrel.so");
  if (!driver.empty()) fs::create_symlink(driver, folder / "Vantrel.so");
  return folder;
}
inline fs::path testDriver() { return fs::path(ICA_TEST_RESOURCES) / "Vantrel.so"; }

// Points the process at a simulated scanner; before anything uses the USB host.
inline void useSimulator(const fs::path& folder, const std::string& description) {
  fs::path file = folder / "scanner.txt";
  std::ofstream(file) << description;
  setenv("VANTREL_SIMULATOR", file.c_str(), 1);
  setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
  usbhost::Host();  // loads the simulator now, so that sim::LoadedScanner() reaches it
}

class ModuleUnderTest {
 public:
  ModuleUnderTest() {
    icamodule::InstallScannerCallbacks();
    icamodule::CreateScannersDictionary();
    framework_ = std::make_unique<ica::InProcessFramework>();
  }
  ~ModuleUnderTest() {
    framework_.reset();
    icamodule::ReleaseScannersDictionary();
  }

  ica::InProcessFramework& framework() { return *framework_; }

  Dictionary call(const char* name, uint32_t object, Dictionary request = {}) {
    request.set(ica::kMsgCall, name);
    request.set(ica::kArgObject, object);
    return framework_->call(request);
  }
  static int64_t result(const Dictionary& response) {
    return response.integer(ica::kMsgResult).valueOr(-32768);
  }
  // Opens the USB device at `location`: the response.
  Dictionary open(uint32_t location) {
    Dictionary request;
    request.set(ica::kMsgCall, ica::kCallOpenUSBDevice);
    request.set(ica::kArgLocationID, location);
    return framework_->call(request);
  }
  static uint32_t object(const Dictionary& response) {
    return uint32_t(response.integer(ica::kArgObject).valueOr(0));
  }
  // Cleans up and closes.
  void close(uint32_t object) {
    call(ica::kCallCleanup, object);
    EXPECT_EQ(result(call(ica::kCallCloseDevice, object)), 0);
  }
  Dictionary setParameters(uint32_t object, const Dictionary& area) {
    Dictionary dict, request;
    dict.set("userScanArea", area);
    request.set(ica::kArgDict, dict);
    return call(ica::kCallSetParameters, object, request);
  }
  // The notifications of one type the module sent, in order.
  std::vector<Dictionary> notes(const char* type) {
    std::vector<Dictionary> found;
    for (const Dictionary& n : framework_->notifications())
      if (n.string(kICANotificationTypeKey).valueOr("") == type) found.push_back(n);
    return found;
  }
  // The documents the page-done notifications named.
  std::vector<std::string> documents() {
    std::vector<std::string> paths;
    for (const Dictionary& n : notes(kICANotificationTypeScannerPageDone))
      paths.push_back(n.string(kICANotificationScannerDocumentNameKey).valueOr(""));
    return paths;
  }
  Dictionary device(uint32_t object) {
    Dictionary response = call(ica::kCallGetParameters, object);
    return response.dictionary(ica::kArgDict)->dictionary("device").valueOr({});
  }

 private:
  std::unique_ptr<ica::InProcessFramework> framework_;
};

}  // namespace icatest
