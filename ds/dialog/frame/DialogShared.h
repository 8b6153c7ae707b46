#pragma once
// What the dialog's page controllers share: the widget layer's application and windows, the
// data source and its records, the bridge, the dialog-wide values, the language, the page
// bookkeeping and the key-value-coded properties the controls are bound to. The frame owns it;
// every page controller holds a reference and makes its cross-page calls through it.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/frame/PageBook.h"
#include "ds/dialog/image/ImageTypeButtons.h"
#include "ds/dialog/image/ModeSideRows.h"
#include "ds/dialog/image/PaperSizeList.h"
#include "ds/scan/records/PaperTbl.h"
#include "ds/scan/records/ScannerInfo.h"
#include "platform/ui/Application.h"
#include "platform/ui/Properties.h"
#include "platform/ui/Toolkit.h"
#include "platform/ui/Window.h"

namespace ferrolite::dialog {

class DialogPages;

// Where the data source keeps its files: the bundle folder (the preview file, the folder Alt+Q
// reveals) and its resource folder (the alert icon).
struct DialogPaths {
  std::filesystem::path bundleFolder;
  std::filesystem::path resourceFolder;
};

// The layer's texts over the data source's language bundle.
class LanguageStrings final : public ui::Strings {
 public:
  explicit LanguageStrings(const LanguageBundle* bundle = nullptr) : bundle_(bundle) {}
  void setBundle(const LanguageBundle* bundle) { bundle_ = bundle; }
  std::string localized(std::string_view key, std::string_view fallback) const override {
    return bundle_ ? bundle_->localizedStringForKey(key, fallback) : std::string(fallback);
  }

 private:
  const LanguageBundle* bundle_;
};

// The resolution popup's binding: resolutions to item indexes and back, remembering the last
// resolution for the custom item.
class ResolutionPopupTransformer final : public ui::ValueTransformer {
 public:
  ui::Value transformed(const ui::Value& resolution) override {
    if (resolution.kind() == foundation::Kind::boolean) return rule_.transformedValue(nullptr);
    const int64_t dpi = resolution.integer().valueOr(0);
    return rule_.transformedValue(&dpi);
  }
  ui::Value reverseTransformed(const ui::Value& index) override {
    return rule_.reverseTransformedValue(index.integer().valueOr(0));
  }

 private:
  ResolutionTransformer_V2Tez_FRL rule_;
};

// The information table's rows, filled by the information page.
inline constexpr int kInfoRows = 16;
struct InfoTable {
  std::array<std::string, kInfoRows> mInfoTabName;
  std::array<std::string, kInfoRows> mInfoTabInfo;
  std::array<int32_t, kInfoRows> mInfoTabReset{};  // 0 none, 1 pad, 2 feed, 3 reverse, 4 pickup
  std::string mInfoTabResetStr;
  int mInfoTabItems = 0;
};

struct DialogShared {
  DialogShared(ui::Application& app, BridgeObject_V2& b, DialogPaths p)
      : application(app), bridge(b), paths(std::move(p)) {}
  DialogShared(const DialogShared&) = delete;
  DialogShared& operator=(const DialogShared&) = delete;

  ui::Application& application;
  BridgeObject_V2& bridge;
  DialogPaths paths;
  DialogGlobals globals;
  ExtraParam curExtraParam;
  LongPageState longPage;
  PaperTbl* mAllPaperSize = nullptr;
  ScannerInfo mScannerInfo;
  int32_t mUIOnly = 0;
  int32_t ScanMethodDuplex = 0;
  int32_t DeviceName = kOemIndex;
  // The ability record handed over, before the set-up gives it to the bridge.
  const DeviceAbility* handedCurrent = nullptr;
  const ScannerAbilityEx* handedOlder = nullptr;
  ScanSetting* handedRecord = nullptr;
  std::string handedName;

  int32_t languageId = 0;
  LanguageStrings strings;
  ui::Properties properties;  // the controls' bound values (mResValue, ...)
  ResolutionPopupTransformer resolutionTransformer;

  std::unique_ptr<ui::Window> window;  // "TwainDSDialog"
  std::unique_ptr<ui::Window> drawer;  // the preview drawer
  std::unique_ptr<ui::Window> sheet;   // the diagnostic panels
  ui::Toolkit* toolkit = nullptr;      // shows the windows the pages build later (null: headless)

  PageBook pages;
  std::unique_ptr<ImageTypeButtons> imageTypes;
  InfoTable info;
  DialogPages* controllers = nullptr;

  bool controlPressed = false;
  bool shiftPressed = false;
  bool commandPressed = false;
  bool previewDrawerIsOpen = false;
  float mColorRed = 128.0f / 255, mColorGreen = 128.0f / 255, mColorBlue = 128.0f / 255,
        mColorAlpha = 1.0f;
  int32_t mKriTabSetting = 0;
  ui::Rect mDefaultButtonRect;
  // The observers registered at set-up, in order.
  std::vector<std::string> observedNames;

  DialogContext ctx() { return DialogContext{bridge, globals, curExtraParam}; }
  ScanSetting& record() { return *bridge.mpScanSettings; }
  // The language bundle fetched at set-up (the data source owns it).
  const LanguageBundle* languageBundle = nullptr;
  const LanguageBundle& language() const { return *languageBundle; }
  // Asks the data source for its current bundle and uses it for every text from now on.
  void fetchLanguage() {
    languageBundle = &bridge.ds()->getLanguage(&languageId);
    strings.setBundle(languageBundle);
  }
  std::string text(std::string_view key, std::string_view fallback) const {
    return strings.localized(key, fallback);
  }
  // "%@/%@_%s": the bundle folder, the scanner name, "preview.tif".
  std::filesystem::path previewFile() const {
    return paths.bundleFolder / (bridge.mScannerName + "_preview.tif");
  }

  template <class T>
  T& main(std::string_view outlet) const {
    return window->get<T>(outlet);
  }
  template <class T>
  T& inDrawer(std::string_view outlet) const {
    return drawer->get<T>(outlet);
  }
};

}  // namespace ferrolite::dialog
