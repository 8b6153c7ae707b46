// The driver and device exports where a test needs a bus of its own (several scanners, scripted
// devices) or the registry's internals; the calls every client makes run both ways in
// ExportSuiteTest.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SimHelpers.h"
#include "TestLog.h"
#include "drv/device/CImprinter.h"
#include "drv/device/CScannerManager.h"
#include "drv/device/Maintenance.h"
#include "drv/jpeg/CLumetra.h"
#include "drv/jpeg/Interface.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "vantrel/device_ids.h"
#include "vantrel/kr_api.h"

using simhelp::CheckCondition;
using simhelp::CurrentSense;

namespace {

class DriverExports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("driver-exports"); }
  void TearDown() override {
    KRTerminateDriver(0);
    SetScanEngineHooks({nullptr, nullptr});
    lumetra::InjectInitializeFailure(0);
  }
  sim::SimScanner& Add(const char* serial, sim::Config config = {}) {
    return host.Add(serial, config);
  }

  simhelp::InstalledBus host;
};

struct ClientList {
  ClientList(int nodes) : node(nodes) {
    for (int i = 0; i < nodes; ++i) {
      DeviceInformation& n = node[i];
      std::memset(&n, 0, sizeof n);
      n.DeviceName = name[i];
      n.VendorName = vendor[i];
      n.ModelName = model[i];
      n.SerialNumber = serial[i];
      n.Interface = itf[i];
      n.next = i + 1 < nodes ? &node[i + 1] : nullptr;
    }
    header.Reserved = 0xFFFF;
    header.pDevice = nodes > 0 ? node.data() : nullptr;
  }
  DEVLIST header;
  std::vector<DeviceInformation> node;
  char name[4][256], vendor[4][64], model[4][64], serial[4][128], itf[4][10];
};

}  // namespace

TEST_F(DriverExports, TargetIdsFindTheirDevice) {
  Add("SN1");
  Add("SN2");
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  struct Case {
    const char* id;
    long status;
    uint32_t handle;
  } cases[] = {
      {"usb:0xf11e:0x0310:sn2", 0, 2},     {"usb:0xF11E:0x0310:SN1", 0, 1},
      {"USB:0XF11E:0X0310:SN1", 0, 1},     {"usb:0xF11E:0x0310", -2019, 0},
      {"usb:0x1234:0x5678:SN1", -2019, 0}, {"", 0, 1},
  };
  for (const Case& c : cases) {
    std::string id = c.id;
    uint32_t handle = 0;
    EXPECT_EQ(KRInitializeDevice(0x2200, id.data(), &handle), c.status) << c.id;
    if (c.status == 0) {
      EXPECT_EQ(handle, c.handle) << c.id;
    }
  }
  EXPECT_EQ(KRInitializeDevice(0x2200, nullptr, nullptr), -2005);
  uint32_t unknown = 99;
  EXPECT_EQ(KRDeviceStatus(0x2200, &unknown), -2019);
  EXPECT_EQ(KRTerminateDevice(0x2200, &unknown), -2019);
  EXPECT_EQ(KRResetDevice(0x2200, &unknown, nullptr), -2019);
  EXPECT_TRUE(testlog::Contains("=> KRDeviceStatus -------> HDevice = 99"));
  EXPECT_TRUE(testlog::Contains("<= KRDeviceStatus ret=-2019"));
}

TEST_F(DriverExports, EnumerationKeepsOnlyUsableSupportedDevices) {
  Add("A");
  Add("B").InjectFault([] {
    sim::Fault f;
    f.kind = sim::FaultKind::UndefinedStatus;  // never answers its inquiry
    f.opcode = 0xE2;
    f.count = 0;
    return f;
  }());
  Add("C");
  sim::Config other;
  other.productId = 0x0999;
  Add("D", other);
  sim::Config noBulk;
  noBulk.bulkInPipe = false;
  Add("E", noBulk);
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  DEVLIST* list = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(KRGetDeviceList(0x2200, &list, &count), 0);
  ASSERT_EQ(count, 2u);
  EXPECT_STREQ(list->pDevice[0].SerialNumber, "A");
  EXPECT_STREQ(list->pDevice[1].SerialNumber, "C");
  EXPECT_EQ(list->pDevice[0].next, &list->pDevice[1]);
  EXPECT_TRUE(testlog::Contains("Have error!! Don't add it to list"));
  EXPECT_TRUE(testlog::Contains("Not all pipe found"));
}

