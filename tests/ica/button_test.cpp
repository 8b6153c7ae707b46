// The push-button path against the simulated scanner (two interrupt pipes, buttons on the last):
// the reader started and stopped by the button notification, presses reaching the host with and
// without a session, the duplex flag, interface failures, the module's own scan taking the
// scanner from the reader, and the device's close joining the reader. Run under ThreadSanitizer.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ModuleHarness.h"
#include "ica/ICA_Base.h"
#include "ica/KR_ICA_Mark2_200.h"
#include "platform/foundation/Notifications.h"
#include "platform/foundation/SystemLog.h"
#include "sim/SimScanner.h"
#include "tests/support/Patience.h"
#include "vantrel/button_event.h"

namespace icatest {
namespace {

using namespace std::chrono_literals;
constexpr uint32_t kLocation = 0x14100000;
const std::string kDescription =
    "serial SIMBTN0001\nlocation-id 0x14100000\ninterrupt-pipes 2\ninquiry-byte 55 0x64\n";
using testsupport::kPatience;

// Polls what a thread of the module changes (a reader blocked in the device, a thread gone),
// for which nothing signals the test; bounded.
template <class Predicate>
bool eventually(Predicate done) {
  auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

class ButtonPath : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = testsupport::freshTestFolder("ica-button");
    useSimulator(root_, kDescription);
    fs::path resources = makeResources(root_ / "resources", testDriver());
    setenv("FERROLITE_SCANNER_RESOURCES", resources.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("VANTREL_NOTIFICATION_DIR", (root_ / "notify").c_str(), 1);
    setenv("LANG", "C", 1);
  }
  void SetUp() override {
    Dictionary opened = module_.open(kLocation);
    ASSERT_EQ(module_.result(opened), 0);
    object_ = module_.object(opened);
    device_ = icamodule::OpenScanner(kLocation);
    ASSERT_TRUE(device_);
    scanner().ClearFaults();
  }
  void TearDown() override {
    if (object_) module_.close(object_);
  }
  static sim::SimScanner& scanner() { return *sim::LoadedScanner(); }
  static void post(const char* what) {
    Dictionary info;
    info.set(vantrel::kButtonEventKey, what);
    auto sent = foundation::postNotification(
        {vantrel::kButtonEventNotification, std::string(vantrel::kScannerModuleBundleId), info});
    ASSERT_TRUE(sent) << sent.error();
    ASSERT_GE(*sent, 1);
  }
  // The reader waits on the interrupt pipe with no packet left. The packets are looked at first:
  // the reader takes the last one in the step that ends its wait, so a wait seen after that is
  // the next read's, begun once the packet was handled.
  static bool readerWaits() {
    return eventually(
        [] { return scanner().PendingButtonPackets() == 0 && scanner().BlockedTransfers() >= 1; });
  }
  void press(uint8_t kind, std::size_t notificationsAfter) {
    scanner().PressButton(kind, 1);
    ASSERT_TRUE(module_.framework().waitForNotifications(notificationsAfter, kPatience));
  }
  uint32_t buttonQuery() {
    Dictionary request;
    request.set(ica::kArgMessageType, "btn?");
    request.set(ica::kArgData, foundation::Data(4, 0));
    return uint32_t(module_.call(ica::kCallSendMessage, object_, request)
                        .integer(ica::kOutDataType)
                        .valueOr(0));
  }

  static fs::path root_;
  ModuleUnderTest module_;
  uint32_t object_ = 0;
  icamodule::ICA_Base* device_ = nullptr;
};
fs::path ButtonPath::root_;

TEST_F(ButtonPath, NoReaderBeforeTheFirstGo) {
  EXPECT_FALSE(device_->buttonThreadRunning());
  EXPECT_EQ(scanner().BlockedTransfers(), 0u);
}

TEST_F(ButtonPath, PressesReachTheHostWhileASessionIsOpen) {
  post("go");
  ASSERT_TRUE(readerWaits());
  EXPECT_EQ(device_->interruptPipeRef4Button(), 4) << "the last interrupt pipe";
  ASSERT_EQ(module_.result(module_.call(ica::kCallOpenSession, object_)), 0);

  press(3, 1);
  auto notes = module_.framework().notifications();
  EXPECT_EQ(notes[0].string(kICANotificationTypeKey).valueOr(""),
            kICANotificationTypeScannerButtonPressed);
  EXPECT_EQ(notes[0].integer(kICANotificationScannerButtonTypeKey).valueOr(0), 0x7363616E);
  EXPECT_EQ(uint32_t(notes[0].integer(kICANotificationICAObjectKey).valueOr(0)), object_);
  EXPECT_TRUE(device_->duplexScanFromTessalineButton());
  EXPECT_EQ(buttonQuery(), 0x7363616Eu);

  press(2, 2);
  EXPECT_FALSE(device_->duplexScanFromTessalineButton());
  press(1, 3);  // any kind counts while a session is open
  EXPECT_EQ(module_.framework().notifications().size(), 3u);

  ASSERT_EQ(module_.result(module_.call(ica::kCallCloseSession, object_)), 0);
  scanner().PressButton(3, 1);
  ASSERT_TRUE(readerWaits());
  EXPECT_EQ(module_.framework().notifications().size(), 3u) << "no session: no notification";
  EXPECT_TRUE(device_->duplexScanFromTessalineButton()) << "a duplex press is still remembered";
}

// A "stop" is answered once the reader has ended, so that the data source that asked opens the
// scanner only then; the module's marker tells it that an answer will come.
TEST_F(ButtonPath, StopIsAnsweredOnceTheReaderHasLetTheScannerGo) {
  EXPECT_TRUE(
      fs::exists(foundation::notificationFolder() /
                 (std::string(vantrel::kButtonReaderMarker) + "." + std::to_string(::getpid()))));
  std::mutex mutex;
  std::condition_variable arrived;
  bool answered = false, readerAtAnswer = true;
  foundation::NotificationObserver answer;
  ASSERT_TRUE(answer
                  .start(vantrel::kButtonReleasedNotification,
                         std::string(vantrel::kScannerModuleBundleId),
                         [&](const foundation::Notification&) {
                           const bool running = device_->buttonThreadRunning();
                           std::lock_guard lock(mutex);
                           readerAtAnswer = running;
                           answered = true;
                           arrived.notify_all();
                         })
                  .ok());
  post("go");
  ASSERT_TRUE(readerWaits());
  post("stop");
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, kPatience, [&] { return answered; }));
    EXPECT_FALSE(readerAtAnswer);
  }
  answer.stop();
}

