#pragma once
// The image-process object as the open and close steps reach it: the watermark and button
// library (KRCocoa), the image library (Lumetra) and the colour-matching library (Chromalis),
// each looked for in the resource folder and then in the Image Capture module's; the same object
// runs the scan thread's page steps and the pipeline of every delivered image.
#include <filesystem>
#include <string>

#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/twain/DSPorts.h"

namespace ferrolite {

// The file of `name` in the resource folder, else in the module's; nothing when neither has it.
std::filesystem::path locatePlugIn(const std::filesystem::path& resourceFolder,
                                   const std::string& name);

class ImageProcessPlugIns final : public ImagePlugIns {
 public:
  bool initalizeKrCocoaLib(const std::filesystem::path& resourceFolder) override {
    return process_.initalizeKrCocoaLib(resourceFolder);
  }
  void detectButtonEvent(int stop, const std::string& vendor) override {
    process_.detectButtonEvent(stop, vendor);
  }
  void scannerName(const std::string& deviceName) override { process_.scannerName(deviceName); }
  bool initalizeLumetraLib(const std::filesystem::path& resourceFolder, int debugLevel,
                           uint32_t usbID) override {
    return process_.initalizeLumetraLib(resourceFolder, debugLevel, usbID);
  }
  bool initalizeColorMatchLib(const std::filesystem::path& resourceFolder) override {
    return process_.initalizeColorMatchLib(resourceFolder);
  }
  bool blackADF() const override { return process_.blackADF(); }
  TezFRLImageProcess* process() override { return &process_; }

 private:
  TezFRLImageProcess process_;
};

}  // namespace ferrolite
