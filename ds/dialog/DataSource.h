#pragma once
// The data source as the settings dialog sees it: the calls the dialog makes on it, under their
// own names. The TWAIN side implements this; the dialog's tests use a recording fake.
//
// The data source's own steps around the dialog (opening, enabling, disabling and closing the
// source, finishing its scan thread) are not calls the dialog makes and are not part of it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ds/scan/records/ColorDropParam.h"
#include "ds/scan/records/XferImageInfo.h"

namespace ferrolite::dialog {

// The texts of one language. Every label of the dialog is looked up here with its key and a
// fallback (the key itself, or the key followed by "?").
class LanguageBundle {
 public:
  virtual ~LanguageBundle() = default;
  virtual std::string localizedStringForKey(std::string_view key, std::string_view value) const = 0;
};

// One entry of the table of available languages.
struct LanguageEntry {
  int32_t langID = 0;       // position in the built-in language list (0 English)
  std::string langFolder;   // the ".lproj" folder
  std::string displayName;  // shown in the language popup
};

// Operations of profileOperation.
inline constexpr int32_t kProfileLoad = 0;
inline constexpr int32_t kProfileSave = 1;
inline constexpr int32_t kProfileRemove = 2;

// checkScanParams's answer when the settings cannot be scanned.
inline constexpr int32_t kScanParamsRefused = -1000;

class DialogDataSource {
 public:
  virtual ~DialogDataSource() = default;

  // The current language bundle; writes the current language id. Cannot fail.
  virtual const LanguageBundle& getLanguage(int32_t* languageId) = 0;
  // The languages whose tables exist, in list order (at most 64; English alone when none).
  virtual std::vector<LanguageEntry> supportedLanguage() = 0;
  // index: a position in supportedLanguage's table, not a language id.
  virtual void setLanguage(int32_t index) = 0;

  // 0 when the settings may be scanned, kScanParamsRefused after the data source's alert.
  virtual int32_t checkScanParams() = 0;
  virtual void xferReady() = 0;
  virtual void closeDSRequest() = 0;
  virtual void closeDSOK() = 0;
  // Scans one preview page into the preview file.
  virtual void previewScan() = 0;

  // Resets the settings to the defaults, then applies the named profile, or without a name the
  // model's entry (loadDefault false) or the "Default" entry (true).
  virtual void readSetting(const std::optional<std::string>& name, bool loadDefault) = 0;
  // Saved profile names sorted case-insensitively; nullopt when the file cannot be read.
  virtual std::optional<std::vector<std::string>> availableProfile() = 0;
  virtual void profileOperation(std::string_view name, int32_t operation) = 0;
  virtual void printDebugLog(bool on) = 0;

  // Copies the NVRAM record into the buffer: NewNvmData with the current driver interface,
  // NvmData with the older one; never more than bufferSize bytes.
  virtual void getNVMData(void* buffer, std::size_t bufferSize) = 0;
  // which: 0 pad, 1 feed roller, 2 reverse roller, 3 pickup roller.
  virtual bool resetRollerCount(int32_t which) = 0;
  virtual bool calibrateScanner() = 0;
  virtual bool getColorDropData(const uint8_t* source, uint8_t* dest, XferImageInfo sourceInfo,
                                ColorDropParam param) = 0;
};

}  // namespace ferrolite::dialog
