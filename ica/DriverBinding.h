#pragma once
// The driver exports the device object binds by name (ica/driver_exports.def), typed as the
// driver's public header declares them. The binding is all or nothing: a library that lacks any
// of them is refused, so no entry is ever called while null. Nothing here links the driver.
#include <string>

#include "vantrel/kr_api.h"

namespace icamodule {

struct DriverEntries {
#define VT_ICA_EXPORT(name) decltype(&::name) _##name = nullptr;
#include "ica/driver_exports.def"
#undef VT_ICA_EXPORT

  // Looks every export up in the loaded library; on the first missing one every entry stays
  // null and its name is given in `missing`.
  bool bind(void* library, std::string* missing);
  void clear() { *this = DriverEntries{}; }
  bool bound() const { return _KRInitializeDriver != nullptr; }
};

// The controller id the module passes first to every driver call.
inline constexpr uint32_t kModuleControllerId = 0x2200;

}  // namespace icamodule
