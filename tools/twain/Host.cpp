#include "tools/twain/Host.h"

#include <dirent.h>
#include <dlfcn.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace twainhost {
namespace {

using namespace layout;

// How often the close looks for the source's threads in the system's list.
constexpr std::chrono::milliseconds kThreadListPoll{5};

// The application's calls into DS_Entry on this thread: a message that arrives while one is on
// is a callback from inside the application's own call.
thread_local int tCallDepth = 0;

// The one host of the process: the manager's functions reach it from the source.
Host* gHost = nullptr;

TW_HANDLE ManagerAllocate(TW_UINT32 size) {
  return gHost != nullptr ? gHost->SourceAllocate(size) : nullptr;
}
void ManagerFree(TW_HANDLE block) {
  if (gHost != nullptr) gHost->SourceFree(block);
}
TW_MEMREF ManagerLock(TW_HANDLE block) {
  return gHost != nullptr ? gHost->SourceLock(block) : nullptr;
}
void ManagerUnlock(TW_HANDLE block) {
  if (gHost != nullptr) gHost->SourceUnlock(block);
}

bool IsSourceMessage(uint16_t message) {
  return message == MSG_XFERREADY || message == MSG_CLOSEDSREQ || message == MSG_CLOSEDSOK ||
         message == MSG_DEVICEEVENT;
}

// Extended-information entries whose Item is a block the source allocated: the texts, and the
// barcode entries of several values (one value travels in Item itself).
bool HandsOverBlock(uint16_t infoId, uint16_t numItems) {
  if (infoId == TWEI_BARCODETEXT) return true;
  return numItems > 1 && (infoId == TWEI_BARCODEX || infoId == TWEI_BARCODEY ||
                          infoId == TWEI_BARCODETYPE || infoId == TWEI_BARCODETEXTLENGTH);
}

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%X", v);
  return b;
}

Identity DefaultApplication() {
  Identity a;
  a.id = kApplicationId;
  a.major = 1;
  a.minor = 0;
  a.language = TWLG_ENGLISH_USA;
  a.country = TWCY_USA;
  a.info = "1.0";
  a.protocolMajor = 2;
  a.protocolMinor = 4;
  a.supportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2 | DF_DSM2;
  a.manufacturer = "Vantrel project";
  a.productFamily = "Test hosts";
  a.productName = "twainhost";
  return a;
}

}  // namespace
}  // namespace twainhost

extern "C" TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG,
                               TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
  if (twainhost::gHost == nullptr) return TWRC_FAILURE;
  return twainhost::gHost->FromSource(pOrigin, pDest, DG, DAT, MSG, pData);
}

