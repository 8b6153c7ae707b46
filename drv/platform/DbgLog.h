#pragma once
// The driver's debug log: one call, DbgPrintf, with a numeric level.
#include <cstdarg>
#include <cstdint>

#include "drv/platform/KrThread.h"

class CDbgPrint;

extern uint32_t gdwDebugLevel;
extern char szSavePath[256];
extern char szLogFile[256];
extern CDbgPrint* pDbg;
extern bool blDebugInitialized;

void InitializeDbg(void* unused);
void TerminateDbg();
int DbgPrintf(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void DbgDump(uint32_t level, const void* data, uint32_t length);
void DbgNewThread(KrThread thread);
void DbgDelThread(KrThread thread);
void AppendDebugRawFile(const char* name, const uint8_t* data, uint32_t length);
void DeleteDebugRawFile(const char* name);
void DumpSystemEnvironmentToLog();
// The last non-empty value of key in "Debug.conf" (for keys other parts read themselves, such
// as "LLDScanRealRaw"); false when the key is missing or its value does not fit into size.
bool GetDebugConfValue(const char* key, char* value, uint32_t size);
char* GetDriverPath();
void LogToDV(const char* format, ...);
