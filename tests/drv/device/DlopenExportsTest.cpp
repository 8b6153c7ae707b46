// The driver library as the front ends use it: loaded at run time, its exports looked up by
// name, talking to the simulated scanner that VANTREL_SIMULATOR names.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "SenseCases.h"
#include "TestLog.h"
#include "sim/SimScanner.h"
#include "vantrel/kr_api.h"

namespace {
struct Driver {
  void* library = nullptr;
  decltype(&KRInitializeDriver) InitializeDriver = nullptr;
  decltype(&KRTerminateDriver) TerminateDriver = nullptr;
  decltype(&KRMemFree) MemFree = nullptr;
  decltype(&KRGetDeviceList) GetDeviceList = nullptr;
  decltype(&KRInitializeDevice) InitializeDevice = nullptr;
  decltype(&KRTerminateDevice) TerminateDevice = nullptr;
  decltype(&KRResetDevice) ResetDevice = nullptr;
  decltype(&KRDeviceStatus) DeviceStatus = nullptr;
  decltype(&KRGetDeviceAbility) GetDeviceAbility = nullptr;
  decltype(&KRReadNVMData) ReadNVMData = nullptr;
  decltype(&KRWriteNVMData) WriteNVMData = nullptr;
  decltype(&KRSetImprinterParameter) SetImprinterParameter = nullptr;
  decltype(&KRGetImprinterAbility) GetImprinterAbility = nullptr;
};

template <class F>
void Bind(void* library, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(library, name));
  ASSERT_NE(*out, nullptr) << name << " is not exported";
}

class DlopenExports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string root = testlog::Prepare("dlopen-exports");
    std::string description = root + "scanner.txt";
    std::ofstream(description) << "serial SIMDL00001\nsheets 2\n";
    setenv("VANTREL_SIMULATOR", description.c_str(), 1);
  }

  void SetUp() override {
    // Local binding, as the front ends load the driver.
    d.library = dlopen(VANTREL_LIBRARY_PATH, RTLD_LAZY | RTLD_LOCAL);
    ASSERT_NE(d.library, nullptr) << dlerror();
    Bind(d.library, "KRInitializeDriver", &d.InitializeDriver);
    Bind(d.library, "KRTerminateDriver", &d.TerminateDriver);
    Bind(d.library, "KRMemFree", &d.MemFree);
    Bind(d.library, "KRGetDeviceList", &d.GetDeviceList);
    Bind(d.library, "KRInitializeDevice", &d.InitializeDevice);
    Bind(d.library, "KRTerminateDevice", &d.TerminateDevice);
    Bind(d.library, "KRResetDevice", &d.ResetDevice);
    Bind(d.library, "KRDeviceStatus", &d.DeviceStatus);
    Bind(d.library, "KRGetDeviceAbility", &d.GetDeviceAbility);
    Bind(d.library, "KRReadNVMData", &d.ReadNVMData);
    Bind(d.library, "KRWriteNVMData", &d.WriteNVMData);
    Bind(d.library, "KRSetImprinterParameter", &d.SetImprinterParameter);
    Bind(d.library, "KRGetImprinterAbility", &d.GetImprinterAbility);
  }

  void TearDown() override {
    if (d.TerminateDriver != nullptr) d.TerminateDriver(0);
    if (d.library != nullptr) dlclose(d.library);
  }

  // The scanner the driver's host layer loaded; there after the first device search.
  sim::SimScanner& Scanner() {
    sim::SimScanner* s = sim::LoadedScanner();
    EXPECT_NE(s, nullptr);
    return *s;
  }

  // Opens the driver and the first device; returns the handle.
  uint32_t Open(uint32_t ctrl) {
    EXPECT_EQ(d.InitializeDriver(ctrl), 0);
    uint32_t handle = 0;
    EXPECT_EQ(d.InitializeDevice(ctrl, nullptr, &handle), 0);
    return handle;
  }

  Driver d;
};

struct CtrlCase {
  uint32_t argument;
  uint16_t kept;
};
}  // namespace

class DlopenCallingOrder : public DlopenExports, public ::testing::WithParamInterface<CtrlCase> {};