namespace twainhost {

std::string JournalEntry::Describe() const {
  std::string s =
      "DG " + Hex(dg) + " DAT " + Hex(dat) + " MSG " + Hex(msg) + " -> rc " + std::to_string(rc);
  if (conditionRead) s += " cc " + std::to_string(cc);
  return s;
}

Host::Host(EntryMode mode) : mode_(mode), application_(DefaultApplication()) {
  if (gHost != nullptr) {
    std::fprintf(stderr, "twainhost: one Host per process\n");
    std::abort();
  }
  gHost = this;
  if (mode_ == EntryMode::kExported && dlsym(RTLD_DEFAULT, "DSM_Entry") == nullptr) {
    Fault("the program does not export DSM_Entry (link it with --export-dynamic-symbol)");
  }
}

Host::~Host() {
  if (module_ != nullptr) {
    // A test that stopped half-way: close as an application would, disabling first if need be,
    // so that the source ends its threads before its code goes away.
    if (sourceOpen_ && !CloseSource().ok()) {
      DisableDs();
      CloseSource();
    }
    UnloadModule();
  }
  for (auto& [block, info] : blocks_) std::free(block);
  gHost = nullptr;
}

void Host::SetApplication(const Identity& application) {
  application_ = application;
  application_.id = kApplicationId;
}

void Host::Fault(const std::string& what) {
  std::lock_guard<std::mutex> hold(lock_);
  faults_.push_back(what);
}

std::vector<std::string> Host::faults() const {
  std::lock_guard<std::mutex> hold(lock_);
  return faults_;
}

void Host::ClearFaults() {
  std::lock_guard<std::mutex> hold(lock_);
  faults_.clear();
}

size_t Host::liveBlocks() const {
  std::lock_guard<std::mutex> hold(lock_);
  return blocks_.size();
}

std::deque<ManagerMessage> Host::TakeMessages() {
  std::lock_guard<std::mutex> hold(lock_);
  std::deque<ManagerMessage> taken;
  taken.swap(messages_);
  return taken;
}

size_t Host::pendingMessages() const {
  std::lock_guard<std::mutex> hold(lock_);
  return messages_.size();
}

bool Host::WaitForMessages(size_t count, std::chrono::milliseconds patience) {
  std::unique_lock<std::mutex> hold(lock_);
  return messageCame_.wait_for(hold, patience, [&] { return messages_.size() >= count; });
}

uint16_t Host::managerCondition() const {
  std::lock_guard<std::mutex> hold(lock_);
  return managerCondition_;
}

bool Host::IsResident(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

int Host::CountThreads() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* e = readdir(tasks)) {
      if (e->d_name[0] == '.') continue;
      // Qt's D-Bus thread stays for the life of the process once a window was shown on a desktop.
      std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      if (name != "QDBusConnection") ++count;
    }
    closedir(tasks);
  }
  return count;
}

// ---- loading ----

bool Host::OpenManagerInProcess(DSENTRYPROC entry, std::string* error) {
  bundle_.clear();
  modulePath_ = "(in process)";
  inProcessEntry_ = entry;
  if (entry == nullptr) {
    *error = "no entry for the source in the process";
    return false;
  }
  return ProbeIdentity(error);
}

bool Host::OpenManager(const std::string& bundleFolder, std::string* error) {
  inProcessEntry_ = nullptr;
  bundle_ = bundleFolder;
  modulePath_.clear();
  std::vector<std::string> found;
  std::error_code ec;
  // The manager looks at regular files only and skips links, also in sub-folders.
  for (fs::recursive_directory_iterator it(bundleFolder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::file_status status = it->symlink_status();
    if (fs::is_regular_file(status) &&
        it->path().filename().string().find(".ds") != std::string::npos) {
      found.push_back(it->path().string());
    }
  }
  if (ec) {
    *error = "cannot read the bundle folder " + bundleFolder + ": " + ec.message();
    return false;
  }
  if (found.size() != 1) {
    *error = found.empty() ? "no data source (a file with \".ds\" in its name) in " + bundleFolder
                           : "more than one file with \".ds\" in its name in " + bundleFolder;
    return false;
  }
  modulePath_ = found.front();
  return ProbeIdentity(error);
}

bool Host::LoadModule(std::string* error) {
  if (inProcessEntry_ != nullptr) {
    // Any non-null handle marks the session; nothing is loaded.
    module_ = reinterpret_cast<void*>(inProcessEntry_);
    dsEntry_ = inProcessEntry_;
    return true;
  }
  // Immediate binding: a source with an unresolved symbol fails to load, not in mid-session.
  module_ = dlopen(modulePath_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module_ == nullptr) {
    const char* why = dlerror();
    *error = "cannot load " + modulePath_ + ": " + (why ? why : "unknown reason");
    return false;
  }
  dsEntry_ = reinterpret_cast<DSENTRYPROC>(dlsym(module_, "DS_Entry"));
  if (dsEntry_ == nullptr) {
    *error = modulePath_ + " does not export DS_Entry";
    UnloadModule();
    return false;
  }
  return true;
}

void Host::UnloadModule() {
  if (module_ != nullptr && inProcessEntry_ == nullptr) dlclose(module_);
  module_ = nullptr;
  dsEntry_ = nullptr;
  sourceOpen_ = false;
}

bool Host::ProbeIdentity(std::string* error) {
  if (!LoadModule(error)) return false;
  Identity asked;
  asked.id = kSourceId;
  Bytes record = asked.Write();
  const Answer a = Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, record.data());
  UnloadModule();
  if (a.rc != TWRC_SUCCESS) {
    *error = "the source refused DAT_IDENTITY / MSG_GET (rc " + std::to_string(a.rc) + ")";
    return false;
  }
  source_ = Identity::Read(record.data());
  if (source_.id != kSourceId) {
    Fault("MSG_GET of the identity overwrote the Id the manager gave (" +
          std::to_string(kSourceId) + " became " + std::to_string(source_.id) + ")");
    source_.id = kSourceId;
  }
  // The Linux manager keeps only sources of both groups and a protocol it knows.
  if ((source_.supportedGroups & (DG_CONTROL | DG_IMAGE)) != (DG_CONTROL | DG_IMAGE)) {
    *error = "the source's SupportedGroups " + Hex(source_.supportedGroups) +
             " lack DG_CONTROL or DG_IMAGE";
    return false;
  }
  if (source_.protocolMajor != 1 && source_.protocolMajor != 2) {
    *error = "the source's protocol " + std::to_string(source_.protocolMajor) + "." +
             std::to_string(source_.protocolMinor) + " is not one the manager knows";
    return false;
  }
  return true;
}

