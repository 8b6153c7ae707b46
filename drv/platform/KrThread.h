#pragma once
// Thread, lock and byte-order wrappers: the driver never calls the thread library directly.
#include <pthread.h>

#include <cstdint>

using KrThread = pthread_t;  // 0 is the invalid handle
using KrMutex = pthread_mutex_t;
using KrCriticalSection = pthread_mutex_t;
using KrCondition = pthread_cond_t;
using KrThreadRoutine = void* (*)(void*);

bool CreateKrThread(KrThread* thread, KrThreadRoutine routine, void* arg, uint64_t* threadId);
// Tests: asked before every thread creation; false makes that creation fail as the system's
// would. Null (the default) asks nothing.
using KrThreadCreateHook = bool (*)();
void SetKrThreadCreateHook(KrThreadCreateHook hook);
bool WaitKrThread(KrThread* thread);
bool DestroyKrThread(KrThread* thread);
void InitialInvalidKrThread(KrThread* thread);
bool IsValidKrThread(const KrThread* thread);
[[noreturn]] void ExitKrThread();
KrThread GetCurrentKrThreadId();
uint32_t GetCurrentKrProcessId();

bool CreateKrMutex(KrMutex* m);
bool DestroyKrMutex(KrMutex* m);
int LockKrMutex(KrMutex* m);
int UnlockKrMutex(KrMutex* m);
void InitialInvalidKrMutex(KrMutex* m);
bool IsValidKrMutex(const KrMutex* m);

bool CreateKrCriticalSection(KrCriticalSection* cs);
bool DestroyKrCriticalSection(KrCriticalSection* cs);
int EnterKrCriticalSection(KrCriticalSection* cs);
int LeaveKrCriticalSection(KrCriticalSection* cs);
void InitialInvalidKrCriticalSection(KrCriticalSection* cs);
bool IsValidKrCriticalSection(const KrCriticalSection* cs);

bool CreateKrCondition(KrCondition* c);
bool DestroyKrCondition(KrCondition* c);
int SignalKrCondition(KrCondition* c);
int WaitKrCondition(KrCondition* c, KrMutex* m);
void InitialInvalidKrCondition(KrCondition* c);
bool IsValidKrCondition(const KrCondition* c);

uint16_t DeviceToHostWORD(uint16_t v);
uint32_t DeviceToHostDWORD(uint32_t v);
void DeviceToHostWORDPtr(void* p);
void DeviceToHostDWORDPtr(void* p);
void DeviceToHostQWORDPtr(void* p);

double MyGetTickCount();
void DetectCPUSpeed();
extern double fCPUSpeed;

// Host memory in bytes (0 when the system does not say): all of it, and what user
// processes can still get (the pipes' memory limit starts from the latter).
uint64_t GetKrPhysicalMemory();
uint64_t GetKrUserMemory();
