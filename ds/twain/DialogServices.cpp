// The dialog's calls, each passed to the data source's own step.
#include "ds/twain/DialogServices.h"

#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/TezFRLDS.h"

namespace ferrolite {

namespace {

class SelectedLanguage final : public dialog::LanguageBundle {
 public:
  explicit SelectedLanguage(const TezFRLDS& source) : source_(source) {}
  std::string localizedStringForKey(std::string_view key, std::string_view value) const override {
    return source_.localized(key, value);
  }

 private:
  const TezFRLDS& source_;
};

class DialogServices final : public dialog::DialogDataSource {
 public:
  explicit DialogServices(TezFRLDS& source) : source_(source), language_(source) {}

  const dialog::LanguageBundle& getLanguage(int32_t* languageId) override {
    source_.getLanguage(languageId);
    return language_;
  }
  std::vector<dialog::LanguageEntry> supportedLanguage() override {
    std::vector<dialog::LanguageEntry> entries;
    int count = 0;
    for (const LanguageEntry& entry : source_.supportedLanguages(&count)) {
      entries.push_back({entry.langID, entry.langFolder, entry.displayName});
    }
    return entries;
  }
  void setLanguage(int32_t index) override { source_.setLanguage(index); }
  int32_t checkScanParams() override { return source_.checkScanParams(); }
  void xferReady() override { source_.xferReady(); }
  void closeDSRequest() override { source_.closeDSRequest(); }
  void closeDSOK() override { source_.closeDSOK(); }
  void previewScan() override { source_.previewScan(); }
  void readSetting(const std::optional<std::string>& name, bool loadDefault) override {
    source_.readSetting(name, loadDefault);
  }
  std::optional<std::vector<std::string>> availableProfile() override {
    return source_.availableProfile();
  }
  void profileOperation(std::string_view name, int32_t operation) override {
    source_.profileOperation(std::string(name), operation);
  }
  void printDebugLog(bool on) override { source_.printDebugLog(on); }
  void getNVMData(void* buffer, std::size_t bufferSize) override {
    source_.getNVMData(buffer, bufferSize);
  }
  bool resetRollerCount(int32_t which) override { return source_.resetRollerCount(which); }
  bool calibrateScanner() override { return source_.calibrateScanner(); }
  bool getColorDropData(const uint8_t* source, uint8_t* dest, XferImageInfo sourceInfo,
                        ColorDropParam param) override {
    // The drop-out preview is the image-process object's.
    TezFRLImageProcess* process = source_.imageProcess ? source_.imageProcess->process() : nullptr;
    if (process == nullptr) {
      dsLog("getColorDropData", kLogBlank, 0, "no image process");
      return false;
    }
    return process->getColorDropData(source, dest, sourceInfo, param);
  }

 private:
  TezFRLDS& source_;
  SelectedLanguage language_;
};

}  // namespace

std::unique_ptr<dialog::DialogDataSource> makeDialogServices(TezFRLDS& source) {
  return std::make_unique<DialogServices>(source);
}

}  // namespace ferrolite