Answer Host::OpenSource() {
  Answer refused;
  refused.rc = TWRC_FAILURE;
  refused.cc = TWCC_NODS;
  std::string error;
  if (modulePath_.empty() || module_ != nullptr || !ProbeIdentity(&error)) {
    if (!error.empty()) Fault(error);
    return refused;
  }
  threadsBeforeSession_ = CountThreads();
  if (!LoadModule(&error)) {
    Fault(error);
    return refused;
  }
  entryPointPushed_ = false;
  if (mode_ == EntryMode::kPushed && (source_.supportedGroups & DF_DS2) != 0) {
    Bytes entry(kEntryPointSize);
    entry.setU32(kEntrySize, kEntryPointSize);
    entry.setPointer(kEntryDsm, reinterpret_cast<const void*>(&::DSM_Entry));
    entry.setPointer(kEntryAllocate, reinterpret_cast<const void*>(&ManagerAllocate));
    entry.setPointer(kEntryFree, reinterpret_cast<const void*>(&ManagerFree));
    entry.setPointer(kEntryLock, reinterpret_cast<const void*>(&ManagerLock));
    entry.setPointer(kEntryUnlock, reinterpret_cast<const void*>(&ManagerUnlock));
    entryPointPushed_ = Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, entry.data()).ok();
  }
  Identity opened = source_;
  opened.id = kSourceId;
  Bytes record = opened.Write();
  sourceOpen_ = true;  // messages are welcome from MSG_OPENDS on
  const Answer a = Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, record.data());
  const Identity answered = Identity::Read(record.data());
  if (answered.id != kSourceId) {
    Fault("MSG_OPENDS changed the Id the manager gave (" + std::to_string(kSourceId) + " became " +
          std::to_string(answered.id) + ")");
  }
  if (!a.ok()) UnloadModule();
  return a;
}

Answer Host::CloseSource() {
  if (module_ == nullptr) return Answer{};
  Identity opened = source_;
  Bytes record = opened.Write();
  const Answer a = Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, record.data());
  if (!a.ok()) return a;
  UnloadModule();
  {
    std::lock_guard<std::mutex> hold(lock_);
    size_t leaked = 0, bytes = 0;
    for (auto it = blocks_.begin(); it != blocks_.end();) {
      if (it->second.owner == Owner::kSource) {
        ++leaked;
        bytes += it->second.size;
        std::free(it->first);
        it = blocks_.erase(it);
      } else {
        ++it;
      }
    }
    if (leaked > 0) {
      faults_.push_back("the source leaked " + std::to_string(leaked) + " block(s) of the " +
                        "manager's allocator (" + std::to_string(bytes) + " bytes)");
    }
  }
  // A toolkit's pool threads (Qt's, after the source's dialog) are detached: the toolkit has
  // waited for them, but the system lists each until its exit has run.
  const auto patience = std::chrono::steady_clock::now() + threadExitPatience_;
  int threads = CountThreads();
  while (threads > threadsBeforeSession_ && std::chrono::steady_clock::now() < patience) {
    std::this_thread::sleep_for(kThreadListPoll);
    threads = CountThreads();
  }
  if (threads > threadsBeforeSession_) {
    Fault("the source left " + std::to_string(threads - threadsBeforeSession_) +
          " thread(s) running after MSG_CLOSEDS");
  }
  return a;
}

