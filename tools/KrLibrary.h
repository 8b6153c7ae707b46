#pragma once
// The driver library as a client sees it: a file loaded at run time whose KR exports are looked up
// by name. Nothing here links libVantrel; the records come from the shared public header.
#include <memory>
#include <string>

#include "vantrel/kr_api.h"

namespace vtclient {

// Every export the command-line client calls. The scan client adds its job exports here.
#define VT_CLIENT_EXPORTS(X) \
  X(KRInitializeDriver)      \
  X(KRTerminateDriver)       \
  X(KRMemFree)               \
  X(KRGetDeviceList)         \
  X(KRInitializeDevice)      \
  X(KRTerminateDevice)       \
  X(KRDeviceStatus)          \
  X(KRGetDeviceAbility)      \
  X(KRReadNVMData)

class KrLibrary {
 public:
#define VT_CLIENT_POINTER(name) decltype(&::name) name = nullptr;
  VT_CLIENT_EXPORTS(VT_CLIENT_POINTER)
#undef VT_CLIENT_POINTER

  // Loads the file with immediate binding and looks every export up. Null with a message naming
  // the file and the missing piece when either fails.
  static std::unique_ptr<KrLibrary> Load(const std::string& path, std::string* error);
  ~KrLibrary();
  KrLibrary(const KrLibrary&) = delete;
  KrLibrary& operator=(const KrLibrary&) = delete;

  const std::string& path() const { return path_; }

 private:
  KrLibrary() = default;
  void* handle_ = nullptr;
  std::string path_;
};

// Where the library is looked for: the option's path, else VANTREL_LIBRARY, else
// ../lib/libVantrel.so from the program's own folder (the build's layout).
std::string ChooseLibraryPath(const char* optionPath);

// The driver's text for a status code; "" for a code without one.
const char* StatusText(long code);
// "<code> <text>", or "<code> (no text)" for a code the driver's table does not list.
std::string StatusString(long code);

}  // namespace vtclient
