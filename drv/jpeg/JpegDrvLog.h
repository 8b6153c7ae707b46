#pragma once
// The seam through which the JFIF writer logs into the driver's debug log. The driver installs
// its sink at start (a function that hands the finished line to DbgPrintf); until then, and in
// programs without the driver's log, lines are dropped.
#include <cstdint>

using JpegDrvLogSink = void (*)(uint32_t level, const char* line);
void JpegSetDriverLog(JpegDrvLogSink sink);
void JpegDrvLog(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