// ---- the manager's side of the source's calls ----

TW_UINT16 Host::FromSource(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg,
                           TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  auto refuse = [&](uint16_t condition, const std::string& why) {
    std::lock_guard<std::mutex> hold(lock_);
    managerCondition_ = condition;
    faults_.push_back("manager refused DG " + Hex(dg) + " DAT " + Hex(dat) + " MSG " + Hex(msg) +
                      ": " + why);
    return TWRC_FAILURE;
  };
  if (module_ == nullptr || !sourceOpen_) return refuse(TWCC_SEQERROR, "no source is open");
  if (origin == nullptr) return refuse(TWCC_BADVALUE, "no origin");
  const Identity from = Identity::Read(reinterpret_cast<const uint8_t*>(origin));
  if (from.id != kSourceId) {
    return refuse(TWCC_BADPROTOCOL, "origin Id " + std::to_string(from.id) +
                                        " is not the source's " + std::to_string(kSourceId));
  }
  if (destination == nullptr) return refuse(TWCC_BADDEST, "null destination");
  const Identity to = Identity::Read(reinterpret_cast<const uint8_t*>(destination));
  if (to.id == kSourceId) {
    // The real manager would call DS_Entry from inside the source's own call.
    return refuse(TWCC_BADDEST, "re-entrant: the source addresses itself through the manager");
  }
  if (to.id != kApplicationId) {
    return refuse(TWCC_BADDEST, "destination Id " + std::to_string(to.id) +
                                    " is not the application's " + std::to_string(kApplicationId));
  }
  if (dg != DG_CONTROL) return refuse(TWCC_BADPROTOCOL, "not DG_CONTROL");
  uint16_t message = 0;
  if (dat == DAT_CALLBACK) {
    if (msg != MSG_INVOKE_CALLBACK) return refuse(TWCC_BADPROTOCOL, "not MSG_INVOKE_CALLBACK");
    if (data == nullptr) return refuse(TWCC_BADVALUE, "no TW_CALLBACK");
    const Bytes callback(data, kCallbackSize);
    message = callback.u16(kCallbackMessage);
  } else if (dat == DAT_NULL) {
    message = msg;
  } else {
    return refuse(TWCC_BADPROTOCOL, "a source may only send messages");
  }
  if (!IsSourceMessage(message)) {
    return refuse(TWCC_BADPROTOCOL, "unknown message " + Hex(message));
  }
  std::lock_guard<std::mutex> hold(lock_);
  messages_.push_back(
      ManagerMessage{dat, message, from, to, tCallDepth > 0, std::this_thread::get_id()});
  managerCondition_ = TWCC_SUCCESS;
  messageCame_.notify_all();
  return TWRC_SUCCESS;
}

void Host::FailAllocations(uint32_t count) {
  std::lock_guard<std::mutex> hold(lock_);
  failAllocations_ = count;
}

TW_HANDLE Host::SourceAllocate(TW_UINT32 size) {
  std::lock_guard<std::mutex> hold(lock_);
  if (failAllocations_ != 0) {
    --failAllocations_;
    return nullptr;
  }
  void* block = std::calloc(1, size == 0 ? 1 : size);
  if (block == nullptr) return nullptr;
  blocks_[block] = Block{size, Owner::kSource};
  return block;
}

