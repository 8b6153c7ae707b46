// The registry by location id: the number a bus and port path give, and the search of the
// process's bus, against simulated scanners placed by their descriptions.
#include <gtest/gtest.h>
#include <vantrel/device_ids.h>

#include <string>

#include "platform/usb/UsbRegistry.h"
#include "sim/SimScanner.h"

namespace {

using namespace usbhost;

TEST(UsbRegistry, LocationIdFromBusAndPortPath) {
  struct {
    uint8_t bus;
    std::vector<uint8_t> ports;
    uint32_t expected;
  } cases[] = {
      {0x14, {}, 0x14000000},
      {0x14, {3}, 0x14300000},
      {0x14, {3, 2}, 0x14320000},
      {0x01, {1, 2, 3, 4, 5, 6}, 0x01123456},
      {0x01, {1, 2, 3, 4, 5, 6, 7}, 0x01123456},  // deeper ports do not fit
      {0x02, {17}, 0x02F00000},                   // a port above 15 keeps the top nibble
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocationIDFromPath(c.bus, c.ports.data(), int(c.ports.size())), c.expected)
        << "bus " << int(c.bus) << ", " << c.ports.size() << " ports";
  }
}

class RegistryOnSimBus : public ::testing::Test {
 protected:
  void SetUp() override { InstallHost(&bus_); }
  void TearDown() override { InstallHost(nullptr); }
  sim::SimBus bus_;
};

TEST_F(RegistryOnSimBus, ScannersAreFoundByTheirLocationIds) {
  sim::Config placed;
  placed.locationId = 0x14320000;
  placed.productId = 0x0311;
  bus_.AddScanner();        // first scanner: bus 1, port 1
  bus_.AddScanner(placed);  // its own place from the description
  bus_.AddScanner();        // third: bus 1, port 3

  std::vector<RegistryEntry> entries;
  ASSERT_EQ(ListRegistry(&entries), kUsbSuccess);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].locationID, 0x01100000u);
  EXPECT_EQ(entries[1].locationID, 0x14320000u);
  EXPECT_EQ(entries[2].locationID, 0x01300000u);

  uint16_t vendor = 0, product = 0;
  ASSERT_TRUE(DeviceIdsByLocationID(0x14320000, &vendor, &product));
  EXPECT_EQ(vendor, vantrel::kSupportedVendorId);
  EXPECT_EQ(product, 0x0311);

  vendor = 0x1234;
  product = 0x5678;
  EXPECT_FALSE(DeviceIdsByLocationID(0x01200000, &vendor, &product));
  EXPECT_EQ(vendor, 0x1234) << "ids stay as they were when nothing matches";
  EXPECT_EQ(product, 0x5678);
}

TEST_F(RegistryOnSimBus, AnUnpluggedScannerLeavesTheRegistry) {
  sim::SimScanner& scanner = bus_.AddScanner();
  uint16_t vendor = 0, product = 0;
  ASSERT_TRUE(DeviceIdsByLocationID(0x01100000, &vendor, &product));
  scanner.Unplug();
  EXPECT_FALSE(DeviceIdsByLocationID(0x01100000, &vendor, &product));
  scanner.Replug();
  EXPECT_TRUE(DeviceIdsByLocationID(0x01100000, &vendor, &product));
}

TEST(SimDescription, LocationIdKey) {
  std::vector<sim::Config> configs;
  std::string error;
  ASSERT_TRUE(sim::ParseDescriptions("location-id 0x14200000\nscanner\n", &configs, &error))
      << error;
  ASSERT_EQ(configs.size(), 2u);
  EXPECT_EQ(configs[0].locationId, 0x14200000u);
  EXPECT_EQ(configs[1].locationId, 0u) << "left for the bus to place";
  EXPECT_FALSE(sim::ParseDescriptions("location-id 0\n", &configs, &error));
  EXPECT_NE(error.find("bad location id"), std::string::npos) << error;
}

}  // namespace
