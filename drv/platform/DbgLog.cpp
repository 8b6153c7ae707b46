#include "drv/platform/DbgLog.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "drv/platform/DbgPrint.h"
#include "drv/platform/DebugConf.h"
#include "vantrel/log_folder.h"

uint32_t gdwDebugLevel = 0;
char szSavePath[256] = "";
char szLogFile[256] = "";
CDbgPrint* pDbg = nullptr;
bool blDebugInitialized = false;

static char DriverPath[256];  // nothing writes it

namespace {

constexpr char kDefaultRoot[] = VANTREL_LOG_ROOT_DEFAULT;
constexpr char kLogName[] = "KRDrv.txt";

// Copies a folder and ends it in "/"; false (folder unchanged) when it is empty or leaves no
// room for the log file's name.
bool SetFolder(char (&folder)[256], const char* value) {
  size_t length = std::strlen(value);
  bool slash = length > 0 && value[length - 1] == '/';
  if (length == 0 || length + (slash ? 0 : 1) + std::strlen(kLogName) >= sizeof folder)
    return false;
  std::snprintf(folder, sizeof folder, "%s%s", value, slash ? "" : "/");
  return true;
}

// The folder of "Debug.conf" and the default save folder; tests move it with VANTREL_LOG_ROOT.
void ConfigRoot(char (&root)[256]) {
  const char* env = std::getenv(VANTREL_LOG_ROOT_VARIABLE);
  if (!env || !SetFolder(root, env)) SetFolder(root, kDefaultRoot);
}

bool ParseU32(const char* text, uint32_t* out) {
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (*end || errno || v > UINT32_MAX) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

// Calls entry(key, value) for every line of the file that has a word, in file order; value is
// "" when the line has only a key. Lines are read up to 1,023 characters.
template <class Entry>
void ForEachDebugConfLine(FILE* f, Entry&& entry) {
  char line[1024];
  while (std::fgets(line, sizeof line, f)) {
    size_t length = std::strlen(line);
    if (length == sizeof line - 1 && line[length - 1] != '\n')
      for (int c = std::fgetc(f); c != EOF && c != '\n'; c = std::fgetc(f)) {
      }
    char* rest = nullptr;
    const char* key = strtok_r(line, " \t\r\n", &rest);
    const char* value = strtok_r(nullptr, " \t\r\n", &rest);
    if (key) entry(key, value ? value : "");
  }
}

// "Debug.conf" in the configuration folder, or null.
FILE* OpenDebugConf() {
  char root[256];
  ConfigRoot(root);
  char path[512];
  std::snprintf(path, sizeof path, "%sDebug.conf", root);
  return std::fopen(path, "r");
}

bool LevelOn(uint32_t level) { return gdwDebugLevel != 0 && level <= gdwDebugLevel; }

bool ReadFirstLine(const char* path, char* text, size_t size) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  bool ok = std::fgets(text, static_cast<int>(size), f) != nullptr;
  std::fclose(f);
  if (ok) text[std::strcspn(text, "\r\n")] = 0;
  return ok && *text;
}

}  // namespace

void ReadDebugConf(FILE* file, DebugConf* conf) {
  ForEachDebugConfLine(file, [&](const char* key, const char* value) {
    bool ok = true;
    if (!std::strcmp(key, "DebugLevel"))
      ok = ParseU32(value, &conf->level);
    else if (!std::strcmp(key, "SavePath"))
      ok = SetFolder(conf->savePath, value);
    else if (!std::strcmp(key, "BufferedLog"))
      ok = ParseU32(value, &conf->buffered);
    if (!ok) conf->ignored.push_back(*value ? std::string(key) + " " + value : std::string(key));
  });
}

bool FindDebugConfValue(FILE* file, const char* key, char* value, uint32_t size) {
  bool found = false;
  ForEachDebugConfLine(file, [&](const char* k, const char* v) {
    if (!std::strcmp(k, key) && *v && std::strlen(v) < size) {
      std::strcpy(value, v);
      found = true;
    }
  });
  return found;
}

void InitializeDbg(void*) {
  if (blDebugInitialized) return;
  DebugConf conf;
  conf.level = gdwDebugLevel;
  ConfigRoot(conf.savePath);
  if (FILE* f = OpenDebugConf()) {
    ReadDebugConf(f, &conf);
    std::fclose(f);
  }
  gdwDebugLevel = conf.level;
  std::memcpy(szSavePath, conf.savePath, sizeof szSavePath);
  // SetFolder left room for the name.
  if (std::snprintf(szLogFile, sizeof szLogFile, "%s%s", szSavePath, kLogName) >=
      int(sizeof szLogFile))
    szLogFile[0] = 0;
  DetectCPUSpeed();
  uint32_t flags = CDbgPrint::kTimeStamp | CDbgPrint::kProcessThread |
                   (conf.buffered ? CDbgPrint::kBuffered : 0);
  try {
    pDbg = new CDbgPrint(szLogFile, flags, gdwDebugLevel);
  } catch (const std::bad_alloc&) {
    pDbg = nullptr;  // lines then go straight to szLogFile
  }
  DumpSystemEnvironmentToLog();
  for (const std::string& entry : conf.ignored)
    DbgPrintf(1, "Debug.conf: ignored \"%s\"", entry.c_str());
  blDebugInitialized = true;
}