void Host::SourceFree(TW_HANDLE block) {
  if (block == nullptr) return;
  std::lock_guard<std::mutex> hold(lock_);
  auto it = blocks_.find(block);
  if (it == blocks_.end()) {
    // Freed twice, or never the manager's: freeing it would corrupt the heap.
    faults_.push_back("the source freed a block the manager does not know (double free?)");
    return;
  }
  if (it->second.owner == Owner::kApplication) {
    faults_.push_back("the source freed a block the application made");
  }
  std::free(it->first);
  blocks_.erase(it);
}

TW_MEMREF Host::SourceLock(TW_HANDLE block) {
  std::lock_guard<std::mutex> hold(lock_);
  if (block != nullptr && blocks_.count(block) == 0) {
    faults_.push_back("the source locked a block the manager does not know");
  }
  return block;
}

void Host::SourceUnlock(TW_HANDLE block) {
  std::lock_guard<std::mutex> hold(lock_);
  if (block != nullptr && blocks_.count(block) == 0) {
    faults_.push_back("the source unlocked a block the manager does not know");
  }
}

void* Host::AllocateOwn(size_t size) {
  void* block = std::calloc(1, size == 0 ? 1 : size);
  std::lock_guard<std::mutex> hold(lock_);
  if (block != nullptr) blocks_[block] = Block{size, Owner::kApplication};
  return block;
}

void Host::FreeOwn(void* block) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = blocks_.find(block);
  if (it == blocks_.end()) return;  // the source freed it already (and that was noted)
  std::free(it->first);
  blocks_.erase(it);
}

size_t Host::HandedOverSize(void* block) const {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = blocks_.find(block);
  return it != blocks_.end() && it->second.owner == Owner::kSource ? it->second.size : 0;
}

std::vector<uint8_t> Host::TakeHandedOver(void* block, size_t sizeIfUnknown) {
  if (block == nullptr) return {};
  std::unique_lock<std::mutex> hold(lock_);
  auto it = blocks_.find(block);
  if (it != blocks_.end() && it->second.owner == Owner::kSource) {
    const uint8_t* bytes = static_cast<const uint8_t*>(block);
    std::vector<uint8_t> copy(bytes, bytes + it->second.size);
    std::free(block);
    blocks_.erase(it);
    return copy;
  }
  hold.unlock();
  if (mode_ == EntryMode::kPushed && entryPointPushed_) {
    // With the entry point, every block handed over must come from the manager's allocator;
    // this one may not even be a heap block, so it is left alone.
    Fault("the source handed over a block that is not from the manager's allocator");
    return {};
  }
  // Without the entry point the source allocates with calloc, and the application frees.
  const size_t size = sizeIfUnknown != 0 ? sizeIfUnknown : malloc_usable_size(block);
  const uint8_t* bytes = static_cast<const uint8_t*>(block);
  std::vector<uint8_t> copy(bytes, bytes + size);
  std::free(block);
  return copy;
}

// ---- the application's calls ----

Answer Host::Call(uint32_t dg, uint16_t dat, uint16_t msg, void* data, bool nullOrigin) {
  Answer a;
  JournalEntry entry;
  entry.dg = dg;
  entry.dat = dat;
  entry.msg = msg;
  if (dsEntry_ == nullptr) {
    entry.rc = a.rc = TWRC_FAILURE;
    journal_.push_back(entry);
    return a;
  }
  if (depth_ > 0) {
    Fault("DS_Entry called while another DS_Entry call runs (" + entry.Describe() + ")");
    entry.rc = a.rc = TWRC_FAILURE;
    journal_.push_back(entry);
    return a;
  }
  // A fresh copy of the application's identity at another address each call, as the manager
  // passes it: a source that keeps the pointer reads freed memory.
  std::unique_ptr<uint8_t[]> origin;
  if (!nullOrigin) {
    const Bytes identity = application_.Write();
    origin.reset(new uint8_t[kIdentitySize]);
    std::memcpy(origin.get(), identity.data(), kIdentitySize);
  }
  ++depth_;
  ++tCallDepth;
  a.rc = dsEntry_(reinterpret_cast<TW_IDENTITY*>(origin.get()), dg, dat, msg, data);
  --tCallDepth;
  --depth_;
  entry.rc = a.rc;
  if (autoStatus_ && (a.rc == TWRC_FAILURE || a.rc == TWRC_CANCEL) &&
      !(dg == DG_CONTROL && dat == DAT_STATUS)) {
    Bytes status(kStatusSize);
    ++depth_;
    ++tCallDepth;
    const TW_UINT16 src = dsEntry_(reinterpret_cast<TW_IDENTITY*>(origin.get()), DG_CONTROL,
                                   DAT_STATUS, MSG_GET, status.data());
    --tCallDepth;
    --depth_;
    if (src == TWRC_SUCCESS) {
      entry.conditionRead = true;
      entry.cc = a.cc = status.u16(kStatusCondition);
    }
  }
  journal_.push_back(entry);
  return a;
}

