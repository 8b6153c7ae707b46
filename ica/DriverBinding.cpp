#include "ica/DriverBinding.h"

#include <dlfcn.h>

namespace icamodule {

bool DriverEntries::bind(void* library, std::string* missing) {
  DriverEntries found;
  bool complete = true;
#define VT_ICA_EXPORT(name)                                                     \
  if (complete) {                                                               \
    found._##name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
    if (!found._##name) {                                                       \
      complete = false;                                                         \
      if (missing) *missing = #name;                                            \
    }                                                                           \
  }
#include "ica/driver_exports.def"
#undef VT_ICA_EXPORT
  *this = complete ? found : DriverEntries{};
  return complete;
}

}  // namespace icamodule