TEST_F(DriverExports, ListingReadsNoMoreInquiryThanItsBuffer) {
  sim::Config big;
  big.inquiryLength = 600;
  Add("BIG", big);
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  // The reply does not fit: the exchange fails and the device stays out, nothing overruns.
  DEVLIST* list = nullptr;
  uint32_t count = 9;
  EXPECT_EQ(KRGetDeviceList(0, &list, &count), 0);
  EXPECT_EQ(count, 0u);
}

TEST_F(DriverExports, DeviceWithoutInterruptPipeOpensWithSilentButtons) {
  sim::Config noInterrupt;
  noInterrupt.interruptPipe = false;
  Add("N", noInterrupt);
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  uint32_t handle = 0;
  ASSERT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
  EXPECT_EQ(KRDeviceStatus(0x2200, &handle), 0);
  IoObject* io = pManager->GetTargetScannerItem(handle)->pIoObject;
  for (int i = 0; i < 3; ++i) {
    uint8_t packet[8];
    std::memset(packet, 0xEE, sizeof packet);
    ASSERT_TRUE(io->GetButtonStatus(packet));
    EXPECT_EQ(std::vector<uint8_t>(packet, packet + 8), std::vector<uint8_t>(8, 0));
  }
  EXPECT_TRUE(testlog::Contains("Interrupt pips not found, button function will not work"));
}

TEST_F(DriverExports, AFailureWithoutAStatusIsNeverReportedAsSuccess) {
  sim::SimScanner& scanner = Add("SN1");
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  uint32_t handle = 0;
  ASSERT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
  // The device re-opens but keeps failing its check: the command layer's step fails with no
  // code of its own, which reads as a system error.
  scanner.FailPipeStatus(true);
  EXPECT_EQ(KRDeviceStatus(0x2200, &handle), -2023);
  EXPECT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), -2023);
  scanner.FailPipeStatus(false);
  EXPECT_EQ(KRDeviceStatus(0x2200, &handle), 0);
}

TEST_F(DriverExports, ImageLibraryFailureLeavesTheDriverDown) {
  Add("SN1");
  lumetra::InjectInitializeFailure(-7);
  EXPECT_EQ(KRInitializeDriver(0x2200), -2023);
  EXPECT_TRUE(testlog::Contains("*** Lumetra initialize fail lRet = -7"));
  EXPECT_EQ(pManager, nullptr);
  EXPECT_EQ(pMemManager, nullptr);
  EXPECT_EQ(pLumetra, nullptr);
  uint32_t handle = 1;
  EXPECT_EQ(KRTerminateDevice(0x2200, &handle), 0);
  EXPECT_EQ(KRDeviceStatus(0x2200, &handle), -2019);
  EXPECT_EQ(lumetra::StartCount(), 0);

  lumetra::InjectInitializeFailure(0);
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  EXPECT_EQ(lumetra::StartCount(), 1);
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  EXPECT_EQ(lumetra::StartCount(), 1);
  EXPECT_EQ(KRTerminateDriver(0x2200), 0);
  EXPECT_EQ(lumetra::StartCount(), 0);
}

TEST_F(DriverExports, RepeatedInitializeKeepsHandedOutBlocks) {
  Add("SN1");
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  CLLDMemoryManager* first = pMemManager;
  DEVLIST* list = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(KRGetDeviceList(0x2200, &list, &count), 0);
  char* name = list->pDevice->DeviceName;
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  EXPECT_EQ(pMemManager, first);
  EXPECT_STREQ(name, "usb:0xF11E:0x0310:SN1");
  ASSERT_GE(pMemManager->SlotOf(name), 0);
  EXPECT_EQ(KRMemFree(0x2200, name), 0);
  EXPECT_EQ(pMemManager->SlotOf(name), -1);
  // The rest of the list is freed by KRTerminateDriver.
}

TEST_F(DriverExports, MemFreeIgnoresWhatItDoesNotHold) {
  EXPECT_EQ(KRMemFree(0, nullptr), 0);  // before the driver starts
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  int local = 0;
  EXPECT_EQ(KRMemFree(0, nullptr), 0);
  EXPECT_EQ(KRMemFree(0, &local), 0);
  void* block = pMemManager->NewMem(8);
  EXPECT_EQ(KRMemFree(0, block), 0);
  EXPECT_EQ(KRMemFree(0, block), 0);
  EXPECT_EQ(pMemManager->Count(), 0u);
}

TEST_F(DriverExports, ReopenReportsTheResetsStatus) {
  sim::SimScanner& scanner = Add("SN1");
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  uint32_t handle = 0;
  ASSERT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
  scanner.InjectFault(CheckCondition(0xE2, 2, 0x0000));
  EXPECT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), -2009);
  EXPECT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
}

