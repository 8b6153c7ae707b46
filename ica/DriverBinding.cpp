#include "ica/DriverBinding.h"

#include <dlfcn.h>

namespace icamodule {

bool DriverEntries::bind(void* library, std::string* missing) {
  DriverEntries found;
  bool complete = true;
#define ICA_DRIVER_LOOKUP(name, type)                              \
  if (complete) {                                                  \
    found._##name = reinterpret_cast<type>(dlsym(library, #name)); \
    if (!found._##name) {                                          \
      complete = false;                                            \
      if (missing) *missing = #name;                               \
    }                                                              \
  }
  ICA_DRIVER_EXPORTS(ICA_DRIVER_LOOKUP)
#undef ICA_DRIVER_LOOKUP
  *this = complete ? found : DriverEntries{};
  return complete;
}

}  // namespace icamodule
