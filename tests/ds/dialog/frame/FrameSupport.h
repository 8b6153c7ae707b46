#pragma once
// The dialog's frame on the headless widget layer, opened as the data source opens it: scripted
// services, the recording data source, a duplex feeder-and-flatbed scanner on the current
// driver interface and a record every page can show.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DialogFixture.h"
#include "RecordingDataSource.h"
#include "ds/dialog/frame/MainDialog.h"
#include "ds/dialog/window/DialogWindows.h"
#include "ds/scan/records/PaperTbl.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Scripted.h"
#include "platform/ui/TabView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Toolkit.h"
#include "platform/ui/User.h"
#include "tests/support/TestFolder.h"

namespace ferrolite::dialog::testing {

struct FrameFixture {
  ui::ScriptedServices services;
  // The scripted services, or a toolkit's (the Qt replay hands in its host's).
  std::unique_ptr<ui::Application> application;
  ui::Toolkit* toolkit = nullptr;
  ui::User user;
  ScanSetting record;
  DeviceAbility current{};
  ScannerAbilityEx older{};
  ExtraParam extra;
  PaperTbl paper = kStandardPaperTbl;
  ScannerInfo info;
  BridgeObject_V2 bridge;
  RecordingDataSource dataSource;
  std::filesystem::path folder;
  int32_t uiOnly = 0;
  std::unique_ptr<MainDialog> dialog;

  explicit FrameFixture(std::string_view folderName = "dialog-frame",
                        const ui::Services* hosted = nullptr, ui::Toolkit* kit = nullptr)
      : application(std::make_unique<ui::Application>(hosted ? *hosted : services.services())),
        toolkit(kit) {
    folder = testsupport::freshTestFolder(folderName);
    describeTestScanner(current, older, extra, record);
    current.ScannerCapability0 = 0x01;  // ultrasonic multi-feed detection
    record.wTabWindow = 0xBA;
    record.strProfile = SharedText("Custom?");
  }
  ~FrameFixture() {
    dialog.reset();
    application.reset();
  }
  FrameFixture(const FrameFixture&) = delete;

  // openDS, then enableDS: with its calls in the data source's order; the log starts afresh.
  MainDialog& open(const std::string& name = "fi-7160") {
    dialog =
        std::make_unique<MainDialog>(*application, bridge, DialogPaths{folder, folder}, toolkit);
    bridge.getDS(&dataSource);
    dialog->getExtraParam(extra);
    dialog->guiSetting(&record, &paper, {&current, &older}, name, uiOnly, info);
    dialog->show(name + " 1.0");
    dataSource.calls.clear();
    return *dialog;
  }

  ui::Window& window() { return *dialog->shared().window; }
  ui::Window& drawer() { return *dialog->shared().drawer; }
  ui::Window& sheet() { return *dialog->shared().sheet; }
  template <class T>
  T& get(std::string_view outlet) {
    return window().get<T>(outlet);
  }
  ui::TabView& tabs() { return get<ui::TabView>(kTabViewOutlet); }
  std::vector<std::string> tabIdentifiers() {
    std::vector<std::string> ids;
    for (ui::TabViewItem* item : tabs().items()) ids.push_back(item->identifier());
    return ids;
  }
  bool click(std::string_view outlet) { return user.click(get<ui::Button>(outlet)); }
};

}  // namespace ferrolite::dialog::testing
