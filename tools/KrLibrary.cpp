#include "tools/KrLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "vantrel/status_codes.h"

namespace vtclient {

std::unique_ptr<KrLibrary> KrLibrary::Load(const std::string& path, std::string* error) {
  // Immediate binding: a library with an unresolved symbol fails here, not in mid-call.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    *error = "cannot load the driver library " + path + ": " + (why ? why : "unknown reason");
    return nullptr;
  }
  std::unique_ptr<KrLibrary> lib(new KrLibrary);
  lib->handle_ = handle;
  lib->path_ = path;
#define VT_KR_EXPORT(name)                                               \
  lib->name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
  if (lib->name == nullptr) {                                            \
    *error = "the driver library " + path + " does not export " #name;   \
    return nullptr;                                                      \
  }
#include "vantrel/kr_exports.def"
#undef VT_KR_EXPORT
  return lib;
}

void* KrLibrary::Find(const char* name) const { return dlsym(handle_, name); }

KrLibrary::~KrLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::string ChooseLibraryPath(const char* optionPath) {
  if (optionPath != nullptr && *optionPath != 0) return optionPath;
  const char* env = std::getenv("VANTREL_LIBRARY");
  if (env != nullptr && *env != 0) return env;
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "libVantrel.so";  // the loader's search path is all that is left
  exe[n] = 0;
  std::string dir(exe);
  dir.erase(dir.find_last_of('/') + 1);
  return dir + "../lib/libVantrel.so";
}

void FreeAbility(KrLibrary& kr, uint32_t ctrl, DeviceAbility* ability) {
  if (ability == nullptr) return;
  for (char* text : {ability->pVendorName, ability->pModelName, ability->pFWVersion,
                     ability->pPortType, ability->pPortAddress})
    if (text != nullptr) kr.KRMemFree(ctrl, text);
  kr.KRMemFree(ctrl, ability);
}

const char* StatusText(long code) { return KRStatusText(code); }

std::string StatusString(long code) {
  const char* text = StatusText(code);
  char buffer[64];
  if (*text != 0) {
    std::snprintf(buffer, sizeof buffer, "%ld %s", code, text);
  } else {
    std::snprintf(buffer, sizeof buffer, "%ld (no text)", code);
  }
  return buffer;
}

}  // namespace vtclient
