#pragma once
// The information page's rules: the rows of identity and counters for the kind of device, the
// power-on hours, the table's scroll view, the language popup and the copyright line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ds/dialog/DialogContext.h"
#include "ds/scan/common/Clock.h"
#include "ds/scan/records/ScannerInfo.h"

namespace ferrolite::dialog {

// Reset identifiers of a row: the table's Reset button sends resetRollerCount: with the
// identifier less one.
inline constexpr int32_t kResetNone = 0;
inline constexpr int32_t kResetPad = 1;
inline constexpr int32_t kResetFeedRoller = 2;
inline constexpr int32_t kResetReverseRoller = 3;
inline constexpr int32_t kResetPickupRoller = 4;

struct InfoRow {
  std::string name;
  std::string info;
  int32_t reset = kResetNone;
  bool operator==(const InfoRow&) const = default;
};

struct Frame {
  double x, y, width, height;
  bool operator==(const Frame&) const = default;
};

struct InfoPage {
  std::vector<InfoRow> rows;        // mInfoTabItems = rows.size()
  std::optional<Frame> scrollView;  // resized below 12 rows
  std::string resetTitle;
  std::vector<std::string> languageItems;
  std::size_t languageSelected = 0;
  bool languageHidden = false;  // fewer than two languages
  std::string copyright;
};

// doInfoTabInit. Reads the NVRAM record through the data source once (not for a scanner that
// shows identity rows only), into a buffer of the driver interface's record.
InfoPage doInfoTabInit(DialogContext& ctx, const ScannerInfo& info, const Frame& scrollView,
                       const Clock& clock);

// The power-on time: minutes / 60 with one decimal, then the hours word.
std::string powerOnHours(uint32_t minutes, const LanguageBundle& language);
// The copyright line for a year.
std::string copyrightLine(int year, const LanguageBundle& language);

}  // namespace ferrolite::dialog