void TerminateDbg() {
  CDbgPrint* printer = pDbg;
  pDbg = nullptr;
  delete printer;  // drains the ring into the file
  blDebugInitialized = false;
}

bool GetDebugConfValue(const char* key, char* value, uint32_t size) {
  FILE* f = OpenDebugConf();
  if (!f) return false;
  const bool found = FindDebugConfValue(f, key, value, size);
  std::fclose(f);
  return found;
}

int DbgPrintf(uint32_t level, const char* format, ...) {
  if (!LevelOn(level)) return 0;
  va_list args;
  va_start(args, format);
  int n = 0;
  if (CDbgPrint* printer = pDbg) {
    n = printer->ThreadvPrintf(GetCurrentKrThreadId(), level, format, args);
  } else if (szLogFile[0]) {
    // No printer (before start-up, after the end, or when it could not be made).
    if (FILE* f = std::fopen(szLogFile, "a")) {
      n = std::vfprintf(f, format, args);
      std::fputc('\n', f);
      std::fclose(f);
    }
  }
  va_end(args);
  return n > 0 ? n : 0;
}

void DbgDump(uint32_t level, const void* data, uint32_t length) {
  if (!LevelOn(level) || !data) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (uint32_t row = 0; row < length; row += 16) {
    char text[64];
    int n = std::snprintf(text, sizeof text, "%04x : ", row);
    for (uint32_t i = row; i < length && i < row + 16; ++i)
      n += std::snprintf(text + n, sizeof text - n, "%02x ", bytes[i]);
    DbgPrintf(level, "%s", text);
  }
}

void DbgNewThread(KrThread thread) {
  if (pDbg) pDbg->NewThreadColumn(thread);
}

void DbgDelThread(KrThread thread) {
  if (pDbg) pDbg->DeleteThreadColumn(thread);
}

void AppendDebugRawFile(const char* name, const uint8_t* data, uint32_t length) {
  if (szSavePath[0])
    CDbgPrint::DebugSaveFileBin(name, data, length,
                                CDbgPrint::kSaveAppend | CDbgPrint::kSaveRelative);
}

void DeleteDebugRawFile(const char* name) {
  // Replacing with no bytes removes the file.
  if (szSavePath[0])
    CDbgPrint::DebugSaveFileBin(name, nullptr, 0,
                                CDbgPrint::kSaveReplace | CDbgPrint::kSaveRelative);
}

void DumpSystemEnvironmentToLog() {
  if (!LevelOn(1)) return;
  DbgPrintf(1, "============Debug Start============");
  time_t now = std::time(nullptr);
  char date[64] = "";
  if (ctime_r(&now, date)) date[std::strcspn(date, "\n")] = 0;
  DbgPrintf(1, "Date: %s", date);
  DbgPrintf(1, "Process ID: %u", GetCurrentKrProcessId());

  struct utsname host;
  if (uname(&host) != 0) std::memset(&host, 0, sizeof host);
  int version[3] = {0, 0, 0};
  std::sscanf(host.release, "%d.%d.%d", &version[0], &version[1], &version[2]);
  DbgPrintf(1, "Mac Os X : Version %d.%d.%d", version[0], version[1], version[2]);

  DbgPrintf(1, "Physical memory : %llu", static_cast<unsigned long long>(GetKrPhysicalMemory()));
  DbgPrintf(1, "User memory : %lld", static_cast<long long>(GetKrUserMemory()));
  char model[256];
  if (!ReadFirstLine("/sys/class/dmi/id/product_name", model, sizeof model))
    std::snprintf(model, sizeof model, "%s", host.machine);
  DbgPrintf(1, "Machine : %s", host.machine);
  DbgPrintf(1, "Machine : %s", model);
  DbgPrintf(1, "CPU count : %u", static_cast<unsigned>(sysconf(_SC_NPROCESSORS_CONF)));
  DbgPrintf(1, "Byte order : %u", __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 1234u : 4321u);
  DbgPrintf(1, "CPU frequency : %.3f Mhz", fCPUSpeed);
}

char* GetDriverPath() { return DriverPath; }

void LogToDV(const char*, ...) {}