TEST_F(ButtonPath, StopEndsTheReaderAndASecondGoStartsAnotherOne) {
  foundation::SystemLogCapture log;
  post("go");
  ASSERT_TRUE(readerWaits());
  post("go");  // one reader owns the pipe
  ASSERT_TRUE(eventually([&] { return log.contains("Button thread runs already"); }));
  EXPECT_EQ(scanner().BlockedTransfers(), 1u);

  post("STOP");  // in any case
  ASSERT_TRUE(eventually([&] { return log.contains("Button thread exit"); }));
  ASSERT_TRUE(eventually([&] { return !device_->buttonThreadRunning(); }));
  EXPECT_EQ(scanner().BlockedTransfers(), 0u) << "closing the interface ended the read";

  post("go");
  ASSERT_TRUE(readerWaits());
  module_.call(ica::kCallOpenSession, object_);
  press(2, 1);
}

TEST_F(ButtonPath, AFailedReadClearsTheStallAndReadsAgain) {
  post("go");
  ASSERT_TRUE(readerWaits());
  module_.call(ica::kCallOpenSession, object_);
  scanner().FailInterruptReads(usbhost::kUsbPipeStalled, 1);
  // Wake the reader with a packet: its next read after this one fails, so make it read twice.
  press(2, 1);
  ASSERT_TRUE(eventually([] { return scanner().StallClears() >= 1; }));
  ASSERT_TRUE(readerWaits());
  press(3, 2);
  EXPECT_TRUE(device_->duplexScanFromTessalineButton());
}

