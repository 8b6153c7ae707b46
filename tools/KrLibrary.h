#pragma once
// The driver library as a client sees it: a file loaded at run time whose KR exports are looked up
// by name. Nothing here links libVantrel; the records come from the shared public header.
#include <memory>
#include <string>

#include "vantrel/kr_api.h"

namespace vtclient {

class KrLibrary {
 public:
  // Every client export of the driver library, bound at load: a library that lacks one is
  // refused.
#define VT_KR_EXPORT(name) decltype(&::name) name = nullptr;
#include "vantrel/kr_exports.def"
#undef VT_KR_EXPORT

  // Loads the file with immediate binding and looks every export up. Null with a message naming
  // the file and the missing piece when either fails.
  static std::unique_ptr<KrLibrary> Load(const std::string& path, std::string* error);
  ~KrLibrary();
  KrLibrary(const KrLibrary&) = delete;
  KrLibrary& operator=(const KrLibrary&) = delete;

  const std::string& path() const { return path_; }
  // Any other name among the library's dynamic symbols; null when it has none of that name.
  void* Find(const char* name) const;

 private:
  KrLibrary() = default;
  void* handle_ = nullptr;
  std::string path_;
};

// The driver's ability record with its texts, given back to the driver's allocator.
void FreeAbility(KrLibrary& kr, uint32_t ctrl, DeviceAbility* ability);

// Where the library is looked for: the option's path, else VANTREL_LIBRARY, else
// ../lib/libVantrel.so from the program's own folder (the build's layout).
std::string ChooseLibraryPath(const char* optionPath);

// The driver's text for a status code; "" for a code without one.
const char* StatusText(long code);
// "<code> <text>", or "<code> (no text)" for a code the driver's table does not list.
std::string StatusString(long code);

}  // namespace vtclient
