// A scanner whose device does not open when the device object reads it: the object is made with a
// zeroed ability record and answers every scan "busy" without calling the driver.
#include <gtest/gtest.h>

#include "ModuleHarness.h"
#include "tests/support/TestLog.h"

namespace icatest {
namespace {

// The driver's search sends four INQUIRY blocks; every later one, the opening's, fails.
const std::string kDescription =
    "serial SIMICA0002\nfault check-condition opcode=0xE2 skip=4 count=0 key=2 asc=0x80 "
    "ascq=0x03\n";

TEST(ModuleOpenFailure, AFailedAbilityReadLeavesAZeroedRecordAndNoScan) {
  fs::path root = testsupport::freshTestFolder("ica-open-failure");
  useSimulator(root, kDescription);
  testlog::Prepare("ica-open-failure-log");
  fs::path resources = makeResources(root / "resources", testDriver());
  setenv("FERROLITE_SCANNER_RESOURCES", resources.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  ModuleUnderTest module;
  Dictionary opened = module.open(0x01100000);
  ASSERT_EQ(module.result(opened), 0);
  ScannerObjectInfo info{};
  ASSERT_TRUE(ica::objectInfoFromBytes(*opened.data(ica::kOutObjectInfo), &info));
  EXPECT_STREQ(info.name, "") << "no model name without the record";
  uint32_t object = module.object(opened);
  EXPECT_TRUE(module.device(object).empty()) << "no functional unit fits an unknown device";
  const size_t mark = testlog::Mark();
  Dictionary area;
  area.set("selectedFunctionalUnitType", 3);
  module.setParameters(object, area);
  EXPECT_EQ(module.result(module.call(ica::kCallStart, object)), kICAScannerBusyErr);
  EXPECT_EQ(testlog::Since(mark), "") << "no driver call";
  module.close(object);
}

}  // namespace
}  // namespace icatest
