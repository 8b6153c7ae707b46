#pragma once
// What the data source's open, enable, disable and close steps talk to besides the scan object:
// the settings dialog's controller, the progress window's controller, the alerts, and the
// image-process object's plug-in duties. One factory makes them: by default the session's
// (SessionDialog.h), which shows the real dialog when it can; tests may put another in place.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ds/scan/records/ExtraParam.h"
#include "ds/scan/records/PaperTbl.h"
#include "ds/scan/records/ScanSetting.h"
#include "ds/scan/records/ScannerInfo.h"

namespace ferrolite {

class TezFRLDS;

// A modal alert: 1000 for the first button, 1001 for the second.
inline constexpr int kAlertStyleCritical = 2;
inline constexpr int kAlertFirstButton = 1000;
inline constexpr int kAlertSecondButton = 1001;
struct AlertRequest {
  int style = kAlertStyleCritical;
  std::string message;
  std::string details;
  std::filesystem::path icon;
  std::vector<std::string> buttons;
  std::filesystem::path resourceFolder;  // where a window's toolkit adapter is found
};

// The settings dialog ("TwainDSDialog") as the data source drives it.
class DialogController {
 public:
  virtual ~DialogController() = default;
  virtual void getDS(TezFRLDS* source) = 0;
  virtual void getExtraParam(const ExtraParam& extra) = 0;
  // The ability record is the driver interface's own (DeviceAbility or ScannerAbilityEx).
  virtual void guiSetting(const ScanSetting& setting, const PaperTbl& paperSizes,
                          const void* ability, std::size_t abilitySize,
                          const std::string& scannerName, bool uiOnly,
                          const ScannerInfo& scannerInfo) = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual void makeKeyAndOrderFront() = 0;
  virtual void closeUI() = 0;
  // The Scan, Preview and Cancel buttons: off while a batch runs, on again when it is over.
  virtual void setMainButtonsStatus(bool enabled) = 0;
  // The enable step has ended with the window shown: a user may now act on it.
  virtual void enableEnded(bool uiOnly) = 0;
  // A dialog on a UI thread of its own owns the settings record while it lives: runs `task`
  // there and returns when it ran. False when the dialog has no such thread (the caller runs it).
  virtual bool performOnUiThread(const std::function<void()>&) { return false; }
  // The alert shown with the dialog (a sheet on its window while that is open); nothing when the
  // dialog shows no alerts.
  virtual std::optional<int> runAlert(const AlertRequest&) { return std::nullopt; }
};

// The progress and transport windows ("DialogBox"), as the data source drives them
// (TezFRLDialogBox.h builds them on the widget layer). Host's thread only.
class ProgressController {
 public:
  virtual ~ProgressController() = default;
  virtual void makeKeyAndOrderFront() = 0;
  virtual void closeIndicatorWindow() = 0;

  // The progress window.
  virtual void initialize() = 0;
  virtual void cancel() = 0;
  virtual bool scanCancelled() const = 0;
  virtual void enableCancelButton(bool enabled) = 0;
  virtual void textCancelButton(const std::string& title) = 0;
  virtual void textTransferring(const std::string& text) = 0;
  virtual void textElapsed(const std::string& text) = 0;
  virtual void indicatorValue(int percent) = 0;
  virtual void startIndicator() = 0;
  virtual void setIndicatorTitle(const std::string& title) = 0;
  virtual void showIndicator(bool asSheet) = 0;
  virtual void orderOutIndicator() = 0;
  // A repeating timer on the host's thread for the elapsed time; one at a time.
  virtual void startIndicatorTimer(std::chrono::milliseconds interval,
                                   std::function<void()> fire) = 0;
  virtual void stopIndicatorTimer() = 0;
  // Lets the windows draw and posted work run, without waiting.
  virtual void runLoopOnce() = 0;

  // The transport window.
  virtual void textPutPaper(const std::string& text) = 0;
  virtual void textTimeRemain(const std::string& text) = 0;
  virtual void textCancel(const std::string& title) = 0;
  virtual void textContinue(const std::string& title) = 0;
  virtual void setTransportTitle(const std::string& title) = 0;
  virtual void continueScan() = 0;
  virtual void cancelNext() = 0;
  virtual bool beContinued() const = 0;
  virtual void showContinueButton(bool show) = 0;
  virtual void setPhotoshopFamily(bool on) = 0;
  virtual void runTransportWindow() = 0;
  virtual void closeTransportWindow() = 0;
};

class TezFRLImageProcess;

// The image-process object's duties at open and close: the plug-ins and the button watcher;
// `process` is the object itself, which the scan object runs the page steps on.
class ImagePlugIns {
 public:
  virtual ~ImagePlugIns() = default;
  virtual bool initalizeKrCocoaLib(const std::filesystem::path& resourceFolder) = 0;
  virtual void detectButtonEvent(int stop, const std::string& vendor) = 0;
  virtual void scannerName(const std::string& deviceName) = 0;
  virtual bool initalizeLumetraLib(const std::filesystem::path& resourceFolder, int debugLevel,
                                   uint32_t usbID) = 0;
  virtual bool initalizeColorMatchLib(const std::filesystem::path& resourceFolder) = 0;
  virtual bool blackADF() const = 0;
  virtual TezFRLImageProcess* process() = 0;
};

class DSFactory {
 public:
  virtual ~DSFactory() = default;
  virtual std::unique_ptr<DialogController> makeMainDialog(TezFRLDS& source) = 0;
  // The dialog that shows an alert before the window is first needed, kept as the main dialog
  // (its window is built at the enable); null when alerts go through runAlert alone.
  virtual std::unique_ptr<DialogController> makeAlertDialog(TezFRLDS&) { return nullptr; }
  virtual std::unique_ptr<ProgressController> makeDialogBox(TezFRLDS& source) = 0;
  virtual std::unique_ptr<ImagePlugIns> makeImagePlugIns() = 0;
  virtual int runAlert(const AlertRequest& alert) = 0;
};

// The factory in force: the session's one unless replaced. Not thread-safe: set it before
// making the data-source object.
DSFactory& dsFactory();
void replaceDSFactory(DSFactory* factory);

}  // namespace ferrolite
