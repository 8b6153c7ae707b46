// A stand-in for the image-processing plug-in that keeps what it was handed: the last record,
// the USB id text and the extra argument of DeskewCrop. Its crop answers a 1000 x 500 page of
// the record's depth; InitializeLib fails while RECORDING_LUMETRA_INIT_FAILS is set. The order of
// the start, crop and end calls is kept as a text ("I", "C", "T").
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "plugins/Lumetra/Lumetra.h"

namespace {
NIDATA gRecord;
char gUsbId[32];
void* gExtra = reinterpret_cast<void*>(1);
int gFreed = 0;
std::string gCalls;
constexpr uint32_t kOutWidth = 1000, kOutHeight = 500;
}  // namespace

extern "C" {
__attribute__((visibility("default"))) long InitializeLib() {
  gCalls += 'I';
  return std::getenv("RECORDING_LUMETRA_INIT_FAILS") ? kLumetraMsgFail : 0;
}
__attribute__((visibility("default"))) long TerminateLib() {
  gCalls += 'T';
  return 0;
}
__attribute__((visibility("default"))) long IdentifyProductSetting(const char* usbId, long,
                                                                   long* status) {
  std::strncpy(gUsbId, usbId, sizeof gUsbId - 1);
  if (status) *status = 0;
  return 0;
}
__attribute__((visibility("default"))) long FreeMemory(void* block) {
  std::free(block);
  ++gFreed;
  return 0;
}
__attribute__((visibility("default"))) long DeskewCrop(void* src, void** des, NIDATA* ni,
                                                       void* extra, long* status) {
  gCalls += 'C';
  std::memcpy(&gRecord, ni, sizeof gRecord);
  gExtra = extra;
  if (!src || !des || !status) return kLumetraMsgBadValue;
  *status = 0;
  const size_t bytes = ni->InImage.BitsPerPixel == 24 ? 3 : 1;
  *des = std::calloc(kOutWidth * kOutHeight, bytes);
  ni->OutImage.ImageWidth = kOutWidth;
  ni->OutImage.ImageHeight = kOutHeight;
  return 0;
}
// For the test: what the last calls were handed.
__attribute__((visibility("default"))) void RecordingLumetraLast(NIDATA* record, char* usbId,
                                                                 void** extra, int* freed) {
  std::memcpy(record, &gRecord, sizeof gRecord);
  std::memcpy(usbId, gUsbId, sizeof gUsbId);
  *extra = gExtra;
  *freed = gFreed;
}
// The calls so far ("ICT..."), and forgets them.
__attribute__((visibility("default"))) std::size_t RecordingLumetraCalls(char* out,
                                                                         std::size_t size) {
  const std::size_t n = std::min(size, gCalls.size());
  std::memcpy(out, gCalls.data(), n);
  gCalls.clear();
  return n;
}
}
