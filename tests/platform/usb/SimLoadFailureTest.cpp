// A simulator that cannot be loaded leaves an empty bus and a reason, never real hardware.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/usb/UsbHost.h"

namespace {

using namespace usbhost;

TEST(SimLoadFailure, MissingLibraryGivesAnEmptyBusAndAReason) {
  ASSERT_EQ(setenv("VANTREL_SIMULATOR", "/nonexistent/scanner.txt", 1), 0);
  ASSERT_EQ(setenv("VANTREL_SIM_LIBRARY", "/nonexistent/libvantrel-sim.so", 1), 0);
  std::vector<std::unique_ptr<UsbDevice>> found;
  EXPECT_NE(Host().FindDevices(0, 0, &found), kUsbSuccess);
  EXPECT_TRUE(found.empty());
  std::string error = HostError();
  EXPECT_NE(error.find("VANTREL_SIMULATOR"), std::string::npos) << error;
  EXPECT_NE(error.find("/nonexistent/libvantrel-sim.so"), std::string::npos) << error;
}

}  // namespace
