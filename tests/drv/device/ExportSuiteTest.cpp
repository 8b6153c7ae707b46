// The driver's client exports, one suite run two ways: through the library loaded at run time
// with its exports looked up by name (as the front ends use it), and through the functions
// linked into this program (where the registry's internals are reachable too). Both drivers
// talk to the one simulated scanner that VANTREL_SIMULATOR names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "DriverExports.h"
#include "SenseCases.h"
#include "TestLog.h"
#include "drv/device/CScannerManager.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "sim/SimScanner.h"
#include "vantrel/kr_api.h"

namespace {
enum class Way { Loaded, Linked };

std::string WayName(Way way) { return way == Way::Loaded ? "Loaded" : "Linked"; }

class ExportSuite : public ::testing::TestWithParam<Way> {
 protected:
  static void SetUpTestSuite() {
    std::string root = testlog::Prepare("export-suite");
    std::string description = root + "scanner.txt";
    std::ofstream(description) << "serial SIMDL00001\nsheets 2\n";
    setenv("VANTREL_SIMULATOR", description.c_str(), 1);
  }

  void SetUp() override {
    if (GetParam() == Way::Loaded) {
      library = testsupport::LoadDriver(VANTREL_LIBRARY_PATH);
      ASSERT_NE(library, nullptr);
      d = testsupport::ExportsOf(*library);
    } else {
      d = testsupport::LinkedExports();
    }
  }

  void TearDown() override {
    if (d.KRTerminateDriver != nullptr) d.KRTerminateDriver(0);
  }

  bool Linked() const { return GetParam() == Way::Linked; }

  // The scanner the driver's host layer loaded; there after the first device search.
  sim::SimScanner& Scanner() {
    sim::SimScanner* s = sim::LoadedScanner();
    EXPECT_NE(s, nullptr);
    return *s;
  }

  // Opens the driver and the first device; returns the handle.
  uint32_t Open(uint32_t ctrl) {
    EXPECT_EQ(d.KRInitializeDriver(ctrl), 0);
    uint32_t handle = 0;
    EXPECT_EQ(d.KRInitializeDevice(ctrl, nullptr, &handle), 0);
    return handle;
  }

  std::unique_ptr<vtclient::KrLibrary> library;
  testsupport::KrExports d;
};

std::string SuiteName(const ::testing::TestParamInfo<Way>& info) { return WayName(info.param); }

struct CtrlCase {
  uint32_t argument;
  uint16_t kept;
};
}  // namespace

INSTANTIATE_TEST_SUITE_P(BothWays, ExportSuite, ::testing::Values(Way::Loaded, Way::Linked),
                         SuiteName);

