#pragma once
// The image library's own services: its allocator, its debug log ("LMJPGDebugLog.Log") and the
// result words (Msg, Status) that every entry reports.
#include <cstdarg>
#include <cstdint>

// Allocator. flags bit 6 (0x40) zero-fills.
constexpr uint32_t kLMZeroFill = 0x40;
void* AllocateMemory(void* old, uint32_t size, uint32_t flags);
void* jpgAllocateRetry(void* old, uint32_t size);
long FreeMemory(void* p);

// Debug log of the image library.
long SetDebugMode(uint32_t level, const char* path);
void DebugVarInitilize(uint32_t level);
void MDBG(uint32_t level, const char* logName, const char* prefix, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void MDBG_IMG(const char* name, const void* image, uint32_t size);
void MDBG_RAWLv(uint32_t level, const char* name, const void* data, uint32_t size);
uint32_t LMGetDebugLevel();
const char* LMGetDebugPath();

// Line levels of the module.
constexpr uint32_t kLvEntry = 0x80000001;
constexpr uint32_t kLvDriver = 0x80000002;
constexpr uint32_t kLvRecord = 0x80000003;
constexpr uint32_t kLvTables = 0x80000004;
constexpr uint32_t kLvChannel = 0x80000006;

// Cheap test so that callers can skip building log arguments.
bool LMLogOn();

// One log line with the "[unit:line] function " head.
#define LMLOG(level, fmt, ...)                                                              \
  do {                                                                                      \
    if (LMLogOn())                                                                          \
      MDBG((level), "", "", "[%s:%d] %s " fmt, LM_UNIT, __LINE__, __func__, ##__VA_ARGS__); \
  } while (0)

// Result words.
constexpr int64_t kMsgOk = 0;
constexpr int64_t kMsgFail = -4000;
constexpr int64_t kMsgNoMemory = -4001;
constexpr int64_t kMsgNotSupported = -4002;
constexpr int64_t kMsgBadValue = -4003;
constexpr int64_t kMsgSequence = -4005;
constexpr int64_t kMsgBadBuffer = -4007;

struct LMResult {
  int64_t msg;
  int64_t status;
};
// The one table from the codec's own codes to the result words.
LMResult LMMapCodecCode(int code);
