#include "tools/KrLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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
#define VT_CLIENT_LOOKUP(name)                                                        \
  lib->name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));              \
  if (lib->name == nullptr) {                                                         \
    *error = "the driver library " + path + " does not export " #name;               \
    return nullptr;                                                                   \
  }
  VT_CLIENT_EXPORTS(VT_CLIENT_LOOKUP)
#undef VT_CLIENT_LOOKUP
  return lib;
}

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

namespace {
struct StatusRecord {
  long code;
  const char* text;
};

// A copy of the driver's error table. The library returns bare codes and exports no way to read
// the texts, so a client that shows them keeps its own copy; keep it in step with the driver's
// table (drv/device/KRObj.cpp). The two time-out records share the code 172: the first text wins.
constexpr StatusRecord kStatusTexts[] = {
    {0, "OK"},
    {-2000, "Driver Busy"},
    {-2001, "Scanner Busy"},
    {-2003, "HandShake Time Out"},
    {-2005, "Parameter Check Error"},
    {-2006, "Allocate Memory Failed"},
    {-2008, "Scanner locked"},
    {-2009, "Scanner Warm up"},
    {-2010, "Read Abort"},
    {-2013, "Paper Jam"},
    {-2014, "ADF Cover Open"},
    {-2033, "Occur skew"},
    {-3101, "Multiple feed"},
    {-2018, "not find winaspi"},
    {-2019, "not find scanner"},
    {-2021, "Back to Home Position Failed"},
    {-2022, "end of page"},
    {-2023, "System error"},
    {-2024, "Write NVRAM error"},
    {-2999, "unknow error"},
    {-3003, "Flatbed DRAM Error"},
    {-3004, "ADF DRAM Error"},
    {-3005, "Flatbed Lamp Error"},
    {-3006, "ADF Lamp Error"},
    {172, "Read data time out"},
    {172, "Send data time out"},
    {-3007, "Flatbed cover open"},
    {-2015, "No paper in ADF"},
    {-60000, "EOP+Multifeed"},
    {-60001, "EOP+Blank peper"},
};
}  // namespace

const char* StatusText(long code) {
  for (const StatusRecord& r : kStatusTexts) {
    if (r.code == code) return r.text;
  }
  return "";
}

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
