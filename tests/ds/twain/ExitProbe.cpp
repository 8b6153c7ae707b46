// A host that exits with the data source still loaded, as many applications do: it never
// unloads the module and returns from main. "identity BUNDLE": loads the module itself and asks
// the identity; "session BUNDLE": opens the source through the host core, scans the feeder
// empty, disables and leaves the source open. "unloaded BUNDLE": asks the identity, unloads the
// module and then returns from main: nothing of the module may run at the process's end. It
// prints a line before it returns: buffered output that only reaches the pipe when the process
// ends cleanly.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/twain/Host.h"

namespace {

int identity(const std::string& bundle, bool unload) {
  const std::string module = bundle + "/Ferrolite.ds";
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::printf("cannot load %s: %s\n", module.c_str(), dlerror());
    return 2;
  }
  auto entry = reinterpret_cast<DSENTRYPROC>(dlsym(handle, "DS_Entry"));
  if (entry == nullptr) return 2;
  twainhost::Identity application;
  twainhost::Bytes origin = application.Write();
  twainhost::Identity asked;
  asked.id = 3;
  twainhost::Bytes record = asked.Write();
  const TW_UINT16 rc = entry(reinterpret_cast<TW_IDENTITY*>(origin.data()), DG_CONTROL,
                             DAT_IDENTITY, MSG_GET, record.data());
  std::printf("identity rc %u %s\n", rc,
              twainhost::Identity::Read(record.data()).productName.c_str());
  if (unload) {
    const int closed = dlclose(handle);
    std::printf("unloaded %d\n", closed);
  }
  return 0;
}

int session(const std::string& bundle) {
  // Never deleted: the host ends with the source open and loaded.
  auto* host = new twainhost::Host();
  std::string error;
  if (!host->OpenManager(bundle, &error)) {
    std::printf("manager: %s\n", error.c_str());
    return 2;
  }
  if (!host->OpenSource().ok()) return 2;
  if (!host->EnableDs(false).ok()) return 2;
  int images = 0;
  for (;;) {
    if (host->MemXfer(1 << 20).rc != TWRC_XFERDONE) break;
    ++images;
    if (host->PendingXfers(MSG_ENDXFER).value == 0) break;
  }
  const bool disabled = host->DisableDs().ok();
  std::printf("session images %d disabled %d\n", images, disabled);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s identity|session|unloaded BUNDLE\n", argv[0]);
    return 2;
  }
  if (std::strcmp(argv[1], "identity") == 0) return identity(argv[2], false);
  if (std::strcmp(argv[1], "unloaded") == 0) return identity(argv[2], true);
  if (std::strcmp(argv[1], "session") == 0) return session(argv[2]);
  return 2;
}
