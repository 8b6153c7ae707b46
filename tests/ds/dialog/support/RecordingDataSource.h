#pragma once
// A data source for the dialog's tests: logs every call with its arguments in order, answers
// from values a test sets, and serves a small language table.
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ds/dialog/DataSource.h"

namespace ferrolite::dialog::testing {

// Texts by key; a missing key answers the fallback, as a language table without the key does.
class TableBundle final : public LanguageBundle {
 public:
  TableBundle() = default;
  explicit TableBundle(std::map<std::string, std::string, std::less<>> texts)
      : texts_(std::move(texts)) {}
  std::string localizedStringForKey(std::string_view key, std::string_view value) const override;
  std::map<std::string, std::string, std::less<>>& texts() { return texts_; }

 private:
  std::map<std::string, std::string, std::less<>> texts_;
};

class RecordingDataSource final : public DialogDataSource {
 public:
  // One line per call: the call's name, then its arguments, e.g. "profileOperation(A, 0)".
  std::vector<std::string> calls;

  // Answers.
  TableBundle bundle;
  const LanguageBundle* language = nullptr;  // set: getLanguage answers it instead of bundle
  int32_t languageId = 0;
  std::vector<LanguageEntry> languages{{0, "English.lproj", "English"}};
  int32_t checkScanParamsAnswer = 0;
  std::optional<std::vector<std::string>> profiles;  // nullopt: no profile file
  std::vector<uint8_t> nvram;  // copied by getNVMData, as far as it and the buffer reach
  bool resetAnswer = true;
  bool calibrateAnswer = true;
  bool colorDropAnswer = true;
  // Run after the call is logged: what the data source does to the record or its files.
  std::function<void(const std::optional<std::string>& name, bool loadDefault)> onReadSetting;
  std::function<void()> onPreviewScan;
  std::function<void()> onXferReady;
  std::function<void()> onCloseDSRequest;
  // After profileOperation's bookkeeping of the names (a load may fill the record).
  std::function<void(std::string_view name, int32_t operation)> onProfileOperation;
  // Called with getColorDropData's arguments to fill the destination.
  std::function<void(const uint8_t*, uint8_t*, const XferImageInfo&, const ColorDropParam&)>
      colorDrop;

  const LanguageBundle& getLanguage(int32_t* id) override;
  std::vector<LanguageEntry> supportedLanguage() override;
  void setLanguage(int32_t index) override;
  int32_t checkScanParams() override;
  void xferReady() override;
  void closeDSRequest() override;
  void closeDSOK() override;
  void previewScan() override;
  void readSetting(const std::optional<std::string>& name, bool loadDefault) override;
  std::optional<std::vector<std::string>> availableProfile() override;
  void profileOperation(std::string_view name, int32_t operation) override;
  void printDebugLog(bool on) override;
  void getNVMData(void* buffer, std::size_t bufferSize) override;
  bool resetRollerCount(int32_t which) override;
  bool calibrateScanner() override;
  bool getColorDropData(const uint8_t* source, uint8_t* dest, XferImageInfo sourceInfo,
                        ColorDropParam param) override;
};

}  // namespace ferrolite::dialog::testing
