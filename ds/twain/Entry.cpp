// The module's entry and its life: the data-source object is made when the manager loads the
// module and released when it unloads it. The manager loads and unloads the module several times
// in one process (for the identity, then for the session), so each load starts from scratch and
// nothing here starts a thread.
#include <memory>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/twain/Source.h"
#include "vantrel/library_version.h"

namespace {

std::unique_ptr<ferrolite::TezFRLDS> gCocoaDS;

TW_UINT16 dispatch(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                   TW_MEMREF data) {
  if (!gCocoaDS) {
    ferrolite::gConditionCode = TWCC_BUMMER;
    return TWRC_FAILURE;
  }
  return gCocoaDS->dsEntry(origin, dg, dat, msg, data);
}

void setCondition(TW_UINT16 conditionCode) { ferrolite::gConditionCode = conditionCode; }

constexpr twain::SourceHooks kHooks{dispatch, setCondition};

__attribute__((constructor)) void Initializer() {
  if (!gCocoaDS) gCocoaDS = std::make_unique<ferrolite::TezFRLDS>(twain::ModuleFolder());
}

__attribute__((destructor)) void finalizer() {
  if (ferrolite::gKrCommon) {
    ferrolite::gKrCommon->outputDebugLog("release KorvaneDS", "", 0, ferrolite::kLogNoData);
  }
  gCocoaDS.reset();
  ferrolite::gKrCommon.reset();
}

}  // namespace

// The data source's version, as its identity states it (2.1).
KR_API uint32_t LibraryCurrentVersion(void) { return VANTREL_LIBRARY_VERSION(2, 1, 0); }

extern "C" TW_EXPORT TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                        TW_UINT16 MSG, TW_MEMREF pData) {
  return twain::EnterSource(kHooks, pOrigin, DG, DAT, MSG, pData);
}
