#pragma once
// The waits of the scan layer, named once. The scan thread looks at the callback's page state
// every `pagePoll`; a page whose callback never came gets `driverSilence` after a cancel before
// it fails; the barcode hand-over is looked at every `barcodePoll`; the scan thread looks for the
// host's next-page request every `nextPagePoll`. The transport window's countdown and the wait
// for a scan thread that is still alive count in `second`s, the wait for at most `aliveSeconds`
// (and the host's wait for a page gives up after as long without any data arriving); a batch that
// goes on gives the scan thread `xferGoPause` to start. Tests shorten them with setScanTiming.
#include <chrono>

namespace ferrolite {

struct ScanTiming {
  std::chrono::milliseconds pagePoll{100};
  std::chrono::milliseconds driverSilence{2000};
  std::chrono::milliseconds barcodePoll{200};
  std::chrono::milliseconds nextPagePoll{10};
  std::chrono::milliseconds second{1000};
  int aliveSeconds = 60;
  std::chrono::milliseconds xferGoPause{200};
};

// The waits in force; set before a job starts.
ScanTiming scanTiming();
void setScanTiming(const ScanTiming& timing);

}  // namespace ferrolite