TEST_P(DlopenCallingOrder, ClientsCallingOrderAgainstTheSimulator) {
  const uint32_t ctrl = GetParam().argument;
  const uint16_t kept = GetParam().kept;
  ASSERT_EQ(d.InitializeDriver(ctrl), 0);
  Scanner().ClearCommandLog();

  DEVLIST* list = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(d.GetDeviceList(ctrl, &list, &count), 0);
  ASSERT_EQ(count, 1u);
  DeviceInformation* n = list->pDevice;
  EXPECT_STREQ(n->DeviceName, "usb:0xF11E:0x0310:SIMDL00001");
  EXPECT_STREQ(n->SerialNumber, "SIMDL00001");
  EXPECT_STREQ(n->Interface, "usb");
  EXPECT_EQ(n->VID, 0xF11Eu);
  EXPECT_EQ(n->PID, 0x0310u);
  for (void* block :
       {static_cast<void*>(n->DeviceName), static_cast<void*>(n->VendorName),
        static_cast<void*>(n->ModelName), static_cast<void*>(n->SerialNumber),
        static_cast<void*>(n->Interface), static_cast<void*>(n), static_cast<void*>(list)}) {
    EXPECT_EQ(d.MemFree(ctrl, block), 0);
  }

  DeviceInformation node{};
  char name[256], vendor[64], model[64], serial[128], itf[10];
  node.DeviceName = name;
  node.VendorName = vendor;
  node.ModelName = model;
  node.SerialNumber = serial;
  node.Interface = itf;
  DEVLIST header{0xFFFF, &node};
  DEVLIST* given = &header;
  ASSERT_EQ(d.GetDeviceList(ctrl, &given, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(header.Reserved, 0);
  EXPECT_STREQ(name, "usb:0xF11E:0x0310:SIMDL00001");
  EXPECT_EQ(node.next, nullptr);

  uint32_t handle = 0;
  ASSERT_EQ(d.InitializeDevice(ctrl, nullptr, &handle), 0);
  EXPECT_EQ(handle, 1u);
  char empty[] = "";
  ASSERT_EQ(d.InitializeDevice(ctrl, empty, &handle), 0);
  EXPECT_EQ(handle, 1u);
  EXPECT_EQ(d.DeviceStatus(ctrl, &handle), 0);
  EXPECT_EQ(d.TerminateDevice(ctrl, &handle), 0);
  EXPECT_EQ(d.TerminateDriver(ctrl), 0);

  auto log = Scanner().CommandLog();
  ASSERT_FALSE(log.empty());
  size_t senses = 0;
  for (const sim::Exchange& e : log) {
    EXPECT_EQ(e.block[1], kept >> 8) << e.command;
    EXPECT_EQ(e.block[2], kept & 0xFF) << e.command;
    EXPECT_TRUE(e.statusTaken) << e.command;
    if (e.block[0] == 0xE3) ++senses;
  }
  EXPECT_EQ(senses, 1u);
  EXPECT_TRUE(testlog::Contains("<= KRInitializeDevice ret=0"));
}

INSTANTIATE_TEST_SUITE_P(ControllerIds, DlopenCallingOrder,
                         ::testing::Values(CtrlCase{0x0134B6EA, 0xB6EA}, CtrlCase{0x2200, 0x2200},
                                           CtrlCase{0x10000, 0x0001}),
                         [](const ::testing::TestParamInfo<CtrlCase>& info) {
                           char name[32];
                           std::snprintf(name, sizeof name, "Ctrl%08X", info.param.argument);
                           return std::string(name);
                         });

TEST_F(DlopenExports, ControllerIdMismatchIsReportedAndTheNextCallWorks) {
  uint32_t handle = Open(0x2200);
  for (sim::FaultKind kind : {sim::FaultKind::WrongIdInStatus, sim::FaultKind::WrongIdInData}) {
    sim::Fault f;
    f.kind = kind;
    f.opcode = 0xE3;
    Scanner().InjectFault(f);
    // REQUEST SENSE data is not checked for the id; its status is.
    long expected = kind == sim::FaultKind::WrongIdInStatus ? -2023 : 0;
    EXPECT_EQ(d.DeviceStatus(0x2200, &handle), expected) << sim::FaultName(kind);
    EXPECT_EQ(d.DeviceStatus(0x2200, &handle), 0) << sim::FaultName(kind);
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

TEST_F(DlopenExports, DeviceStatusMapsEverySense) {
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
    EXPECT_EQ(d.DeviceStatus(0x2200, &handle), c.status)
        << std::hex << "key " << int(c.key) << " code " << c.code;
    auto log = Scanner().CommandLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].block[0], 0xE3);
    EXPECT_EQ(log[0].block[10], 44);
    EXPECT_EQ(log[0].block[11], 1);
  }
}

TEST_F(DlopenExports, CheckConditionBringsExactlyOneRequestSense) {
  ASSERT_EQ(d.InitializeDriver(0x2200), 0);
  sim::Fault warmUp;
  warmUp.kind = sim::FaultKind::CheckCondition;
  warmUp.opcode = 0xE2;
  warmUp.senseKey = 2;
  Scanner().InjectFault(warmUp);
  Scanner().ClearCommandLog();
  uint32_t handle = 0;
  EXPECT_EQ(d.InitializeDevice(0x2200, nullptr, &handle), -2009);
  auto log = Scanner().CommandLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].block[0], 0xE2);
  EXPECT_EQ(log[1].block[0], 0xE3);
  EXPECT_EQ(log[1].block[11], 0);
  EXPECT_EQ(d.InitializeDevice(0x2200, nullptr, &handle), 0);

  // On REQUEST SENSE itself no second one follows.
  sim::Fault onSense = warmUp;
  onSense.opcode = 0xE3;
  Scanner().InjectFault(onSense);
  Scanner().ClearCommandLog();
  EXPECT_EQ(d.DeviceStatus(0x2200, &handle), 0);
  EXPECT_EQ(Count(Scanner().CommandLog(), 0xE3), 1u);
}