std::string Host::DescribeJournal() const {
  std::string s;
  for (const JournalEntry& e : journal_) s += e.Describe() + "\n";
  return s;
}

namespace {
template <class T>
Reply<T> With(const Answer& a) {
  Reply<T> r;
  r.rc = a.rc;
  r.cc = a.cc;
  return r;
}
}  // namespace

Reply<Identity> Host::GetIdentity() {
  Identity asked;
  asked.id = kSourceId;
  Bytes record = asked.Write();
  auto r = With<Identity>(Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, record.data()));
  r.value = Identity::Read(record.data());
  return r;
}

Reply<uint16_t> Host::GetStatus() {
  Bytes record(kStatusSize);
  auto r = With<uint16_t>(Call(DG_CONTROL, DAT_STATUS, MSG_GET, record.data()));
  r.value = record.u16(kStatusCondition);
  return r;
}

Reply<uint16_t> Host::ProcessEvent() {
  Bytes record(kEventSize);
  record.setU16(kEventMessage, 0xFFFF);  // so that "wrote MSG_NULL" shows
  auto r = With<uint16_t>(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, record.data()));
  r.value = record.u16(kEventMessage);
  return r;
}

Reply<uint32_t> Host::GetXferGroup() {
  Bytes record(4);
  record.setU32(0, 0xFFFFFFFF);  // so that a partly written value shows
  auto r = With<uint32_t>(Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, record.data()));
  r.value = record.u32(0);
  return r;
}

Answer Host::EnableDs(bool showUi, bool modalUi) {
  Bytes record(kUserInterfaceSize);
  record.setU16(kUiShow, showUi ? 1 : 0);
  record.setU16(kUiModal, modalUi ? 1 : 0);
  return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, record.data());
}

Answer Host::EnableDsUiOnly() {
  Bytes record(kUserInterfaceSize);
  record.setU16(kUiShow, 1);
  return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, record.data());
}

Answer Host::DisableDs() {
  Bytes record(kUserInterfaceSize);
  return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, record.data());
}

Reply<Container> Host::Capability(uint16_t msg, uint16_t cap) {
  Bytes record(kCapabilitySize);
  record.setU16(kCapCap, cap);
  record.setU16(kCapConType, TWON_DONTCARE16);
  auto r = With<Container>(Call(DG_CONTROL, DAT_CAPABILITY, msg, record.data()));
  void* block = record.pointer(kCapContainer);
  if (block == nullptr) {
    if (r.ok()) Fault("a successful capability answer without a container");
    return r;
  }
  const size_t known = HandedOverSize(block);
  const std::vector<uint8_t> bytes = TakeHandedOver(block, 0);
  std::string error;
  if (!Container::Parse(record.u16(kCapConType), bytes.data(), bytes.size(), &r.value, &error)) {
    Fault("capability " + Hex(cap) + ": " + error + (known == 0 ? " (size not tracked)" : ""));
  }
  return r;
}

Answer Host::SetCapability(uint16_t cap, const Container& value) {
  const Bytes built = value.Build();
  void* block = AllocateOwn(built.size());
  std::memcpy(block, built.data(), built.size());
  Bytes record(kCapabilitySize);
  record.setU16(kCapCap, cap);
  record.setU16(kCapConType, value.conType);
  record.setPointer(kCapContainer, block);
  const Answer a = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, record.data());
  FreeOwn(block);
  return a;
}