// The clients' calling order, for each way a controller id is kept: the kept id goes into every
// command block, both kinds of device list are filled, and the second opening resets the device.
TEST_P(ExportSuite, ClientsCallingOrder) {
  for (const CtrlCase c : {CtrlCase{0x0134B6EA, 0xB6EA}, CtrlCase{0x2200, 0x2200},
                           CtrlCase{0x10000, 0x0001}, CtrlCase{0xABCD0000, 0xABCD}}) {
    SCOPED_TRACE(c.argument);
    const uint32_t ctrl = c.argument;
    const uint16_t kept = c.kept;
    ASSERT_EQ(d.KRInitializeDriver(ctrl), 0);
    if (Linked()) {
      EXPECT_EQ(CScannerManager::GetCtrlID(), kept);
      EXPECT_EQ(IoObject::bInquiryCommand[1], kept >> 8);
      EXPECT_EQ(IoObject::bInquiryCommand[2], kept & 0xFF);
    }
    Scanner().ClearCommandLog();

    DEVLIST* list = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(d.KRGetDeviceList(ctrl, &list, &count), 0);
    ASSERT_EQ(count, 1u);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Reserved, 0);
    DeviceInformation* n = list->pDevice;
    EXPECT_STREQ(n->DeviceName, "usb:0xF11E:0x0310:SIMDL00001");
    EXPECT_STREQ(n->VendorName, "SIMVENDOR");
    EXPECT_STREQ(n->ModelName, "SIM-ADF300");
    EXPECT_STREQ(n->SerialNumber, "SIMDL00001");
    EXPECT_STREQ(n->Interface, "usb");
    EXPECT_EQ(n->VID, 0xF11Eu);
    EXPECT_EQ(n->PID, 0x0310u);
    EXPECT_EQ(n->Address, nullptr);
    EXPECT_EQ(n->next, nullptr);
    for (void* block :
         {static_cast<void*>(n->DeviceName), static_cast<void*>(n->VendorName),
          static_cast<void*>(n->ModelName), static_cast<void*>(n->SerialNumber),
          static_cast<void*>(n->Interface), static_cast<void*>(n), static_cast<void*>(list)}) {
      EXPECT_EQ(d.KRMemFree(ctrl, block), 0);
    }
    if (Linked()) {
      EXPECT_EQ(pMemManager->Count(), 0u);
    }

    // The client's own list: one node whose chain the driver must end.
    DeviceInformation node{};
    char name[256], vendor[64], model[64], serial[128], itf[10];
    node.DeviceName = name;
    node.VendorName = vendor;
    node.ModelName = model;
    node.SerialNumber = serial;
    node.Interface = itf;
    node.next = &node;
    DEVLIST header{0xFFFF, &node};
    DEVLIST* given = &header;
    ASSERT_EQ(d.KRGetDeviceList(ctrl, &given, &count), 0);
    EXPECT_EQ(given, &header);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(header.Reserved, 0);
    EXPECT_STREQ(name, "usb:0xF11E:0x0310:SIMDL00001");
    EXPECT_STREQ(itf, "usb");
    EXPECT_EQ(node.next, nullptr);

    uint32_t handle = 0;
    ASSERT_EQ(d.KRInitializeDevice(ctrl, nullptr, &handle), 0);
    EXPECT_EQ(handle, 1u);
    char empty[] = "";
    handle = 0;
    ASSERT_EQ(d.KRInitializeDevice(ctrl, empty, &handle), 0);  // opened already: reset path
    EXPECT_EQ(handle, 1u);
    EXPECT_EQ(d.KRDeviceStatus(ctrl, &handle), 0);
    EXPECT_EQ(d.KRTerminateDevice(ctrl, &handle), 0);
    EXPECT_EQ(d.KRTerminateDevice(ctrl, &handle), 0);
    EXPECT_EQ(d.KRTerminateDriver(ctrl), 0);

    auto log = Scanner().CommandLog();
    ASSERT_FALSE(log.empty());
    size_t senses = 0, resets = 0;
    for (const sim::Exchange& e : log) {
      EXPECT_EQ(e.block[1], kept >> 8) << e.command;
      EXPECT_EQ(e.block[2], kept & 0xFF) << e.command;
      EXPECT_TRUE(e.statusTaken) << e.command;
      senses += e.block[0] == 0xE3;
      resets += e.block[0] == 0xFF;
    }
    EXPECT_EQ(senses, 1u);
    EXPECT_EQ(resets, 1u);
    EXPECT_TRUE(testlog::Contains("=> KRDeviceStatus -------> HDevice = 1"));
    EXPECT_TRUE(testlog::Contains("<= KRDeviceStatus ret=0"));
    EXPECT_TRUE(testlog::Contains("<= KRInitializeDevice ret=0"));
  }
}

