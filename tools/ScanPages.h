#pragma once
// A scan job as a client runs it through the driver's exports: the settings, a KRStartScan per
// page with a callback that gathers the page's blocks, the page's description, the end of the
// page and of the job. One job, pages until the feeder is empty or enough were scanned.
#include <cstdint>
#include <functional>
#include <string>

#include "tools/KrLibrary.h"
#include "tools/PageFiles.h"

namespace vtclient {

enum class ScanSource { Front, Back, Duplex };
enum class ScanColour { Lineart, Grey, Colour };

struct ScanSettings {
  ScanColour colour = ScanColour::Grey;
  uint32_t depth = 8;         // bits per sample: 1 lineart; 8 or 16 grey and colour
  uint32_t resolution = 300;  // dots per inch, both ways
  // The area in millimetres from the top left corner of the feeder's width.
  double left = 0, top = 0, width = 215.9, length = 279.4;
  ScanSource source = ScanSource::Front;
  uint32_t pages = 0;        // 0: until the feeder is empty
  bool toEndOfPage = false;  // deliver each page as long as the sheet (else the area's length)
  bool pageMode = true;      // the scanner waits for the next page start (else batch mode)
  uint32_t blockSize = 0;    // bytes per callback, 0: whole pages
};

struct ScannedPage {
  uint32_t number = 0;  // from 1, in the order of the job
  uint32_t sheet = 0;   // from 1
  bool back = false;    // the back side of its sheet
  PageImage image;
};

// What a job ended with: the status of the call that ended it (0: done), the call's name.
struct ScanOutcome {
  long status = 0;
  const char* call = "";
  uint32_t pages = 0;
};

// What a client does with a job's pages as their bytes arrive.
class PageConsumer {
 public:
  virtual ~PageConsumer() = default;
  // Before the page is started: its number, sheet and side, and its layout as the job's
  // settings make it (height 0 for a page as long as its sheet). False ends the job.
  virtual bool Begin(const ScannedPage& page) = 0;
  // Each block of the page's bytes as the driver hands it over, on the driver's thread. False
  // drops the rest of the page, and the job ends when the page does.
  virtual bool Bytes(const uint8_t* data, size_t size) = 0;
  // The page ended good, as the driver describes it (no bytes). False ends the job.
  virtual bool End(const ScannedPage& page) = 0;
  // The page began but did not end good, or its bytes were refused: what Begin and Bytes made
  // goes.
  virtual void Drop() = 0;
};

// Runs one job on an opened device, each page's bytes to `consumer` as they arrive. A consumer
// that refuses a page ends the job: the job is stopped and the outcome carries status 0 and call
// "output".
ScanOutcome RunScanJob(KrLibrary& kr, uint32_t ctrl, uint32_t* handle, const ScanSettings& s,
                       PageConsumer& consumer);
// The same with every page gathered whole and handed to `page` as soon as it is complete.
ScanOutcome RunScanJob(KrLibrary& kr, uint32_t ctrl, uint32_t* handle, const ScanSettings& s,
                       const std::function<bool(const ScannedPage&)>& page);

}  // namespace vtclient
