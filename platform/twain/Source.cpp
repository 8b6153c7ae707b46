#include "platform/twain/Source.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace twain {
namespace {

// The manager's functions, as the last DAT_ENTRYPOINT handed them. Messages may leave from
// another thread than the host's (the dialog's, the scan thread's), hence the lock.
struct ManagerFunctions {
  std::mutex lock;
  bool present = false;
  TW_ENTRYPOINT entry{};
};

ManagerFunctions& Manager() {
  static ManagerFunctions manager;
  return manager;
}

TW_ENTRYPOINT CurrentEntryPoint() {
  ManagerFunctions& m = Manager();
  std::lock_guard<std::mutex> hold(m.lock);
  return m.present ? m.entry : TW_ENTRYPOINT{};
}

TW_UINT16 TakeEntryPoint(TW_UINT16 msg, TW_MEMREF data, TW_UINT16* condition) {
  if (msg != MSG_SET) {
    *condition = TWCC_BADPROTOCOL;
    return TWRC_FAILURE;
  }
  auto* entry = static_cast<const TW_ENTRYPOINT*>(data);
  // A short record would be read past its end; one without DSM_Entry is of no use.
  if (entry == nullptr || entry->Size < sizeof(TW_ENTRYPOINT) || entry->DSM_Entry == nullptr) {
    *condition = TWCC_BADVALUE;
    return TWRC_FAILURE;
  }
  ManagerFunctions& m = Manager();
  std::lock_guard<std::mutex> hold(m.lock);
  std::memcpy(&m.entry, entry, sizeof m.entry);
  m.present = true;
  *condition = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

}  // namespace

TW_UINT16 EnterSource(const SourceHooks& hooks, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat,
                      TW_UINT16 msg, TW_MEMREF data) {
  if (dg == DG_CONTROL && dat == DAT_ENTRYPOINT) {
    TW_UINT16 condition = TWCC_SUCCESS;
    const TW_UINT16 result = TakeEntryPoint(msg, data, &condition);
    if (hooks.setCondition != nullptr) hooks.setCondition(condition);
    return result;
  }
  return hooks.dispatch(origin, dg, dat, msg, data);
}

bool HasManagerEntryPoint() {
  ManagerFunctions& m = Manager();
  std::lock_guard<std::mutex> hold(m.lock);
  return m.present;
}

void ForgetManagerEntryPoint() {
  ManagerFunctions& m = Manager();
  std::lock_guard<std::mutex> hold(m.lock);
  m.present = false;
  m.entry = TW_ENTRYPOINT{};
}

DSMENTRYPROC ManagerEntry() {
  const TW_ENTRYPOINT entry = CurrentEntryPoint();
  if (entry.DSM_Entry != nullptr) return entry.DSM_Entry;
  // A 1.x-style host: the manager (or the host playing it) exports DSM_Entry to the process.
  return reinterpret_cast<DSMENTRYPROC>(dlsym(RTLD_DEFAULT, "DSM_Entry"));
}

TW_UINT16 PostToApplication(TW_IDENTITY* source, TW_IDENTITY* application, TW_UINT16 message) {
  DSMENTRYPROC entry = ManagerEntry();
  if (entry == nullptr) return TWRC_FAILURE;
  TW_CALLBACK callback{};
  callback.CallBackProc = nullptr;
  callback.RefCon = 0;
  callback.Message = static_cast<TW_INT16>(message);
  return entry(source, application, DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK, &callback);
}

TW_HANDLE AllocateBlock(size_t size) {
  if (size > UINT32_MAX) return nullptr;
  const TW_ENTRYPOINT entry = CurrentEntryPoint();
  if (entry.DSM_MemAllocate == nullptr) return std::calloc(1, size);
  TW_HANDLE block = entry.DSM_MemAllocate(static_cast<TW_UINT32>(size));
  // The manager's allocator zeroes today; the callers rely on it, so make sure.
  if (block != nullptr) {
    TW_MEMREF memory = entry.DSM_MemLock ? entry.DSM_MemLock(block) : block;
    if (memory != nullptr) std::memset(memory, 0, size);
    if (entry.DSM_MemUnlock != nullptr) entry.DSM_MemUnlock(block);
  }
  return block;
}

void FreeBlock(TW_HANDLE block) {
  if (block == nullptr) return;
  const TW_ENTRYPOINT entry = CurrentEntryPoint();
  if (entry.DSM_MemFree != nullptr) {
    entry.DSM_MemFree(block);
  } else {
    std::free(block);
  }
}

TW_MEMREF LockBlock(TW_HANDLE block) {
  const TW_ENTRYPOINT entry = CurrentEntryPoint();
  if (block == nullptr || entry.DSM_MemLock == nullptr) return block;
  return entry.DSM_MemLock(block);
}

void UnlockBlock(TW_HANDLE block) {
  const TW_ENTRYPOINT entry = CurrentEntryPoint();
  if (block != nullptr && entry.DSM_MemUnlock != nullptr) entry.DSM_MemUnlock(block);
}

std::string ModuleFolder() {
  Dl_info info{};
  // Any address of this code names the module it was linked into.
  if (dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) == 0 || info.dli_fname == nullptr) {
    return "";
  }
  std::string path = info.dli_fname;
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void FromLengthPrefixed(char* text, size_t textSize, const unsigned char* prefixed) {
  if (textSize == 0) return;
  size_t length = prefixed != nullptr ? prefixed[0] : 0;
  length = std::min(length, textSize - 1);
  if (length > 0) std::memcpy(text, prefixed + 1, length);
  std::memset(text + length, 0, textSize - length);
}

void ToLengthPrefixed(unsigned char* prefixed, size_t prefixedSize, const char* text,
                      size_t textSize) {
  if (prefixedSize == 0) return;
  size_t length = text != nullptr ? strnlen(text, textSize) : 0;
  length = std::min({length, prefixedSize - 1, size_t{255}});
  prefixed[0] = static_cast<unsigned char>(length);
  if (length > 0) std::memcpy(prefixed + 1, text, length);
  std::memset(prefixed + 1 + length, 0, prefixedSize - 1 - length);
}

void CopyText(char* text, size_t textSize, std::string_view value) {
  if (textSize == 0) return;
  const size_t length = std::min(value.size(), textSize - 1);
  if (length > 0) std::memcpy(text, value.data(), length);
  std::memset(text + length, 0, textSize - length);
}

}  // namespace twain
