// The module's entry and its life: the data-source object is made when the manager loads the
// module and released when it unloads it. The manager loads and unloads the module several times
// in one process (for the identity, then for the session), so each load starts from scratch and
// nothing here starts a thread.
//
// One owner, one teardown: the object lives behind a plain pointer (no static destructor of its
// own) and only the finalizer releases it, when the module is unloaded. A host may also end with
// the module still loaded: the process's exit handlers then run first and destroy the static
// objects of this module and of the libraries it loaded (the driver, the plug-ins), so by the
// time the finalizer runs nothing may be reached through them; the finalizer leaves the object
// to the process's end then.
#include <cstdlib>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/twain/Source.h"
#include "vantrel/library_version.h"

namespace {

ferrolite::TezFRLDS* gCocoaDS = nullptr;
bool gProcessExiting = false;

TW_UINT16 dispatch(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                   TW_MEMREF data) {
  if (gCocoaDS == nullptr) {
    ferrolite::gConditionCode = TWCC_BUMMER;
    return TWRC_FAILURE;
  }
  return gCocoaDS->dsEntry(origin, dg, dat, msg, data);
}

void setCondition(TW_UINT16 conditionCode) { ferrolite::gConditionCode = conditionCode; }

constexpr twain::SourceHooks kHooks{dispatch, setCondition};

// Registered with this module: runs at the process's exit, and at an unload only after the
// finalizer, where it changes nothing.
void processExiting() { gProcessExiting = true; }

__attribute__((constructor)) void Initializer() {
  gProcessExiting = false;
  if (gCocoaDS == nullptr) gCocoaDS = new ferrolite::TezFRLDS(twain::ModuleFolder());
  std::atexit(processExiting);
}

__attribute__((destructor)) void finalizer() {
  if (gProcessExiting) return;
  if (ferrolite::gKrCommon) {
    ferrolite::gKrCommon->outputDebugLog("release KorvaneDS", "", 0, ferrolite::kLogNoData);
  }
  delete gCocoaDS;
  gCocoaDS = nullptr;
  ferrolite::gKrCommon.reset();
}

}  // namespace

// The data source's version, as its identity states it (2.1).
KR_API uint32_t LibraryCurrentVersion(void) { return VANTREL_LIBRARY_VERSION(2, 1, 0); }

extern "C" TW_EXPORT TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                        TW_UINT16 MSG, TW_MEMREF pData) {
  return twain::EnterSource(kHooks, pOrigin, DG, DAT, MSG, pData);
}