TEST_F(DlopenExports, ReplugNeedsNoNewInitializeAndAGoneDeviceIsNotFound) {
  uint32_t handle = Open(0x0134B6EA);
  Scanner().Unplug();
  Scanner().Replug();
  EXPECT_EQ(d.DeviceStatus(0x0134B6EA, &handle), 0);
  Scanner().Unplug();
  EXPECT_EQ(d.DeviceStatus(0x0134B6EA, &handle), -2019);
  EXPECT_TRUE(
      testlog::Contains("MacOsUsbCheckDevice: get pipe status return error=kIOReturnNoDevice"));
  Scanner().Replug();
}

TEST_F(DlopenExports, UnknownHandleAndBeforeInitialize) {
  uint32_t handle = 1;
  EXPECT_EQ(d.TerminateDevice(0, &handle), 0);  // driver not started: nothing to do
  EXPECT_EQ(d.DeviceStatus(0, &handle), -2019);
  EXPECT_EQ(d.MemFree(0, nullptr), 0);
  ASSERT_EQ(d.InitializeDriver(0x2200), 0);
  uint32_t unknown = 42;
  EXPECT_EQ(d.DeviceStatus(0x2200, &unknown), -2019);
  EXPECT_EQ(d.TerminateDevice(0x2200, &unknown), -2019);
  EXPECT_TRUE(testlog::Contains("=> KRDeviceStatus -------> HDevice = 42"));
  EXPECT_TRUE(testlog::Contains("<= KRDeviceStatus ret=-2019"));

  int foreign = 0;
  DEVLIST* list = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(d.GetDeviceList(0x2200, &list, &count), 0);
  EXPECT_EQ(d.MemFree(0x2200, nullptr), 0);
  EXPECT_EQ(d.MemFree(0x2200, &foreign), 0);
  EXPECT_EQ(d.MemFree(0x2200, list), 0);
  EXPECT_EQ(d.MemFree(0x2200, list), 0);  // freed already
  // The rest of the list goes with KRTerminateDriver (the sanitizer run checks for leaks).
}

TEST_F(DlopenExports, TargetIdsIgnoreLetterCase) {
  ASSERT_EQ(d.InitializeDriver(0x2200), 0);
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
    EXPECT_EQ(d.InitializeDevice(0x2200, id.data(), &handle), c.status) << c.id;
    if (c.status == 0) {
      EXPECT_EQ(handle, 1u) << c.id;
    }
  }
}

// The device records as a front end reads them through the loaded library.
TEST_F(DlopenExports, AbilityAndNvramThroughTheLibrary) {
  const uint32_t handle = Open(0x2200);
  uint32_t h = handle;
  DeviceAbility* ability = nullptr;
  ASSERT_EQ(d.GetDeviceAbility(0x2200, &h, &ability), 0);
  EXPECT_EQ(ability->Size, sizeof(DeviceAbility));
  EXPECT_STREQ(ability->pModelName, "SIM-ADF300");
  for (char* text : {ability->pVendorName, ability->pModelName, ability->pFWVersion,
                     ability->pPortType, ability->pPortAddress}) {
    EXPECT_EQ(d.MemFree(0x2200, text), 0);
  }
  EXPECT_EQ(d.MemFree(0x2200, ability), 0);

  void* data = nullptr;
  ASSERT_EQ(d.ReadNVMData(0x2200, &h, &data, 0, 0), 0);
  NewNvmData record;
  std::memcpy(&record, data, sizeof record);
  EXPECT_EQ(record.Version, 200);
  EXPECT_STREQ(record.SN, "SIMDL00001");
  EXPECT_EQ(d.WriteNVMData(0x2200, &h, 0, 0, data, true), 0);
  EXPECT_EQ(d.MemFree(0x2200, data), 0);
  void* imprinter = nullptr;
  EXPECT_EQ(d.GetImprinterAbility(0x2200, &h, &imprinter), -2019);
  EXPECT_EQ(d.SetImprinterParameter(0x2200, &h, nullptr, nullptr, nullptr, nullptr, nullptr),
            -2019);
}
