#pragma once
// The plug-ins the data source loads at open, for the image-process object: the watermark and
// button library (KRCocoa), the image library (Lumetra) and the colour-matching library
// (Chromalis), each looked for in the resource folder and then in the Image Capture module's.
// Only what the open and close steps need: the libraries, the button watcher's stop and go, the
// image library's product setting and the colour profiles.
#include <filesystem>
#include <string>

#include "ds/twain/DSPorts.h"

namespace ferrolite {

class PlugInLibraries final : public ImagePlugIns {
 public:
  PlugInLibraries() = default;
  ~PlugInLibraries() override;
  PlugInLibraries(const PlugInLibraries&) = delete;
  PlugInLibraries& operator=(const PlugInLibraries&) = delete;

  bool initalizeKrCocoaLib(const std::filesystem::path& resourceFolder) override;
  void detectButtonEvent(int stop, const std::string& vendor) override;
  void scannerName(const std::string& deviceName) override { scannerName_ = deviceName; }
  bool initalizeLumetraLib(const std::filesystem::path& resourceFolder, int debugLevel,
                           uint32_t usbID) override;
  bool initalizeColorMatchLib(const std::filesystem::path& resourceFolder) override;
  bool blackADF() const override { return false; }

  // The file of `name` in the resource folder, else in the module's; nothing when neither has it.
  static std::filesystem::path locate(const std::filesystem::path& resourceFolder,
                                      const std::string& name);

 private:
  void* hKrCocoa_ = nullptr;
  void* hLumetra_ = nullptr;
  void* hChromalis_ = nullptr;
  bool lumetraStarted_ = false;
  long (*queryICAButton_)(int32_t, const char*) = nullptr;
  std::string scannerName_;
};

}  // namespace ferrolite
