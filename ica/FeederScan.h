#pragma once
// What the feeder scan's producer and consumer share: the page images the producer queues and
// the queue itself, the statuses they exchange, and the consumer's pixel steps (kept apart so
// that they can be tested on their own).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vantrel/scan_records.h"

namespace icamodule {

// Statuses of the queue's entries: a page, the end of the paper, or the driver status that
// ended the job.
inline constexpr long kStatusEndOfPage = -2022;
inline constexpr long kStatusEndOfFile = -2038;
inline constexpr long kStatusNoPaper = 1000;
inline constexpr long kStatusReadAbort = -2010;
inline constexpr long kStatusCallbackCancel = 2;
inline constexpr long kStatusLampNotReady = -2041;
inline constexpr long kStatusStartAgain = -2042;
inline constexpr long kStatusPaperJam = -2013;
inline constexpr long kStatusCoverOpen = -2014;
inline constexpr long kStatusMisfeed = -3211;
inline constexpr long kStatusParameterError = -2005;
inline constexpr long kStatusPageTimeout = -2003;  // the driver's handshake time-out

// A status that lets the scan go on: nothing, end of page, end of file.
inline bool isGoodStatus(long status) {
  return status == 0 || status == kStatusEndOfPage || status == kStatusEndOfFile;
}

// Set by the data callback when the driver reports a cancel from the device; cleared by the
// consumer at the scan's start.
extern std::atomic<bool> gCancelFromDevice;

// A page as the producer builds it and the consumer works on it: 8 bits a sample, rows of
// bytesPerRow bytes.
struct PageImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bytesPerRow = 0;
  uint32_t samplesPerPixel = 1;
  uint32_t bitsPerPixel = 8;
  std::vector<uint8_t> pixels;
};

struct PageEntry {
  long status = 0;
  std::shared_ptr<PageImage> image;  // for kStatusEndOfPage only
};

// The producer appends, the consumer takes; take() waits for an append or for the producer's
// close().
class PageArray {
 public:
  void append(PageEntry entry);
  // The first entry; nothing once the array is closed and empty.
  std::optional<PageEntry> take();
  void close();

 private:
  std::mutex mutex_;
  std::condition_variable appended_;
  std::deque<PageEntry> entries_;
  bool closed_ = false;
};

// The page the scan's passes delivered. Raw pages: the passes' bytes one after the other into
// a bitmap of `lines` rows of `bytesPerLine` bytes (what is missing stays 0, what is more is
// cut off). JPEG pages: each pass's stream is one image, the page the passes' images one below
// the other, as wide as the last one. Nothing when no pass decodes.
std::shared_ptr<PageImage> rawPageImage(std::vector<std::vector<uint8_t>> passes, uint32_t pixels,
                                        uint32_t lines, uint32_t bytesPerLine, bool colour);
std::shared_ptr<PageImage> jpegPageImage(const std::vector<std::vector<uint8_t>>& passes);

// ---- the consumer's pixel steps ----

// Pixels of more than three bytes reduced to their first three, in place.
void compactToRgb(PageImage& page);
// Every byte through the table.
void applyGamma(PageImage& page, const uint8_t (&table)[256]);
// 8-bit grey to 1 bit a pixel, a set bit where the value is above (256 - threshold) % 256; the
// width is cut to a multiple of 8.
void packToBits(PageImage& page, long threshold);
// A quarter or half turn (0 leaves the page alone); bytes per row follow the new width.
void rotatePage(PageImage& page, long degrees);
// Reduces the page to width x height with the fixed-point scaler; the page stays as it was
// when the size would enlarge it in either direction or the scaler fails. True when scaled.
bool scalePage(PageImage& page, uint32_t width, uint32_t height);
// Rows per band for a band size in bytes: at least one row.
uint32_t rowsPerBand(int64_t bandSize, uint32_t bytesPerRow);

}  // namespace icamodule
