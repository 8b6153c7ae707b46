#pragma once
// "Debug.conf": lines of a key and a value that set up the driver's debug log. Reading it is
// apart from finding the file, so that any bytes can be fed to it (the fuzz target does).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct DebugConf {
  uint32_t level = 0;       // DebugLevel; comes in as the level so far, which no line keeps
  char savePath[256] = "";  // SavePath, ended in "/"; comes in as the default folder
  uint32_t buffered = 1;    // BufferedLog
  std::vector<std::string> ignored;  // lines of a known key with a missing or bad value
};

// Applies every line of the open file to conf.
void ReadDebugConf(FILE* file, DebugConf* conf);
// The last non-empty value of key that fits into size bytes with its terminator; false when
// there is none.
bool FindDebugConfValue(FILE* file, const char* key, char* value, uint32_t size);