Reply<uint16_t> Host::PendingXfers(uint16_t msg) {
  Bytes record(kPendingSize);
  record.setU16(kPendingCount, 0xAAAA);
  auto r = With<uint16_t>(Call(DG_CONTROL, DAT_PENDINGXFERS, msg, record.data()));
  r.value = record.u16(kPendingCount);
  return r;
}

Reply<SetupMemXfer> Host::GetSetupMemXfer() {
  Bytes record(kSetupMemSize);
  auto r = With<SetupMemXfer>(Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, record.data()));
  r.value.minBufSize = record.u32(kSetupMemMin);
  r.value.maxBufSize = record.u32(kSetupMemMax);
  r.value.preferred = record.u32(kSetupMemPreferred);
  return r;
}

Reply<SetupFileXfer> Host::SetupFile(uint16_t msg, const SetupFileXfer& value) {
  Bytes record(kSetupFileSize);
  record.setText(kSetupFileName, kStr255, value.fileName);
  record.setU16(kSetupFileFormat, value.format);
  record.setU16(kSetupFileVRefNum, uint16_t(value.vRefNum));
  auto r = With<SetupFileXfer>(Call(DG_CONTROL, DAT_SETUPFILEXFER, msg, record.data()));
  r.value.fileName = record.text(kSetupFileName, kStr255);
  r.value.format = record.u16(kSetupFileFormat);
  r.value.vRefNum = record.i16(kSetupFileVRefNum);
  return r;
}

Reply<ImageInfo> Host::GetImageInfo() {
  Bytes record(kImageInfoSize);
  auto r = With<ImageInfo>(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, record.data()));
  ImageInfo& v = r.value;
  v.xResolution = record.fix32(kInfoXResolution);
  v.yResolution = record.fix32(kInfoYResolution);
  v.width = record.i32(kInfoWidth);
  v.length = record.i32(kInfoLength);
  v.samplesPerPixel = record.i16(kInfoSamples);
  for (int i = 0; i < 8; ++i) v.bitsPerSample[i] = record.i16(kInfoBitsPerSample + 2 * i);
  v.bitsPerPixel = record.i16(kInfoBitsPerPixel);
  v.planar = record.u16(kInfoPlanar);
  v.pixelType = record.i16(kInfoPixelType);
  v.compression = record.u16(kInfoCompression);
  return r;
}

Reply<ImageLayout> Host::Layout(uint16_t msg, const ImageLayout& value) {
  Bytes record(kLayoutSize);
  record.setFix32(kLayoutFrame + 0, value.left);
  record.setFix32(kLayoutFrame + 4, value.top);
  record.setFix32(kLayoutFrame + 8, value.right);
  record.setFix32(kLayoutFrame + 12, value.bottom);
  record.setU32(kLayoutDocument, value.document);
  record.setU32(kLayoutPage, value.page);
  record.setU32(kLayoutFrameNumber, value.frame);
  auto r = With<ImageLayout>(Call(DG_IMAGE, DAT_IMAGELAYOUT, msg, record.data()));
  r.value.left = record.fix32(kLayoutFrame + 0);
  r.value.top = record.fix32(kLayoutFrame + 4);
  r.value.right = record.fix32(kLayoutFrame + 8);
  r.value.bottom = record.fix32(kLayoutFrame + 12);
  r.value.document = record.u32(kLayoutDocument);
  r.value.page = record.u32(kLayoutPage);
  r.value.frame = record.u32(kLayoutFrameNumber);
  return r;
}

