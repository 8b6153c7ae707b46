// "Debug.conf" on any bytes: the settings the driver's start reads from it and a value that
// another part of the driver looks up (with room enough and with too little room).
#include <cstdio>
#include <cstring>

#include "drv/platform/DebugConf.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;  // an empty memory stream cannot be opened; the file's absence is
               // the same as an empty one
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (!f) return 0;
  DebugConf conf;
  conf.level = 3;
  std::strcpy(conf.savePath, "/nonexistent/");
  ReadDebugConf(f, &conf);
  // The start puts the log file's name behind the folder.
  const size_t folder = strnlen(conf.savePath, sizeof conf.savePath);
  fuzz::Check(folder > 0 && folder + std::strlen("KRDrv.txt") < sizeof conf.savePath &&
                  conf.savePath[folder - 1] == '/',
              "the save folder ends in / and leaves room for the log file's name");
  for (const uint32_t room : {256u, 4u, 1u}) {
    std::rewind(f);
    char value[256];
    if (FindDebugConfValue(f, "LLDScanRealRaw", value, room))
      fuzz::Check(std::strlen(value) < room, "the value fits the room it was given");
  }
  std::fclose(f);
  return 0;
}
