#pragma once
// The test host of a TWAIN data source: it plays the data source manager on Linux and the
// application in one process. As the manager it loads the bundle's module the way the Linux
// manager does, numbers the application 1 and the source 3, hands a 2.x source its entry points
// (or, in the exported mode, lets the source find the program's DSM_Entry), tracks every block of
// its allocator and takes the source's messages into a queue. As the application it sends every
// triplet through typed helpers that build and read the records byte by byte, and keeps a journal.
// Whatever the source does wrong that the manager would not see as a return code (a leak, a
// double free, a forgotten Id, a re-entrant call, a thread left behind) is listed in faults().
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/twain/Twain.h"
#include "tools/twain/Records.h"

// The manager's entry as the program exports it in the exported mode (link the program with
// -Wl,--export-dynamic-symbol=DSM_Entry). It reaches the one Host of the process.
extern "C" TW_EXPORT TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG,
                                         TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);

namespace twainhost {

// How the source reaches the manager: a pushed TW_ENTRYPOINT, or the program's exported symbol.
enum class EntryMode { kPushed, kExported };

// The Ids the manager gives.
inline constexpr uint32_t kApplicationId = 1;
inline constexpr uint32_t kSourceId = 3;

struct Answer {
  uint16_t rc = TWRC_FAILURE;
  uint16_t cc = TWCC_SUCCESS;  // read through DAT_STATUS after a failure or a cancel
  bool ok() const { return rc == TWRC_SUCCESS; }
};

template <class T>
struct Reply : Answer {
  T value{};
};

struct JournalEntry {
  uint32_t dg = 0;
  uint16_t dat = 0, msg = 0;
  uint16_t rc = 0;
  bool conditionRead = false;
  uint16_t cc = 0;
  std::string Describe() const;
};

// One message the source sent to the application through the manager.
struct ManagerMessage {
  uint16_t dat = 0;      // DAT_CALLBACK (2.x) or DAT_NULL (1.x)
  uint16_t message = 0;  // MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK, MSG_DEVICEEVENT
  Identity origin;
  Identity destination;
  // Whether the message came on the thread of an application's call still inside DS_Entry: the
  // manager would have called the application back from inside its own call. And the thread it
  // came on.
  bool duringCall = false;
  std::thread::id thread;
};

struct ImageInfo {
  double xResolution = 0, yResolution = 0;
  int32_t width = 0, length = 0;
  int16_t samplesPerPixel = 0;
  int16_t bitsPerSample[8] = {};
  int16_t bitsPerPixel = 0;
  uint16_t planar = 0;
  int16_t pixelType = 0;
  uint16_t compression = 0;
};

struct ImageLayout {
  double left = 0, top = 0, right = 0, bottom = 0;  // inches
  uint32_t document = 0, page = 0, frame = 0;
};

struct SetupMemXfer {
  uint32_t minBufSize = 0, maxBufSize = 0, preferred = 0;
};

struct SetupFileXfer {
  std::string fileName;
  uint16_t format = 0;
  int16_t vRefNum = 0;
};

struct MemoryStrip {
  uint16_t compression = 0;
  uint32_t bytesPerRow = 0, columns = 0, rows = 0, xOffset = 0, yOffset = 0, bytesWritten = 0;
  std::vector<uint8_t> data;  // the strip's BytesWritten bytes
};

struct ExtImageEntry {
  uint16_t id = 0, itemType = 0, numItems = 0, returnCode = 0;
  uint64_t item = 0;          // the Item field as it came
  std::vector<uint8_t> data;  // the block Item referred to, for the entries that hand one over
};

struct CustomReply {
  uint32_t command = 0, error = 0;
  std::u16string message;
};

class Host {
 public:
  explicit Host(EntryMode mode = EntryMode::kPushed);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- manager ----

  // Finds the bundle's module (the one regular file under the folder whose name contains ".ds";
  // links are skipped), loads it, asks its identity and unloads it again, as the manager does when
  // the application opens it. False with the reason when the manager would not keep the source.
  bool OpenManager(const std::string& bundleFolder, std::string* error);
  // The same for a source linked into the test program: `entry` stands for the module's
  // DS_Entry; loading and unloading change nothing, everything else is as with a module.
  bool OpenManagerInProcess(DSENTRYPROC entry, std::string* error);
  // Load, identity and unload once more; then load for the session, hand the entry points over
  // (pushed mode, to a source with DF_DS2) and MSG_OPENDS with the source's identity (Id 3).
  // A refused open unloads the module again.
  Answer OpenSource();
  // MSG_CLOSEDS; once it succeeds the module is unloaded and checked for leaked blocks and
  // threads left running.
  Answer CloseSource();

  EntryMode mode() const { return mode_; }
  const std::string& modulePath() const { return modulePath_; }
  bool sessionLoaded() const { return module_ != nullptr; }
  bool inProcess() const { return inProcessEntry_ != nullptr; }
  const Identity& source() const { return source_; }
  const Identity& application() const { return application_; }
  // Before OpenSource: the application's identity (its Id stays 1).
  void SetApplication(const Identity& application);
  // Whether DAT_ENTRYPOINT went to the source in this session, and was taken.
  bool entryPointPushed() const { return entryPointPushed_; }

  // The messages the source sent, oldest first.
  std::deque<ManagerMessage> TakeMessages();
  size_t pendingMessages() const;
  // Waits until at least `count` messages are pending (a source may send them from a thread of
  // its own once the call that caused them has returned); false when `patience` passed first.
  bool WaitForMessages(size_t count, std::chrono::milliseconds patience);
  // The manager's condition code of the last message it refused.
  uint16_t managerCondition() const;