Reply<MemoryStrip> Host::MemXfer(uint32_t bufferSize, bool asHandle) {
  void* buffer = AllocateOwn(bufferSize);
  Bytes record(kMemXferSize);
  record.setU32(kMemFlags, TWMF_APPOWNS | (asHandle ? TWMF_HANDLE : TWMF_POINTER));
  record.setU32(kMemLength, bufferSize);
  record.setPointer(kMemTheMem, buffer);
  auto r = With<MemoryStrip>(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, record.data()));
  MemoryStrip& v = r.value;
  v.compression = record.u16(kMemCompression);
  v.bytesPerRow = record.u32(kMemBytesPerRow);
  v.columns = record.u32(kMemColumns);
  v.rows = record.u32(kMemRows);
  v.xOffset = record.u32(kMemXOffset);
  v.yOffset = record.u32(kMemYOffset);
  v.bytesWritten = record.u32(kMemBytesWritten);
  if (v.bytesWritten > bufferSize) {
    Fault("a memory strip of " + std::to_string(v.bytesWritten) + " bytes in a buffer of " +
          std::to_string(bufferSize));
  } else if (r.rc == TWRC_SUCCESS || r.rc == TWRC_XFERDONE) {
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    v.data.assign(bytes, bytes + v.bytesWritten);
  }
  FreeOwn(buffer);
  return r;
}

Reply<std::vector<uint8_t>> Host::NativeXfer() {
  Bytes handle(8);
  auto r = With<std::vector<uint8_t>>(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, handle.data()));
  void* block = handle.pointer(0);
  if (block != nullptr) r.value = TakeHandedOver(block, 0);
  if (r.rc == TWRC_XFERDONE && block == nullptr) Fault("a native transfer without a block");
  return r;
}

Answer Host::FileXfer() { return Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr); }

Reply<std::vector<ExtImageEntry>> Host::ExtImageInfo(const std::vector<uint16_t>& ids) {
  Bytes record(kExtInfoHeader + kExtInfoEntry * ids.size());
  record.setU32(kExtNumInfos, uint32_t(ids.size()));
  for (size_t i = 0; i < ids.size(); ++i) {
    record.setU16(kExtInfoHeader + kExtInfoEntry * i + kInfoId, ids[i]);
  }
  auto r =
      With<std::vector<ExtImageEntry>>(Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, record.data()));
  for (size_t i = 0; i < ids.size(); ++i) {
    const size_t at = kExtInfoHeader + kExtInfoEntry * i;
    ExtImageEntry e;
    e.id = record.u16(at + kInfoId);
    e.itemType = record.u16(at + kInfoItemType);
    e.numItems = record.u16(at + kInfoNumItems);
    e.returnCode = record.u16(at + kInfoReturnCode);
    e.item = record.u64(at + kInfoItem);
    if (HandsOverBlock(e.id, e.numItems) && e.returnCode == TWRC_SUCCESS && e.item != 0) {
      e.data = TakeHandedOver(record.pointer(at + kInfoItem), 0);
    }
    r.value.push_back(std::move(e));
  }
  return r;
}

Reply<CustomReply> Host::Custom(uint16_t msg, uint32_t command) {
  Bytes record(kCustomSize);
  record.setU32(kCustomCommand, command);
  auto r = With<CustomReply>(Call(DG_CONTROL, DAT_KRCUSTOMCOMMAND, msg, record.data()));
  r.value.command = record.u32(kCustomCommand);
  r.value.error = record.u32(kCustomError);
  for (size_t i = 0; i < kCustomMessageUnits; ++i) {
    const char16_t unit = char16_t(record.u16(kCustomMessage + 2 * i));
    if (unit == 0) break;
    r.value.message += unit;
  }
  return r;
}

std::string CopyBundle(const std::string& bundle, const std::string& intoFolder,
                       std::string* error) {
  std::error_code ec;
  const fs::path from(bundle);
  const fs::path to = fs::path(intoFolder) / from.filename();
  fs::create_directories(to, ec);
  if (!ec)
    fs::copy(from, to,
             fs::copy_options::recursive | fs::copy_options::skip_symlinks |
                 fs::copy_options::overwrite_existing,
             ec);
  if (ec) {
    *error = "cannot copy " + bundle + " into " + intoFolder + ": " + ec.message();
    return "";
  }
  return to.string();
}

}  // namespace twainhost