TEST_F(DriverExports, DeviceStatusReportsTheSenseAndRefusesDuringAJob) {
  sim::SimScanner& scanner = Add("SN1");
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  uint32_t handle = 0;
  ASSERT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
  scanner.InjectFault(CurrentSense(0, 0x8002));
  EXPECT_EQ(KRDeviceStatus(0x2200, &handle), -2014);
  CScannerManagerScannerItem* item = pManager->GetTargetScannerItem(handle);
  EXPECT_EQ(item->lErrorStatus, -2014);
  auto log = scanner.CommandLog();
  EXPECT_EQ(log.back().block[0], 0xE3);
  EXPECT_EQ(log.back().block[11], 1);

  scanner.ClearCommandLog();
  item->bJobRunning = 1;
  EXPECT_EQ(KRDeviceStatus(0x2200, &handle), -2001);
  EXPECT_TRUE(scanner.CommandLog().empty());
  item->bJobRunning = 0;
}

namespace {
struct Observed {
  std::vector<uint32_t> stopped;
  bool itemAliveAtStop = false;
  bool wrapperAliveAtStop = false;
  long resetsAtImprinterEnd = -1;
  sim::SimScanner* scanner = nullptr;
};
Observed* gObserved = nullptr;

long RecordStopJob(uint32_t, uint32_t* handle) {
  gObserved->stopped.push_back(*handle);
  gObserved->itemAliveAtStop =
      pManager != nullptr && pManager->GetTargetScannerItem(*handle) != nullptr;
  gObserved->wrapperAliveAtStop = pLumetra != nullptr && pMemManager != nullptr;
  return 0;
}

class WatchedImprinter : public CImprinter {
 public:
  ~WatchedImprinter() override {
    gObserved->resetsAtImprinterEnd = static_cast<long>(simhelp::Resets(*gObserved->scanner));
  }
};
}  // namespace

TEST_F(DriverExports, JobsStopBeforeItemsGoAndTheImprinterBeforeItsTransport) {
  Observed seen;
  gObserved = &seen;
  seen.scanner = &Add("SN1");
  SetScanEngineHooks({&RecordStopJob, nullptr});
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  uint32_t handle = 0;
  ASSERT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
  CScannerManagerScannerItem* item = pManager->GetTargetScannerItem(handle);
  item->dwPagesStarted = 1;
  item->pImprinter = new WatchedImprinter;
  long resetsBefore = static_cast<long>(simhelp::Resets(*seen.scanner));

  ASSERT_EQ(KRInitializeDriver(0x2200), 0);  // refresh
  ASSERT_EQ(seen.stopped, std::vector<uint32_t>{1});
  EXPECT_TRUE(seen.itemAliveAtStop);
  // The job stop also terminated the device, which drops the imprinter first.
  EXPECT_EQ(seen.resetsAtImprinterEnd, resetsBefore);

  item = pManager->GetTargetScannerItem(1);
  ASSERT_NE(item, nullptr);
  item->dwPagesStarted = 3;
  seen.stopped.clear();
  EXPECT_EQ(KRTerminateDriver(0x2200), 0);
  ASSERT_EQ(seen.stopped, std::vector<uint32_t>{1});
  EXPECT_TRUE(seen.wrapperAliveAtStop);

  // Deleting an item with its imprinter still there: imprinter first, then the transport.
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  item = pManager->GetTargetScannerItem(1);
  item->pImprinter = new WatchedImprinter;
  seen.resetsAtImprinterEnd = -1;
  resetsBefore = static_cast<long>(simhelp::Resets(*seen.scanner));
  EXPECT_EQ(KRTerminateDriver(0x2200), 0);
  EXPECT_EQ(seen.resetsAtImprinterEnd, resetsBefore);
  EXPECT_GT(static_cast<long>(simhelp::Resets(*seen.scanner)), resetsBefore);
  gObserved = nullptr;
}