  // Faults of the source found so far; tests expect none unless they provoke one.
  std::vector<std::string> faults() const;
  void ClearFaults();
  // How long the close waits for the source's threads to end before it calls one left behind.
  void SetThreadExitPatience(std::chrono::milliseconds patience) { threadExitPatience_ = patience; }
  // Blocks the manager's allocator handed out and nobody freed yet.
  size_t liveBlocks() const;
  // A manager out of memory, for tests: the next `count` blocks the source asks for are refused.
  void FailAllocations(uint32_t count);

  // Whether the loader still holds the file (RTLD_NOLOAD).
  static bool IsResident(const std::string& path);

  // ---- application ----

  // After a TWRC_FAILURE or TWRC_CANCEL ask DAT_STATUS for the condition code (on by default;
  // off for tests that read the status themselves).
  void set_auto_status(bool on) { autoStatus_ = on; }

  // One triplet to the source as it is; journaled. nullOrigin sends no identity at all.
  Answer Call(uint32_t dg, uint16_t dat, uint16_t msg, void* data, bool nullOrigin = false);
  const std::vector<JournalEntry>& journal() const { return journal_; }
  std::string DescribeJournal() const;

  Reply<Identity> GetIdentity();
  Reply<uint16_t> GetStatus();
  Reply<uint16_t> ProcessEvent();  // the TWMessage the source wrote
  Reply<uint32_t> GetXferGroup();
  Answer EnableDs(bool showUi, bool modalUi = false);
  Answer EnableDsUiOnly();
  Answer DisableDs();

  // MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET (or MSG_QUERYSUPPORT): the container the
  // source answered, read and freed.
  Reply<Container> Capability(uint16_t msg, uint16_t cap);
  // MSG_SET with a container the application builds in a block of the manager's allocator.
  Answer SetCapability(uint16_t cap, const Container& value);

  Reply<uint16_t> PendingXfers(uint16_t msg);  // MSG_GET, MSG_ENDXFER, MSG_RESET: the Count
  Reply<SetupMemXfer> GetSetupMemXfer();
  Reply<SetupFileXfer> SetupFile(uint16_t msg, const SetupFileXfer& value = {});
  Reply<ImageInfo> GetImageInfo();
  Reply<ImageLayout> Layout(uint16_t msg, const ImageLayout& value = {});
  // One strip into a buffer of `bufferSize` bytes, given as a pointer or as a handle.
  Reply<MemoryStrip> MemXfer(uint32_t bufferSize, bool asHandle = false);
  // The native transfer's block, read and freed. In the exported mode the manager does not know
  // the block's size: the allocator's usable size is read, which may be a little more.
  Reply<std::vector<uint8_t>> NativeXfer();
  Answer FileXfer();
  // The entries asked for, with the blocks of the entries that hand one over read and freed.
  Reply<std::vector<ExtImageEntry>> ExtImageInfo(const std::vector<uint16_t>& ids);
  Reply<CustomReply> Custom(uint16_t msg, uint32_t command = KRCUSTOMCOMMAND_LASTERROR);

  // A block of the manager's allocator that the application owns (freed by FreeOwn).
  void* AllocateOwn(size_t size);
  void FreeOwn(void* block);

  // ---- the manager's functions, reached by the source ----
  TW_UINT16 FromSource(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat,
                       TW_UINT16 msg, TW_MEMREF data);
  TW_HANDLE SourceAllocate(TW_UINT32 size);
  void SourceFree(TW_HANDLE block);
  TW_MEMREF SourceLock(TW_HANDLE block);
  void SourceUnlock(TW_HANDLE block);

 private:
  enum class Owner { kSource, kApplication };
  struct Block {
    size_t size;
    Owner owner;
  };

  bool LoadModule(std::string* error);
  void UnloadModule();
  // Load, MSG_GET of the identity with Id 3 in the record, unload.
  bool ProbeIdentity(std::string* error);
  void Fault(const std::string& what);
  // A block the source handed over: its bytes, then freed as the application frees it.
  std::vector<uint8_t> TakeHandedOver(void* block, size_t sizeIfUnknown);
  // Size of a block the source handed over; 0 when it is not one the manager knows.
  size_t HandedOverSize(void* block) const;
  static int CountThreads();

  EntryMode mode_;
  std::string bundle_, modulePath_;
  void* module_ = nullptr;
  DSENTRYPROC dsEntry_ = nullptr;
  DSENTRYPROC inProcessEntry_ = nullptr;
  Identity application_, source_;
  bool sourceOpen_ = false;
  bool entryPointPushed_ = false;
  bool autoStatus_ = true;
  int depth_ = 0;
  int threadsBeforeSession_ = 0;
  // A toolkit's threads may take a while to leave the system's list on a loaded machine.
  std::chrono::milliseconds threadExitPatience_{std::chrono::seconds(20)};
  std::vector<JournalEntry> journal_;

  mutable std::mutex lock_;  // what the source may reach from a thread of its own
  std::condition_variable messageCame_;
  std::deque<ManagerMessage> messages_;
  std::vector<std::string> faults_;
  std::map<void*, Block> blocks_;
  uint32_t failAllocations_ = 0;  // refusals still to come
  uint16_t managerCondition_ = TWCC_SUCCESS;
};

// Copies a bundle folder (files, never links) into `intoFolder`; the copy's path, "" on failure.
std::string CopyBundle(const std::string& bundle, const std::string& intoFolder,
                       std::string* error);

}  // namespace twainhost