TEST_F(ButtonPath, AScannerThatGoesAwayIsLookedForAgain) {
  post("go");
  ASSERT_TRUE(readerWaits());
  module_.call(ica::kCallOpenSession, object_);
  scanner().Unplug();
  ASSERT_TRUE(eventually([] { return scanner().BlockedTransfers() == 0; }));
  scanner().Replug();
  ASSERT_TRUE(readerWaits());
  press(2, 1);
}

TEST_F(ButtonPath, TheDataSourcesPlugInSwitchesTheReader) {
  void* plugin = dlopen(KRCOCOA_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(plugin) << dlerror();
  using Query = long (*)(int32_t stop, const char* vendor);
  auto query = reinterpret_cast<Query>(dlsym(plugin, "queryICAButton"));
  ASSERT_TRUE(query);
  ASSERT_EQ(query(0, "SIMVENDOR"), 0);  // the data source lets the scanner go
  ASSERT_TRUE(readerWaits());
  ASSERT_EQ(query(1, "SIMVENDOR"), 0);  // and takes it
  ASSERT_TRUE(eventually([&] { return !device_->buttonThreadRunning(); }));
  ASSERT_TRUE(eventually([] { return scanner().BlockedTransfers() == 0; }));
  dlclose(plugin);
}

TEST(ButtonBackoff, GrowsToASecond) {
  std::vector<long> waits;
  auto wait = std::chrono::milliseconds(1);
  for (int i = 0; i < 12; ++i) {
    waits.push_back(long(wait.count()));
    wait = icamodule::ICA_Base::nextButtonBackoff(wait);
  }
  EXPECT_EQ(waits, (std::vector<long>{1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1000, 1000}));
}

TEST_F(ButtonPath, TheModulesOwnScanTakesTheScannerFromTheReader) {
  post("go");
  ASSERT_TRUE(readerWaits());
  module_.call(ica::kCallOpenSession, object_);
  press(3, 1);
  Dictionary area;
  area.set("selectedFunctionalUnitType", 3);
  module_.setParameters(object_, area);
  // The driver opens the device (the reader let go of it): the feeder scan runs, not "busy".
  EXPECT_EQ(module_.result(module_.call(ica::kCallStart, object_)), 0);
  EXPECT_TRUE(device_->duplexScanFromTessalineButton()) << "the scan that follows is two-sided";
  auto* mark2 = dynamic_cast<icamodule::KR_ICA_Mark2_200*>(device_);
  ASSERT_NE(mark2, nullptr);
  ASSERT_EQ(mark2->duplexEnabled(), 0u) << "the host did not ask for duplex";
  SCANPARAMETER_UNION param;
  ASSERT_TRUE(mark2->ICAParamToKRParam(&param));
  EXPECT_EQ(param.ScanMethod, 4) << "the button's duplex scan";
  ASSERT_TRUE(readerWaits()) << "the reader came back";
  module_.framework().clearNotifications();  // the scan's own notifications
  press(2, 1);
  ASSERT_TRUE(mark2->ICAParamToKRParam(&param));
  EXPECT_EQ(param.ScanMethod, 1) << "a simplex press scans one side";
}

TEST_F(ButtonPath, ClosingTheDeviceJoinsTheReader) {
  post("go");
  ASSERT_TRUE(readerWaits());
  module_.close(object_);
  object_ = 0;
  EXPECT_EQ(icamodule::OpenScannerCount(), 0u);
  EXPECT_EQ(scanner().BlockedTransfers(), 0u);
}

}  // namespace
}  // namespace icatest
