#include "drv/jpeg/JpegDrvLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<JpegDrvLogSink> gSink{nullptr};
}

void JpegSetDriverLog(JpegDrvLogSink sink) { gSink.store(sink); }

void JpegDrvLog(uint32_t level, const char* format, ...) {
  const JpegDrvLogSink sink = gSink.load();
  if (!sink) return;
  char line[1024];
  va_list ap;
  va_start(ap, format);
  vsnprintf(line, sizeof line, format, ap);
  va_end(ap);
  sink(level, line);
}