TEST_P(ExportSuite, ControllerIdMismatchIsReportedAndTheNextCallWorks) {
  uint32_t handle = Open(0x2200);
  for (sim::FaultKind kind : {sim::FaultKind::WrongIdInStatus, sim::FaultKind::WrongIdInData}) {
    sim::Fault f;
    f.kind = kind;
    f.opcode = 0xE3;
    Scanner().InjectFault(f);
    // REQUEST SENSE data is not checked for the id; its status is.
    long expected = kind == sim::FaultKind::WrongIdInStatus ? -2023 : 0;
    EXPECT_EQ(d.KRDeviceStatus(0x2200, &handle), expected) << sim::FaultName(kind);
    EXPECT_EQ(d.KRDeviceStatus(0x2200, &handle), 0) << sim::FaultName(kind);
  }
  EXPECT_TRUE(testlog::Contains("Control ID not match."));
  EXPECT_TRUE(testlog::Contains("<= KRDeviceStatus ret=-2023"));
}

namespace {
size_t Count(const std::vector<sim::Exchange>& log, uint8_t opcode) {
  size_t n = 0;
  for (const sim::Exchange& e : log) n += e.block[0] == opcode;
  return n;
}
}  // namespace

TEST_P(ExportSuite, DeviceStatusMapsEverySense) {
  uint32_t handle = Open(0x2200);
  for (const SenseCase& c : kSenseCases) {
    sim::Fault f;
    f.kind = sim::FaultKind::Sense;
    f.opcode = 0xE3;
    f.senseKey = c.key;
    f.asc = static_cast<uint8_t>(c.code >> 8);
    f.ascq = static_cast<uint8_t>(c.code);
    Scanner().InjectFault(f);
    Scanner().ClearCommandLog();
    EXPECT_EQ(d.KRDeviceStatus(0x2200, &handle), c.status)
        << std::hex << "key " << int(c.key) << " code " << c.code;
    auto log = Scanner().CommandLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].block[0], 0xE3);
    EXPECT_EQ(log[0].block[10], 44);
    EXPECT_EQ(log[0].block[11], 1);
  }
}

TEST_P(ExportSuite, CheckConditionBringsExactlyOneRequestSense) {
  ASSERT_EQ(d.KRInitializeDriver(0x2200), 0);
  sim::Fault warmUp;
  warmUp.kind = sim::FaultKind::CheckCondition;
  warmUp.opcode = 0xE2;
  warmUp.senseKey = 2;
  Scanner().InjectFault(warmUp);
  Scanner().ClearCommandLog();
  uint32_t handle = 0;
  EXPECT_EQ(d.KRInitializeDevice(0x2200, nullptr, &handle), -2009);
  auto log = Scanner().CommandLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].block[0], 0xE2);
  EXPECT_EQ(log[1].block[0], 0xE3);
  EXPECT_EQ(log[1].block[11], 0);
  EXPECT_EQ(d.KRInitializeDevice(0x2200, nullptr, &handle), 0);

  // On REQUEST SENSE itself no second one follows.
  sim::Fault onSense = warmUp;
  onSense.opcode = 0xE3;
  Scanner().InjectFault(onSense);
  Scanner().ClearCommandLog();
  EXPECT_EQ(d.KRDeviceStatus(0x2200, &handle), 0);
  EXPECT_EQ(Count(Scanner().CommandLog(), 0xE3), 1u);
}

TEST_P(ExportSuite, ReplugNeedsNoNewInitializeAndAGoneDeviceIsNotFound) {
  uint32_t handle = Open(0x0134B6EA);
  Scanner().Unplug();
  Scanner().Replug();
  EXPECT_EQ(d.KRDeviceStatus(0x0134B6EA, &handle), 0);
  EXPECT_TRUE(
      testlog::Contains("MacOsUsbCheckDevice: get pipe status return error=kIOReturnNoDevice"));
  Scanner().Unplug();
  EXPECT_EQ(d.KRDeviceStatus(0x0134B6EA, &handle), -2019);
  EXPECT_EQ(d.KRDeviceStatus(0x0134B6EA, &handle), -2019);
  Scanner().Replug();
  EXPECT_EQ(d.KRDeviceStatus(0x0134B6EA, &handle), 0);
}

