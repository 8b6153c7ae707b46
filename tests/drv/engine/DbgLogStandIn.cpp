// Test-only stand-in for the driver's debug log while its library is not part of the build:
// lines are formatted (so format errors still show) and dropped.
#include <cstdarg>
#include <cstdio>

#include "drv/platform/DbgLog.h"

uint32_t gdwDebugLevel = 0;

int DbgPrintf(uint32_t level, const char* format, ...) {
  if (level > gdwDebugLevel) return 0;
  char line[1024];
  va_list args;
  va_start(args, format);
  const int count = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return count;
}
