#include "drv/jpeg/CLumetra.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "drv/platform/DbgLog.h"

namespace lumetra {
namespace {
std::mutex gMutex;
int gStarts = 0;
long gInjectedFailure = 0;
uint32_t gLevel = 0;
std::string gFolder = "./";

bool MakeFolders(const std::string& path) {
  // Creates every missing folder along the path.
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return true;
}
}  // namespace

long InitializeLib() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gInjectedFailure != 0) return gInjectedFailure;
  ++gStarts;
  return 0;
}

long TerminateLib() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gStarts > 0 && --gStarts == 0) {
    gLevel = 0;
    gFolder = "./";
  }
  return 0;
}

long SetDebugMode(uint32_t debugLevel, const char* folder) {
  std::lock_guard<std::mutex> lock(gMutex);
  gLevel = debugLevel;
  gFolder = folder != nullptr ? folder : "";
  if (gFolder.empty()) {
    gFolder = "./";
  } else if (gFolder.back() != '/') {
    gFolder += '/';
  }
  if (gLevel != 0 && !MakeFolders(gFolder)) {
    DbgPrintf(1, "*** Lumetra cannot create %s: %s", gFolder.c_str(), std::strerror(errno));
  }
  return 0;
}

const char* DebugFolder() {
  std::lock_guard<std::mutex> lock(gMutex);
  thread_local std::string copy;
  copy = gFolder;
  return copy.c_str();
}

uint32_t DebugLevel() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gLevel;
}

int StartCount() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gStarts;
}

void InjectInitializeFailure(long code) {
  std::lock_guard<std::mutex> lock(gMutex);
  gInjectedFailure = code;
}
}  // namespace lumetra

CLumetra::~CLumetra() { Terminate(); }

bool CLumetra::Initialize() {
  DbgPrintf(1, "*** Use Lumetra static library.");
  long ret = lumetra::InitializeLib();
  if (ret == 0) {
    m_started = true;
    ret = lumetra::SetDebugMode(gdwDebugLevel, szSavePath);
  }
  if (ret != 0) {
    DbgPrintf(1, "*** Lumetra initialize fail lRet = %ld", ret);
    return false;
  }
  return true;
}

void CLumetra::Terminate() {
  if (!m_started) return;
  m_started = false;
  lumetra::TerminateLib();
}
