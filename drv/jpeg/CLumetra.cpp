#include "drv/jpeg/CLumetra.h"

#include "drv/jpeg/Interface.h"
#include "drv/platform/DbgLog.h"

CLumetra::~CLumetra() { Terminate(); }

bool CLumetra::Initialize() {
  DbgPrintf(1, "*** Use Lumetra static library.");
  long ret = InitializeLib();
  if (ret == 0) {
    m_started = true;
    ret = SetDebugMode(gdwDebugLevel, szSavePath);
  }
  if (ret != 0) {
    DbgPrintf(1, "*** Lumetra initialize fail lRet = %ld", ret);
    return false;
  }
  return true;
}

// A start is ended once: the destructor after an explicit Terminate must not take away a start
// that someone else still holds.
void CLumetra::Terminate() {
  if (!m_started) return;
  m_started = false;
  TerminateLib();
}

long CLumetra::Lumetra_JpegDecoder(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulJpegSize,
                                   long* pStatus) {
  DbgPrintf(1, "=> Lumetra - JpegDecoder");
  const long ret = JpegDecoder(pSrc, ppDes, pNi, pulJpegSize, pStatus);
  DbgPrintf(1, "<= Lumetra - JpegDecoder");
  return ret;
}

long CLumetra::Lumetra_JpegCrop(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize,
                                long* pStatus, uint64_t ulSrcJFIFSize, long* plDesStripHeight) {
  DbgPrintf(1, "=> Lumetra - JpegCrop");
  const long ret =
      JpegCrop(pSrc, ppDes, pNi, pulDesJFIFSize, pStatus, ulSrcJFIFSize, plDesStripHeight);
  DbgPrintf(1, "<= Lumetra - JpegCrop");
  return ret;
}

long CLumetra::Lumetra_JFreeMemory(void* p) {
  DbgPrintf(1, "=> Lumetra - FreeMemory");
  const long ret = FreeMemory(p);
  DbgPrintf(1, "<= Lumetra - FreeMemory");
  return ret;
}
