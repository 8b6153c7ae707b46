// Our Image Capture framework: the channel's messages, every callback on the one framework
// thread, notifications from several threads at once, replies the module waits for, the band
// helper looked up by name, and a module program served over the channel.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <set>
#include <thread>

#include "platform/ica/Channel.h"
#include "platform/ica/Framework.h"
#include "platform/ica/HostConnection.h"
#include "platform/ica/InProcessFramework.h"

namespace {

using foundation::Dictionary;

TEST(IcaChannel, MessagesCrossWholeAndAClosedPeerEndsTheReader) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ica::Channel a(pair[0]), b(pair[1]);
  Dictionary message;
  message.set("call", "openUSBDevice");
  message.set("data", foundation::Data(100000, 7));
  ASSERT_TRUE(a.send(message));
  auto got = b.receive();
  ASSERT_TRUE(got) << got.error();
  EXPECT_EQ(*got, message);
  a.shutdown();
  auto end = b.receive();
  ASSERT_FALSE(end);
  EXPECT_EQ(end.error(), "closed");
}

TEST(IcaChannel, AMalformedMessageIsRefused) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ica::Channel b(pair[1]);
  const uint8_t junk[] = {0, 0, 0, 4, 'j', 'u', 'n', 'k'};
  ASSERT_EQ(write(pair[0], junk, sizeof junk), ssize_t(sizeof junk));
  auto got = b.receive();
  EXPECT_FALSE(got);
  const uint8_t huge[] = {0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(write(pair[0], huge, sizeof huge), ssize_t(sizeof huge));
  EXPECT_FALSE(b.receive());
  close(pair[0]);
}

// Callbacks that record the thread they ran on.
std::atomic<int> gCalls{0};
std::thread::id gThread;
std::set<std::thread::id>* gThreads;
ICAError recordOpen(uint32_t locationID, ScannerObjectInfo* info) {
  gThreads->insert(std::this_thread::get_id());
  ++gCalls;
  std::snprintf(info->name, sizeof info->name, "dev-%08X", locationID);
  return locationID == 0 ? kICABadParameterErr : kICANoErr;
}
ICAError recordSession(const ScannerObjectInfo* info, ICD_ScannerSessionPB*) {
  gThreads->insert(std::this_thread::get_id());
  return info ? kICANoErr : kICABadParameterErr;
}
ICAError recordClose(ScannerObjectInfo*) {
  gThreads->insert(std::this_thread::get_id());
  return kICANoErr;
}

TEST(IcaFramework, EveryCallbackRunsOnTheFrameworkThread) {
  std::set<std::thread::id> threads;
  gThreads = &threads;
  ICD_ScannerCallbackFunctions saved = gICDScannerCallbackFunctions;
  gICDScannerCallbackFunctions = {};
  gICDScannerCallbackFunctions.openUSBDevice = recordOpen;
  gICDScannerCallbackFunctions.openSession = recordSession;
  gICDScannerCallbackFunctions.closeDevice = recordClose;
  {
    ica::InProcessFramework framework;
    std::vector<std::thread> callers;
    for (int i = 1; i <= 4; ++i) {
      callers.emplace_back([&, i] {
        Dictionary open;
        open.set(ica::kMsgCall, ica::kCallOpenUSBDevice);
        open.set(ica::kArgLocationID, i);
        Dictionary r = framework.call(open);
        EXPECT_EQ(r.integer(ica::kMsgResult).valueOr(-1), 0);
        Dictionary session;
        session.set(ica::kMsgCall, ica::kCallOpenSession);
        session.set(ica::kArgObject, r.integer(ica::kArgObject).valueOr(0));
        EXPECT_EQ(framework.call(session).integer(ica::kMsgResult).valueOr(-1), 0);
      });
    }
    for (auto& t : callers) t.join();
    Dictionary unknown;
    unknown.set(ica::kMsgCall, ica::kCallOpenSession);
    unknown.set(ica::kArgObject, 0x7777);
    EXPECT_EQ(framework.call(unknown).integer(ica::kMsgResult).valueOr(0), kICABadParameterErr)
        << "an unknown object reaches the module as no record";
    Dictionary empty;
    empty.set(ica::kMsgCall, ica::kCallStart);
    EXPECT_EQ(framework.call(empty).integer(ica::kMsgResult).valueOr(0), ica::kICAUnimplementedErr);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(*threads.begin(), framework.frameworkThread());
  }  // the four devices are closed on the framework thread
  EXPECT_EQ(threads.size(), 1u);
  gICDScannerCallbackFunctions = saved;
}

