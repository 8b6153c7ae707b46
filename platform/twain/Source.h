#pragma once
// The data source's side of the manager: the entry-point hand-over that comes before the source's
// own dispatch, the messages to the application through the manager, the manager's memory
// blocks, and the strings in the form the source's code keeps them.
//
// The source's DS_Entry is a thin wrapper:
//   extern "C" TW_EXPORT TW_UINT16 DS_Entry(TW_IDENTITY* o, TW_UINT32 dg, TW_UINT16 dat,
//                                           TW_UINT16 msg, TW_MEMREF data) {
//     return twain::EnterSource(kHooks, o, dg, dat, msg, data);
//   }
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/twain/Twain.h"

namespace twain {

// What the source supplies: its dispatch for every triplet not answered here, and where the
// condition code of a triplet answered here goes (the source's DAT_STATUS reports it).
struct SourceHooks {
  TW_UINT16(*dispatch)
  (TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  void (*setCondition)(TW_UINT16 conditionCode);
};

// Takes DG_CONTROL / DAT_ENTRYPOINT (MSG_SET keeps the manager's functions; a null record or one
// whose Size is below the record's answers TWRC_FAILURE with TWCC_BADVALUE; another message
// TWCC_BADPROTOCOL) and hands every other triplet to the source's dispatch.
TW_UINT16 EnterSource(const SourceHooks& hooks, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat,
                      TW_UINT16 msg, TW_MEMREF data);

// True once a manager handed its entry points over (only to a source whose identity has DF_DS2).
bool HasManagerEntryPoint();
// Forgets them; the next message looks the manager up again.
void ForgetManagerEntryPoint();

// The manager's DSM_Entry: the one handed over, else the one the program exports (a host that
// plays the manager itself); null when neither is there.
DSMENTRYPROC ManagerEntry();

// Sends MSG_XFERREADY, MSG_CLOSEDSREQ or MSG_CLOSEDSOK to the application: DG_CONTROL /
// DAT_CALLBACK / MSG_INVOKE_CALLBACK with a TW_CALLBACK {no procedure, RefCon 0, message}, the
// source's identity (with the Id the manager gave it) as origin and the application's as
// destination. Answers the manager's return code, TWRC_FAILURE when no manager can be reached.
TW_UINT16 PostToApplication(TW_IDENTITY* source, TW_IDENTITY* application, TW_UINT16 message);

// Memory blocks. A handle is the block itself. Every block handed to the application comes from
// AllocateBlock (the manager's allocator, calloc when no entry point came), zero-filled; the
// application frees it. Null when the block cannot be had.
TW_HANDLE AllocateBlock(size_t size);
// Only for a block the source allocated and did not hand over.
void FreeBlock(TW_HANDLE block);
// The memory of a handle from the application: through the manager's lock when the entry point
// came, else the handle itself.
TW_MEMREF LockBlock(TW_HANDLE block);
void UnlockBlock(TW_HANDLE block);

// A locked view of an application's handle for one scope.
class LockedBlock {
 public:
  explicit LockedBlock(TW_HANDLE block)
      : block_(block), memory_(block ? LockBlock(block) : nullptr) {}
  ~LockedBlock() {
    if (block_ != nullptr) UnlockBlock(block_);
  }
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;
  template <class T>
  T* as() const {
    return static_cast<T*>(memory_);
  }

 private:
  TW_HANDLE block_;
  TW_MEMREF memory_;
};

// The folder of the module this code is linked into: for a data source, its bundle folder (the
// one that holds the .ds). "" when the loader cannot tell.
std::string ModuleFolder();

// Strings. The source's code keeps length-prefixed strings (a length byte, then the characters);
// the records carry zero-terminated ones. Both copies cut what does not fit and fill the rest of
// the destination with zeros.
void FromLengthPrefixed(char* text, size_t textSize, const unsigned char* prefixed);
void ToLengthPrefixed(unsigned char* prefixed, size_t prefixedSize, const char* text,
                      size_t textSize);
void CopyText(char* text, size_t textSize, std::string_view value);

template <size_t N>
void FromLengthPrefixed(char (&text)[N], const unsigned char* prefixed) {
  FromLengthPrefixed(text, N, prefixed);
}
template <size_t N, size_t M>
void ToLengthPrefixed(unsigned char (&prefixed)[N], const char (&text)[M]) {
  ToLengthPrefixed(prefixed, N, text, M);
}
template <size_t N>
void CopyText(char (&text)[N], std::string_view value) {
  CopyText(text, N, value);
}

}  // namespace twain
