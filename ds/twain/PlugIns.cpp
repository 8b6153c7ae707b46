// The plug-in libraries of the open step.
#include "ds/twain/PlugIns.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>

#include "ds/scan/common/TezFRLCommon.h"
#include "platform/foundation/Resources.h"
#include "plugins/Chromalis/Chromalis.h"
#include "plugins/KRCocoa/KRCocoa.h"
#include "plugins/Lumetra/Lumetra.h"

namespace ferrolite {

namespace {

// The profile call's fixed arguments.
constexpr int32_t kProfileReserved1 = 0, kProfileIntent = 3, kProfileReserved2 = 0,
                  kProfileCode = 38;

void log(std::string_view name, const TezFRLCommon::LogData& data) {
  if (gKrCommon) gKrCommon->outputDebugLog(name, kLogBlank, 1, data);
}

void* open(const std::filesystem::path& file) {
  if (file.empty()) return nullptr;
  return dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
}

void close(void*& handle) {
  if (handle != nullptr) dlclose(handle);
  handle = nullptr;
}

}  // namespace

PlugInLibraries::~PlugInLibraries() {
  if (lumetraStarted_) {
    if (auto terminate =
            reinterpret_cast<LumetraTerminateLibFn>(dlsym(hLumetra_, "TerminateLib"))) {
      terminate();
    }
    log("Lumetra released", kLogNoData);
  }
  close(hLumetra_);
  if (hChromalis_) log("ColorMatch released", kLogNoData);
  close(hChromalis_);
  close(hKrCocoa_);
}

std::filesystem::path PlugInLibraries::locate(const std::filesystem::path& resourceFolder,
                                              const std::string& name) {
  std::error_code error;
  for (const std::filesystem::path& folder :
       {resourceFolder, foundation::scannerModuleResourceFolder()}) {
    const std::filesystem::path file = folder / name;
    if (std::filesystem::exists(file, error)) return file;
  }
  return {};
}

bool PlugInLibraries::initalizeKrCocoaLib(const std::filesystem::path& resourceFolder) {
  close(hKrCocoa_);
  queryICAButton_ = nullptr;
  hKrCocoa_ = open(locate(resourceFolder, kKRCocoaLibraryName));
  if (hKrCocoa_ == nullptr) return false;
  queryICAButton_ = reinterpret_cast<KRCocoaQueryICAButtonFn>(dlsym(hKrCocoa_, "queryICAButton"));
  return true;
}

void PlugInLibraries::detectButtonEvent(int stop, const std::string& vendor) {
  if (queryICAButton_ == nullptr) return;
  char text[64];
  std::snprintf(text, sizeof text, "stop: %d, vendor: %s", stop, vendor.c_str());
  log("detectButtonEvent", text);
  queryICAButton_(stop, vendor.c_str());
}

bool PlugInLibraries::initalizeLumetraLib(const std::filesystem::path& resourceFolder,
                                          int debugLevel, uint32_t usbID) {
  if (hLumetra_ == nullptr) hLumetra_ = open(locate(resourceFolder, kLumetraLibraryName));
  if (hLumetra_ == nullptr) {
    log("Lumetra", "not loaded");
    return false;
  }
  auto initialize = reinterpret_cast<LumetraInitializeLibFn>(dlsym(hLumetra_, "InitializeLib"));
  auto identify =
      reinterpret_cast<LumetraIdentifyProductSettingFn>(dlsym(hLumetra_, "IdentifyProductSetting"));
  auto debugMode = reinterpret_cast<LumetraSetDebugModeFn>(dlsym(hLumetra_, "SetDebugMode"));
  if (initialize == nullptr || identify == nullptr || initialize() < 0) {
    close(hLumetra_);
    return false;
  }
  lumetraStarted_ = true;
  if (debugMode != nullptr) {
    debugMode(static_cast<uint32_t>(debugLevel), logRootFolder().c_str());
  }
  // Vendor then product: the low half first.
  char id[16];
  std::snprintf(id, sizeof id, "%04X%04X", usbID & 0xFFFF, usbID >> 16);
  long status = 0;
  identify(id, 0, &status);
  return true;
}

bool PlugInLibraries::initalizeColorMatchLib(const std::filesystem::path& resourceFolder) {
  close(hChromalis_);
  hChromalis_ = open(locate(resourceFolder, kChromalisLibraryName));
  if (hChromalis_ == nullptr) return false;
  const std::filesystem::path front = locate(resourceFolder, "icc/" + scannerName_ + ".icc");
  if (front.empty()) {
    log(resourceFolder.string() + "/icc/" + scannerName_ + ".icc not found", kLogNoData);
    return false;
  }
  const char* endings[] = {"", "_2nd", "_3rd"};
  const std::string files[] = {scannerName_ + ".icc", scannerName_ + "R.icc",
                               scannerName_ + "FB.icc"};
  for (int i = 0; i < 3; ++i) {
    auto setProfile = reinterpret_cast<ChromalisSetProfileFn>(
        dlsym(hChromalis_, (std::string("KR_Icc_SetProfile") + endings[i]).c_str()));
    if (setProfile == nullptr) return false;
    std::filesystem::path file = locate(resourceFolder, "icc/" + files[i]);
    if (file.empty()) file = front;
    if (setProfile(file.c_str(), kProfileReserved1, kProfileIntent, kProfileReserved2,
                   kProfileCode) == kChromalisFailed) {
      log("Set profile failed " + file.filename().string(), kLogNoData);
      return false;
    }
  }
  return true;
}

}  // namespace ferrolite
