#pragma once
// The settings window's frame on the widget layer: the hand-over from the data source, the
// set-up of the window in its fixed order, the page bookkeeping on the tab view, the change of
// page, the notification observers, the settings and information tables, the main buttons and
// modifier keys, the commit of typed values, Default and the diagnostic sheet.
//
// Everything runs on the UI thread but setMainButtonsStatus, which the data source may call from
// any thread and which runs there.
//
//   MainDialog dialog(application, bridge, paths);   // the data source's openDS
//   bridge.getDS(&dataSource);                        // enableDS:, in this order
//   dialog.getExtraParam(extra);
//   dialog.guiSetting(&record, &paper, ability, name, uiOnly, info);
//   dialog.window();                                  // loads and sets up the window once
//   dialog.show(title);
#include <cstdint>
#include <memory>
#include <string>

#include "ds/dialog/frame/DialogShared.h"
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/frame/SetUp.h"
#include "platform/ui/Toolkit.h"

namespace ferrolite::dialog {

class MainDialog {
 public:
  // toolkit: the one that shows the windows (null: headless).
  MainDialog(ui::Application& application, BridgeObject_V2& bridge, DialogPaths paths,
             ui::Toolkit* toolkit = nullptr);
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // The data source's hand-over.
  void getExtraParam(const ExtraParam& extra);
  void guiSetting(ScanSetting* record, PaperTbl* paperSizes, HandedAbility ability,
                  const std::string& scannerName, int32_t uiOnly, const ScannerInfo& info);
  // The window; the first access builds it and runs the set-up.
  ui::Window& window();
  // Titles the window ("%@ %@" of the data source's two parts) and orders it front.
  void show(const std::string& title);
  // disableDS: the window goes out of sight.
  void hide();

  // Enables or disables Scan, the drawer's Preview and Cancel; when disabling, lets the window
  // draw for up to 0.05 s (no input taken). From any thread: it runs on the UI thread.
  void setMainButtonsStatus(bool enabled);

  // The main buttons' actions (also reached by clicking them).
  void scanButton();
  void cancelButton();
  void previewButton();
  void previewDrawerButton();
  void defaultButton();
  void propertyTabBarInfoOKButton();
  void checkResolutionBoundary();
  void deletePreviewImageFile();

  DialogShared& shared() { return shared_; }
  DialogPages& pages() { return pages_; }

 private:
  void setUp();
  void buildWindows();
  void wireFrame();
  void hideOptionalPagesByRecord();
  void applyTabChange(const TabChange& change);
  void registerObservers();
  void multiFeedControls();
  void scanSourceAtSetUp(bool atDefault);
  void tabDidSelect(ui::TabViewItem& item);
  void commitTypedValues();
  void openDiagnosticSheet();
  void showDiagnosticPanel(std::string_view item);
  void setMainButtonsStatusHere(bool enabled);
  // Closes the window after a message to the host, which then needs no second one.
  void closeAfterHostTold();
  void flagsChanged(ui::Modifiers modifiers);
  void keyDown(const ui::KeyEvent& key);

  DialogShared shared_;
  DialogPages pages_;
  ui::Toolkit* toolkit_;
  bool setUpDone_ = false;
  bool hostTold_ = false;  // Scan's OK or Cancel has told the host about this close
};

}  // namespace ferrolite::dialog