TEST_P(ExportSuite, UnknownHandleAndBeforeInitialize) {
  uint32_t handle = 1;
  EXPECT_EQ(d.KRTerminateDevice(0, &handle), 0);  // driver not started: nothing to do
  EXPECT_EQ(d.KRDeviceStatus(0, &handle), -2019);
  EXPECT_EQ(d.KRMemFree(0, nullptr), 0);
  ASSERT_EQ(d.KRInitializeDriver(0x2200), 0);
  uint32_t unknown = 42;
  EXPECT_EQ(d.KRDeviceStatus(0x2200, &unknown), -2019);
  EXPECT_EQ(d.KRTerminateDevice(0x2200, &unknown), -2019);
  EXPECT_TRUE(testlog::Contains("=> KRDeviceStatus -------> HDevice = 42"));
  EXPECT_TRUE(testlog::Contains("<= KRDeviceStatus ret=-2019"));

  int foreign = 0;
  DEVLIST* list = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(d.KRGetDeviceList(0x2200, &list, &count), 0);
  EXPECT_EQ(d.KRMemFree(0x2200, nullptr), 0);
  EXPECT_EQ(d.KRMemFree(0x2200, &foreign), 0);
  EXPECT_EQ(d.KRMemFree(0x2200, list), 0);
  EXPECT_EQ(d.KRMemFree(0x2200, list), 0);  // freed already
  // The rest of the list goes with KRTerminateDriver (the sanitizer run checks for leaks).
}

TEST_P(ExportSuite, TargetIdsIgnoreLetterCase) {
  ASSERT_EQ(d.KRInitializeDriver(0x2200), 0);
  struct Case {
    const char* id;
    long status;
  } cases[] = {
      {"usb:0xF11E:0x0310:SIMDL00001", 0},
      {"USB:0XF11E:0X0310:simdl00001", 0},
      {"usb:0xF11E:0x0310:SIMDL00002", -2019},
      {"usb:0xF11E:0x0311:SIMDL00001", -2019},
  };
  for (const Case& c : cases) {
    std::string id = c.id;
    uint32_t handle = 0;
    EXPECT_EQ(d.KRInitializeDevice(0x2200, id.data(), &handle), c.status) << c.id;
    if (c.status == 0) {
      EXPECT_EQ(handle, 1u) << c.id;
    }
  }
}

// The device records as a front end reads them through the loaded library.
TEST_P(ExportSuite, AbilityAndNvramThroughTheLibrary) {
  const uint32_t handle = Open(0x2200);
  uint32_t h = handle;
  DeviceAbility* ability = nullptr;
  ASSERT_EQ(d.KRGetDeviceAbility(0x2200, &h, &ability), 0);
  EXPECT_EQ(ability->Size, sizeof(DeviceAbility));
  EXPECT_STREQ(ability->pModelName, "SIM-ADF300");
  for (char* text : {ability->pVendorName, ability->pModelName, ability->pFWVersion,
                     ability->pPortType, ability->pPortAddress}) {
    EXPECT_EQ(d.KRMemFree(0x2200, text), 0);
  }
  EXPECT_EQ(d.KRMemFree(0x2200, ability), 0);

  void* data = nullptr;
  ASSERT_EQ(d.KRReadNVMData(0x2200, &h, &data, 0, 0), 0);
  NewNvmData record;
  std::memcpy(&record, data, sizeof record);
  EXPECT_EQ(record.Version, 200);
  EXPECT_STREQ(record.SN, "SIMDL00001");
  EXPECT_EQ(d.KRWriteNVMData(0x2200, &h, 0, 0, data, true), 0);
  EXPECT_EQ(d.KRMemFree(0x2200, data), 0);
  void* imprinter = nullptr;
  EXPECT_EQ(d.KRGetImprinterAbility(0x2200, &h, &imprinter), -2019);
  EXPECT_EQ(d.KRSetImprinterParameter(0x2200, &h, nullptr, nullptr, nullptr, nullptr, nullptr),
            -2019);
}
