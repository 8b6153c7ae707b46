#include "RecordingDataSource.h"

#include <algorithm>

namespace ferrolite::dialog::testing {

std::string TableBundle::localizedStringForKey(std::string_view key, std::string_view value) const {
  auto it = texts_.find(key);
  return it != texts_.end() ? it->second : std::string(value);
}

namespace {
std::string yesNo(bool b) { return b ? "YES" : "NO"; }
}  // namespace

const LanguageBundle& RecordingDataSource::getLanguage(int32_t* id) {
  calls.push_back("getLanguage");
  if (id) *id = languageId;
  return language ? *language : bundle;
}

std::vector<LanguageEntry> RecordingDataSource::supportedLanguage() {
  calls.push_back("supportedLanguage");
  return languages;
}

void RecordingDataSource::setLanguage(int32_t index) {
  calls.push_back("setLanguage(" + std::to_string(index) + ")");
  if (index >= 0 && static_cast<std::size_t>(index) < languages.size()) {
    languageId = languages[index].langID;
  }
}

int32_t RecordingDataSource::checkScanParams() {
  calls.push_back("checkScanParams");
  return checkScanParamsAnswer;
}

void RecordingDataSource::xferReady() {
  calls.push_back("xferReady");
  if (onXferReady) onXferReady();
}
void RecordingDataSource::closeDSRequest() {
  calls.push_back("closeDSRequest");
  if (onCloseDSRequest) onCloseDSRequest();
}
void RecordingDataSource::closeDSOK() { calls.push_back("closeDSOK"); }
void RecordingDataSource::previewScan() {
  calls.push_back("previewScan");
  if (onPreviewScan) onPreviewScan();
}

void RecordingDataSource::readSetting(const std::optional<std::string>& name, bool loadDefault) {
  calls.push_back("readSetting(" + (name ? *name : std::string("nil")) + ", " + yesNo(loadDefault) +
                  ")");
  if (onReadSetting) onReadSetting(name, loadDefault);
}

std::optional<std::vector<std::string>> RecordingDataSource::availableProfile() {
  calls.push_back("availableProfile");
  return profiles;
}

void RecordingDataSource::profileOperation(std::string_view name, int32_t operation) {
  calls.push_back("profileOperation(" + std::string(name) + ", " + std::to_string(operation) + ")");
  if (!profiles) profiles.emplace();
  auto it = std::find(profiles->begin(), profiles->end(), name);
  if (operation == kProfileSave && it == profiles->end()) {
    profiles->emplace_back(name);
    std::sort(profiles->begin(), profiles->end());
  } else if (operation == kProfileRemove && it != profiles->end()) {
    profiles->erase(it);
  }
  if (onProfileOperation) onProfileOperation(name, operation);
}

void RecordingDataSource::printDebugLog(bool on) {
  calls.push_back("printDebugLog(" + yesNo(on) + ")");
}

void RecordingDataSource::getNVMData(void* buffer, std::size_t bufferSize) {
  calls.push_back("getNVMData(" + std::to_string(bufferSize) + ")");
  if (!nvram.empty()) std::memcpy(buffer, nvram.data(), std::min(bufferSize, nvram.size()));
}

bool RecordingDataSource::resetRollerCount(int32_t which) {
  calls.push_back("resetRollerCount(" + std::to_string(which) + ")");
  return resetAnswer;
}

bool RecordingDataSource::calibrateScanner() {
  calls.push_back("calibrateScanner");
  return calibrateAnswer;
}

bool RecordingDataSource::getColorDropData(const uint8_t* source, uint8_t* dest, XferImageInfo info,
                                           ColorDropParam param) {
  calls.push_back("getColorDropData(" + std::to_string(info.dwWidth) + "x" +
                  std::to_string(info.dwLength) + ", drop " + std::to_string(param.bDropColor) +
                  ")");
  if (colorDrop) colorDrop(source, dest, info, param);
  return colorDropAnswer;
}

}  // namespace ferrolite::dialog::testing