TEST(IcaFramework, NotificationsFromManyThreadsAndWaitedReplies) {
  ica::InProcessFramework framework;
  framework.setReplyCode(kICAUserCanceledReply);
  constexpr int kThreads = 4, kEach = 50;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) {
        Dictionary dict;
        dict.set("sender", t);
        ICASendNotificationPB block{};
        block.notificationDictionary = &dict;
        EXPECT_EQ(ICDSendNotification(&block), kICANoErr);
      }
    });
  }
  for (auto& t : senders) t.join();
  EXPECT_EQ(framework.notifications().size(), size_t(kThreads * kEach));
  Dictionary dict;
  ICASendNotificationPB block{};
  block.notificationDictionary = &dict;
  ASSERT_EQ(ICDSendNotificationAndWaitForReply(&block), kICANoErr);
  EXPECT_EQ(int32_t(block.replyCode), kICAUserCanceledReply);
  block.notificationDictionary = nullptr;
  EXPECT_EQ(ICDSendNotification(&block), kICABadParameterErr);
}

TEST(IcaFramework, WithoutAHostNotificationsFail) {
  Dictionary dict;
  ICASendNotificationPB block{};
  block.notificationDictionary = &dict;
  EXPECT_EQ(ICDSendNotification(&block), -1);
  EXPECT_EQ(ICDSendNotificationAndWaitForReply(&block), -1);
}

TEST(IcaHelpers, BandHelperIsFoundByNameOrNotAtAll) {
  void* framework = dlopen(ICA_FRAMEWORK_PATH, RTLD_LAZY | RTLD_LOCAL);
  ASSERT_TRUE(framework) << dlerror();
  auto band = reinterpret_cast<ICDAddBandInfoToNotificationDictionaryProc>(
      dlsym(framework, kICDBandInfoHelperName));
  ASSERT_TRUE(band);
  Dictionary dict;
  const uint8_t rows[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(band(&dict, 3, 10, 8, 8, 1, 0, 1, 3, 4, 2, 6, rows), kICANoErr);
  EXPECT_EQ(dict.integer(kICAImageDataStartRowKey).valueOr(0), 4);
  EXPECT_EQ(dict.integer(kICABandPixelDataTypeKey).valueOr(0), 1);
  EXPECT_EQ(dict.data(kICAImageDataKey)->size(), 6u);
  dlclose(framework);
  setenv("FERROLITE_ICA_FRAMEWORK", "/nonexistent/libICADevices.so", 1);
  EXPECT_EQ(ICAFrameworkLibraryPath(), "/nonexistent/libICADevices.so");
  EXPECT_EQ(dlopen(ICAFrameworkLibraryPath().c_str(), RTLD_LAZY | RTLD_LOCAL), nullptr);
  unsetenv("FERROLITE_ICA_FRAMEWORK");
}

TEST(IcaHelpers, ImageInfoColourSpacesAndTypes) {
  Dictionary dict;
  EXPECT_EQ(ICDAddImageInfoToNotificationDictionary(&dict, 10, 20, 30, 0, 20, 600, nullptr),
            kICANoErr);
  EXPECT_EQ(dict.integer(kICAImageBytesPerRowKey).valueOr(0), 30);
  EXPECT_FALSE(dict.contains(kICAImageDataKey));
  auto grey = ICDCreateColorSpace(8, 1, 1, "", nullptr, "/tmp/vs-1");
  auto rgb = ICDCreateColorSpace(24, 3, 1, "", nullptr, "/tmp/vs-1");
  ASSERT_TRUE(grey && rgb);
  EXPECT_EQ(grey->model, ICAColorSpaceModel::monochrome);
  EXPECT_EQ(rgb->model, ICAColorSpaceModel::rgb);
  EXPECT_FALSE(ICDCreateColorSpace(16, 2, 1, "", nullptr, ""));
  EXPECT_EQ(PreferredExtensionForType("public.tiff"), "tiff");
  EXPECT_EQ(PreferredExtensionForType(kICUTTypeRaw), "");
  EXPECT_EQ(FourCharText(kICAButtonScan), "scan");
  EXPECT_EQ(kICAButtonScan, 0x7363616Eu);
}

}  // namespace