TEST_F(DriverExports, DeviceListBeforeTheDriverStarts) {
  Add("SN1");
  ClientList mine(1);
  DEVLIST* given = &mine.header;
  uint32_t count = 0;
  ASSERT_EQ(KRGetDeviceList(0, &given, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_STREQ(mine.serial[0], "SN1");
  EXPECT_EQ(pManager, nullptr);
  DEVLIST* none = nullptr;
  EXPECT_EQ(KRGetDeviceList(0, &none, &count), -2006);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(none, nullptr);
}

TEST_F(DriverExports, ClientListIsWalkedSafely) {
  Add("SN1");
  Add("SN2");
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  ClientList shortList(1);
  DEVLIST* given = &shortList.header;
  uint32_t count = 7;
  EXPECT_EQ(KRGetDeviceList(0, &given, &count), -2005);
  EXPECT_EQ(count, 0u);
  EXPECT_STREQ(shortList.serial[0], "SN1");

  ClientList noNodes(0);
  given = &noNodes.header;
  EXPECT_EQ(KRGetDeviceList(0, &given, &count), -2005);

  ClientList enough(3);
  given = &enough.header;
  ASSERT_EQ(KRGetDeviceList(0, &given, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_STREQ(enough.serial[1], "SN2");
  EXPECT_EQ(enough.node[1].next, nullptr);
  EXPECT_EQ(KRGetDeviceList(0, nullptr, &count), -2005);
}

TEST_F(DriverExports, NoDeviceGivesAnEmptyList) {
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  DEVLIST* list = nullptr;
  uint32_t count = 5;
  EXPECT_EQ(KRGetDeviceList(0, &list, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(pMemManager->Count(), 0u);
  uint32_t handle = 0;
  EXPECT_EQ(KRInitializeDevice(0, nullptr, &handle), -2019);
}

TEST(LastStatusCode, PrefersTheErrorWord) {
  CScannerManagerScannerItem item{};
  bool message = false;
  long code = 1;
  item.lMessageStatus = -3101;
  GetLastStatusCode(&item, &message, &code);
  EXPECT_TRUE(message);
  EXPECT_EQ(code, -3101);
  item.lErrorStatus = -2013;
  GetLastStatusCode(&item, &message, &code);
  EXPECT_FALSE(message);
  EXPECT_EQ(code, -2013);
  EXPECT_TRUE(GetLastStatusCode(&item, nullptr, &code));
}

// The JFIF writer logs into the driver's log once the driver runs, one line per call, without
// a line end of its own inside the driver's.
TEST_F(DriverExports, JfifWriterLinesReachTheDriverLog) {
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  int dri = -1;
  EXPECT_EQ(KRJFIFGetDRI(0, 1, 100, 16, &dri), -3);
  KRTerminateDriver(0x2200);
  EXPECT_TRUE(testlog::Contains(
      "KRJFIFGetDRI In: nSampling=0, nBitPerPixel=1, nWidth=100, nHeightStrip=16\r\n"));
  EXPECT_TRUE(testlog::Contains("Error!! Function not support!\r\n"));
}

namespace {
// Whether the texts appear in the log in this order.
bool InOrder(const std::string& log, const std::vector<std::string>& texts) {
  size_t at = 0;
  for (const std::string& t : texts) {
    at = log.find(t, at);
    if (at == std::string::npos) return false;
    at += t.size();
  }
  return true;
}
}  // namespace

namespace {
struct DeviceCall {
  const char* name;
  std::function<long(uint32_t*)> call;
};

// Every export that takes a device-handle pointer (maintenance entries included), with
// arguments that are valid but for the handle.
std::vector<DeviceCall> EveryDeviceExport() {
  static uint8_t buffer[512];
  static uint16_t block[28] = {200};
  static KR_Imprinter_Parameter settings{};
  return {
      {"KRInitializeDevice", [](uint32_t* h) { return KRInitializeDevice(0, nullptr, h); }},
      {"KRTerminateDevice", [](uint32_t* h) { return KRTerminateDevice(0, h); }},
      {"KRResetDevice", [](uint32_t* h) { return KRResetDevice(0, h, nullptr); }},
      {"KRDeviceStatus", [](uint32_t* h) { return KRDeviceStatus(0, h); }},
      {"KRGetDeviceAbility",
       [](uint32_t* h) {
         DeviceAbility* a = nullptr;
         return KRGetDeviceAbility(0, h, &a);
       }},
      {"KRReadNVMData",
       [](uint32_t* h) {
         void* d = nullptr;
         return KRReadNVMData(0, h, &d, 6, 0);
       }},
      {"KRWriteNVMData", [](uint32_t* h) { return KRWriteNVMData(0, h, 6, 2, buffer, true); }},
      {"KRSetImprinterParameter",
       [](uint32_t* h) {
         return KRSetImprinterParameter(0, h, &settings, buffer, buffer, buffer, buffer);
       }},
      {"KRGetImprinterAbility",
       [](uint32_t* h) {
         void* a = nullptr;
         return KRGetImprinterAbility(0, h, &a);
       }},
      {"KRGeneralOperation",
       [](uint32_t* h) { return KRGeneralOperation(0, h, KR_GENERAL_READ, 22, 1, 2, buffer); }},
      {"KRReadPushButton",
       [](uint32_t* h) {
         void* r = nullptr;
         return KRReadPushButton(0, h, &r);
       }},
      {"KRReadNetworkValue",
       [](uint32_t* h) {
         void* v = nullptr;
         return KRReadNetworkValue(0, h, 0, &v);
       }},
      {"KRWriteNetworkValue", [](uint32_t* h) { return KRWriteNetworkValue(0, h, 1, 4, buffer); }},
      {"KRUSBBypass", [](uint32_t* h) { return KRUSBBypass(0, h, buffer, {}); }},
      {"KRSCSICommand", [](uint32_t* h) { return KRSCSICommand(0, h, {}); }},
      {"KRInitializeNVM", [](uint32_t* h) { return KRInitializeNVM(0, h, block); }},
      {"KRTestNVM", [](uint32_t* h) { return KRTestNVM(0, h); }},
      {"KRReadFlashRAMData", [](uint32_t* h) { return KRReadFlashRAMData(0, h, buffer, 64, 0); }},
      {"KRReadFlashRAMInfo", [](uint32_t* h) { return KRReadFlashRAMInfo(0, h, buffer); }},
      {"KRSendRawDataControl", [](uint32_t* h) { return KRSendRawDataControl(0, h, block); }},
      {"KRShadingCalibration", [](uint32_t* h) { return KRShadingCalibration(0, h, 1); }},
      {"KRReadRawData", [](uint32_t* h) { return KRReadRawData(0, h, buffer, 64); }},
      {"KRSendControlRawData",
       [](uint32_t* h) { return KRSendControlRawData(0, h, block, buffer); }},
      {"KRReadUltraSonicRawData",
       [](uint32_t* h) { return KRReadUltraSonicRawData(0, h, buffer, 64); }},
  };
}
}  // namespace

// A null handle pointer is a bad argument to every device export, whether the driver runs or
// not; a handle no device has is not found (nothing to end before the driver runs).
TEST_F(DriverExports, EveryDeviceExportAnswersANullHandleAlike) {
  for (const DeviceCall& e : EveryDeviceExport()) EXPECT_EQ(e.call(nullptr), -2005) << e.name;
  Add("SN1");
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  uint32_t handle = 0;
  ASSERT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
  uint32_t unknown = 77;
  // The maintenance entries log under their own names.
  const std::map<std::string, std::string> logged = {
      {"KRInitializeNVM", "InitializeNVM"},           {"KRTestNVM", "TestNVM"},
      {"KRReadFlashRAMData", "ReadFlashRAMData"},     {"KRReadFlashRAMInfo", "ReadFlashRAMInfo"},
      {"KRShadingCalibration", "ShadingCalibration"}, {"KRReadRawData", "ReadRawData"},
      {"KRSendControlRawData", "SendControlRawData"}};
  for (const DeviceCall& e : EveryDeviceExport()) {
    const std::string name = logged.contains(e.name) ? logged.at(e.name) : e.name;
    size_t from = testlog::Read().size();
    EXPECT_EQ(e.call(nullptr), -2005) << e.name;
    EXPECT_TRUE(InOrder(testlog::Read().substr(from), {"=> " + name, "<= " + name + " ret=-2005"}))
        << e.name;
    if (name == "KRInitializeDevice") continue;
    from = testlog::Read().size();
    EXPECT_EQ(e.call(&unknown), -2019) << e.name;
    EXPECT_TRUE(InOrder(testlog::Read().substr(from), {"=> " + name, "<= " + name + " ret=-2019"}))
        << e.name;
  }
}

// Where the driver calls one of its own exports (the reset of an opened device, ending every
// device at driver end), that export's lines read as for a client's call.
TEST_F(DriverExports, ExportsTheDriverCallsItselfLogTheirLines) {
  Add("SN1");
  ASSERT_EQ(KRInitializeDriver(0x2200), 0);
  uint32_t handle = 0;
  ASSERT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
  size_t from = testlog::Read().size();
  ASSERT_EQ(KRInitializeDevice(0x2200, nullptr, &handle), 0);
  EXPECT_TRUE(InOrder(testlog::Read().substr(from),
                      {"=> KRInitializeDevice", "=> KRResetDevice", "<= KRResetDevice ret=0",
                       "<= KRInitializeDevice ret=0"}));

  pManager->GetTargetScannerItem(handle)->dwPagesStarted = 1;  // a job has started pages
  from = testlog::Read().size();
  ASSERT_EQ(KRTerminateDriver(0x2200), 0);
  EXPECT_TRUE(InOrder(testlog::Read().substr(from),
                      {"=> KRTerminateDriver", "=> KRTerminateDevice -------> HDevice = 1",
                       "<= KRTerminateDevice ret=0", "<= KRTerminateDriver ret=0"}));
}
