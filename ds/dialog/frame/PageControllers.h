#pragma once
// The dialog's page controllers over the shared dialog context: one class per page, each with
// the members the frame's set-up, Default, page changes and main buttons call (under the
// dialog's method names). The frame fixes when they run; what a page builds into its controls
// is the page's own, and the builders below do what this frame needs of them so far.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ds/dialog/colordrop/ColorDropPage.h"
#include "ds/dialog/colordrop/ColorDropResult.h"
#include "ds/dialog/frame/DialogShared.h"
#include "ds/dialog/image/PageCalls.h"
#include "ds/dialog/image/ToneControls.h"
#include "ds/dialog/imprinter/ImprinterPage.h"
#include "ds/dialog/options/BarcodeTypes.h"
#include "ds/dialog/options/DeviceSettings.h"
#include "ds/dialog/options/Enhancement.h"
#include "ds/dialog/options/OptionFields.h"
#include "ds/dialog/paper/PaperFields.h"
#include "ds/dialog/paper/PaperNotifications.h"
#include "ds/dialog/paper/PaperSteppers.h"
#include "ds/dialog/preview/PreviewGesture.h"
#include "ds/dialog/preview/PreviewImage.h"
#include "platform/ui/Controls.h"
#include "platform/ui/NotificationCenter.h"

namespace ui {
class Toolkit;
class MenuItem;
class Slider;
}  // namespace ui

namespace ferrolite::dialog {

class ImageTab {
 public:
  explicit ImageTab(DialogShared& s) : s_(s) {}
  void doImageTabInit();
  // The per-mode controls (tone, resolution, colour matching) of a mode/side index.
  void setImageTabItems(int64_t mode);
  // Set-up step 15's last call: the image-type buttons from the record.
  void initImageButtons();
  void imageTypeButtonSetState(bool rearEnabled, bool mergeTwoSides);
  void reCheckImageTypeStatus();
  void dropColorSetImageButtons();
  // The selection buttons (imageTypeColorFront: ... imageTypeAutoColorRear:) by mode.
  void selectImageType(int mode);
  // A check box of a mode turned on or off by the user (both rows).
  void imageTypeCheck(int mode, bool on);
  // Default's image-type controls: only black-and-white front checked.
  void restoreImageTypeDefaults();
  // The paper-size list selects the item of bPaperSize (set-up step 16).
  void selectPaperSizeOfRecord();
  // Part of the custom-profile rule: the popup turns to the custom entry, Delete is disabled.
  void switch2CustomProfile();
  // Runs the calls an image-type rule asks of the other pages.
  void perform(const Calls& calls);
  // The 32 image-type controls of both pages show the image-type machine's state.
  void showImageTypeButtons();

  // The paper-size list in both popups and the follow-up of a resolution change.
  void scanPageInit();
  void scanPageChangeCheck();
  void paperSizeInitial();
  void changePaperSizeByResolution();
  void changePixelByResolution();
  void checkOldAvapiPaperSize();
  // The frame's check before Scan and Preview: a resolution out of bounds shows "Custom".
  void checkResolutionBoundary();
  void resolutionInputNotification(const ui::Notification& notification);

  // The page's actions.
  void imageTabDocuType();
  void imageTabThresh();
  void imageTabBrightness();
  void imageTabContrast();
  void imageTabInvert();
  void imageTabColorMatchingAction();
  void imageTabMergeOption();
  void imageTabResPopup();
  void imageTabResStepper();
  void imageTabPaperSelect();
  void imageTabScanSourceAction();
  void imageTabProfileAction();
  void imageTabAddProfileAction();
  void imageTabDeleteProfileAction();

 private:
  // Connects the page's controls once, before the first build.
  void wire();
  void wireImageTypeRow(int row);
  void wireResolutionField();
  void fillProfilePopup();
  void rebuildPagesAfterProfile(bool imageTabItems);
  void showRows();
  void modeSideRowsEdited();
  void selectModeSideRow(int64_t row);
  void setResValue(int64_t resolution);
  void showPaperList(const PaperList& list, std::size_t selected);
  void reapplyPaperSize();
  void showModeControls(const ImageModeControls& c);
  // The settings file's presence (the long page's first-run limit).
  bool settingsFileExists() const;

  DialogShared& s_;
  bool wired_ = false;
  bool showingRows_ = false;  // the rows' content is being replaced, not edited
  std::vector<ScanModeSideSetting> rows_;
  PaperList paperList_;
};

class ColorDropTab {
 public:
  explicit ColorDropTab(DialogShared& s) : s_(s) {}
  void doColorDropTabInit();
  void setColorDropTabItems(int64_t mode);
  // A preview file is there to work on.
  bool previewFileExist() const;

  // The page's actions (the row table's checks are the image page's rows, reconciled there).
  void colorDropColor();
  void colorDropAdvanveState();
  void colorDropColorMode();
  void colorDropFilterThresh();
  void colorDropColourSliders();

  // The preview result and the eye dropper: the drawer's eye-dropper button, the drop-out run
  // on the preview into "colorDrop.bmp", and the preview's colour notifications and the result
  // button's (false for a name that is not the page's).
  void eyeDropperClick();
  void previewResult();
  bool notified(std::string_view name, const ui::Notification& notification);

 private:
  void wirePreviewResult();
  void showCustomColour(const CustomColourShown& shown);
  // Connects the page's controls once, before the first build.
  void wire();
  void show(const ColorDropControls& c);
  PreviewState previewState() const;

  DialogShared& s_;
  bool wired_ = false;
  WellColour mTmpColor_{};  // the colour last under the pointer
};

class PaperTab {
 public:
  explicit PaperTab(DialogShared& s) : s_(s) {}
  void doPaperTabInit();
  // The page-size popup's choice; null applies bPaperSize again.
  void paperTabPaperSelect(ui::PopUpButton* sender);
  // The unit popup's choice; null shows the record again in its unit.
  void paperTabPaperUnitSelect(ui::PopUpButton* sender);
  void paperTabProtraitLandscape();
  void checkPortraitLandscape();
  void setPunchHoleRemovalState();
  void showCarrierSheet(bool shown);
  // The alarm: Browse through the open panel, play through the sound port.
  void openSystemSound();
  void soundPlay();
  // The page's observers; false for a name that is not the page's.
  bool notified(std::string_view name, const ui::Notification& notification);

 private:
  void wire();
  void apply(const PaperControls& c);
  void step(const StepResult& result, ui::Stepper& stepper);
  void restSteppers();
  void multiFeedBoxes();
  void enableArea(std::size_t first, std::size_t last, bool enabled);
  void makeCustom();
  void showPreviewRect();
  PaperPageInputs inputs() const;
  FocusTargets focusTargets() const;
  void focusField(int32_t field);

  DialogShared& s_;
  const ui::Window* wired_ = nullptr;
  PaperSteppers steppers_;
  PaperFieldFlags fieldFlags_;
};

class OptionTab {
 public:
  explicit OptionTab(DialogShared& s);
  ~OptionTab();
  void doOptionTabInit();
  // True when every edge width is within its limit; otherwise the widths beyond it are set to
  // the limit and the range alert is shown.
  bool checkEdgeFillRange();
  // Sent by the image-type buttons (off for black and white); this configuration's background
  // processing stays as the user set it for every image type.
  void setBackgroundSettingState(bool on);
  // The edge-fill steppers and bound values from the record (after the preview's rectangle).
  void refreshEdgeFill();
  // The barcode-type sheet: opened by the "SelectBarcodeTypes" buttons, closed by OK or Cancel.
  void OptionTabSelecBarcodeTypes();
  void OptionTabSelecBarcodeTypesOK();
  void OptionTabSelecBarcodeTypesCancel();
  ui::Window& barcodeSheet();
  // The page's observers; false for a name that is not the page's.
  bool notified(std::string_view name, const ui::Notification& notification);

 private:
  void wire();
  void wireBarcodeSheet();
  void wireField(ui::TextField& field, OptionField kind);
  void buildEnhancementTab();
  void buildSettingTab();
  void rangeAlert();
  void setProperties(const std::vector<std::pair<std::string, int64_t>>& properties);
  void showBackground(const BackgroundControls& c);
  void showSetting(const SettingControls& c);
  void showBarcodes(const BarcodeSheet& sheet);
  void showNoiseRadius();
  void switch2CustomProfile();
  std::string title(std::string_view key, bool questionMark) const;

  DialogShared& s_;
  const ui::Window* wired_ = nullptr;
  DeviceSettings settings_;
  BarcodeTypes barcodes_;
  std::unique_ptr<ui::Window> barcodeSheet_;
};

class RotationTab {
 public:
  explicit RotationTab(DialogShared& s) : s_(s) {}
  void doRotationTabInit();
  // The flip-side choice is offered when both sides make images of a fixed type or both make
  // automatic-colour ones, never while two sides are merged.
  void enableFlipSide();

 private:
  void wire();

  DialogShared& s_;
  const ui::Window* wired_ = nullptr;
};

class SeparationTab {
 public:
  explicit SeparationTab(DialogShared& s) : s_(s) {}
  void doSeparationTabInit();

 private:
  void wire();
  void showThreshold(int64_t value);

  DialogShared& s_;
  const ui::Window* wired_ = nullptr;
};

// The imprinter page and its "More" sheet (which it owns: the frame builds the page's
// controls with the main window, the page its sheet and its wiring).
class ImprinterTab {
 public:
  explicit ImprinterTab(DialogShared& s);
  ~ImprinterTab();
  // After the main window is built: the sheet, shown through the toolkit when there is one, and
  // the page's actions and field handlers.
  void buildWindows(ui::Toolkit* toolkit);
  // Before the main window goes.
  void releaseWindows();
  ui::Window* moreSheet() const { return more_.get(); }

  void doImprinterTabInit();
  void showSampleString();
  // The page's observers (the name already checked); false for a name that is not the page's.
  bool notified(std::string_view name, const ui::Notification& notification);

 private:
  void wire();
  void applyEnableRule();
  void applyOffsetRule();
  void fillMoreSheet();
  void buildSeparatorMenus();
  void counterSelected();
  // A date (or time) separator item: PrinterDateDivideSelect: and PrinterTimeDivideSelect:.
  void separatorSelected(ui::MenuItem& item, bool date);
  void moreSliderMoved(ui::Slider& slider);
  void moreEnded(bool ok);
  void moveFocus(int32_t number);
  void switch2CustomProfile();
  template <class T>
  T& get(std::string_view outlet) const;

  DialogShared& s_;
  std::unique_ptr<ui::Window> more_;
  ImprinterMore saved_;  // ImprinterMoreSize, ImprinterMoreDensity, ImprinterMoreTransparncy
  char dateDivider = '0';
  char timeDivider = '0';
  int dateAndTimeSelect = 0;
  ui::MenuItem* miDate = nullptr;
  ui::MenuItem* miTime = nullptr;
  double mfXOffse = 0;
  double mfYOffse = 0;
};

class InfoTab {
 public:
  explicit InfoTab(DialogShared& s) : s_(s) {}
  // The table's rows from the scanner information and the NVRAM record read afresh, the
  // language pop-up and the copyright line.
  void doInfoTabInit();
  // A row's Reset button (codes 1 pad, 2 feed roller, 3 reverse roller, 4 pickup roller): the
  // data source zeroes the counter, then the page reads the counters again.
  void resetCounter(int32_t code);
  // The language pop-up's action: the data source takes the language, then every window's
  // described texts, the main buttons and every page are set again in it.
  void InfoTabSetLanguage();
  // The main buttons' titles in the dialog's language (user-interface-only: Cancel and OK).
  void titleMainButtons();

 private:
  // Every text the windows' descriptions give, hidden pages and sheets included.
  void relabelWindows();

  DialogShared& s_;
};

class PreviewPane {
 public:
  explicit PreviewPane(DialogShared& s);
  ~PreviewPane();
  PreviewPane(const PreviewPane&) = delete;
  PreviewPane& operator=(const PreviewPane&) = delete;

  // The view's set-up: the background, the rulers, the gesture at rest, the drawing and mouse
  // hooks. Runs by itself the first time a freshly built drawer is used.
  void awakeFromNib();
  void setRulerOffsets();
  void initRuler();
  // "Inches", "Centimeters" or "Points" ("Points1" whatever is asked in the pixel unit).
  void setMeasurementUnits(const std::string& unit);
  // Maxima in record units.
  void setMaxScanArea(uint32_t width, uint32_t length);
  void setMaxScanAreaFB(uint32_t length);
  void setMaxScanAreaADF(uint32_t length);
  void setRetangleRect(float x, float y, float width, float length);
  int64_t getMaxWidth() const { return gesture_.getMaxWidth(); }
  int64_t getMaxHeight() const { return gesture_.getMaxHeight(); }
  float grummets() const { return gesture_.grummets(); }
  // YES shows "colorDrop.bmp", NO the preview; false when the file could not be shown.
  bool setColorDropResultImage(bool result);
  // Loads the preview file into the preview view; false when it cannot be read.
  bool showPreviewFile(const std::filesystem::path& file);
  // Removes the preview file (errors ignored); the view then shows no image.
  void deletePreviewImageFile();
  // The drop-out result's file beside the preview.
  std::filesystem::path colorDropFile() const;
  // The image the view showed at its last redraw (none when no file could be read).
  const std::shared_ptr<const ui::Image>& shownImage() const { return previewImage_; }

  // The eye dropper.
  void addMouseTrackingArea();
  void removeMouseTrackingArea();
  void EnableEyeDropperCursor(bool on);
  void startEyeDropperCursor();
  void stopEyeDropperCursor();
  void eyeDropperCursor();

 private:
  ui::ImageView& view() const;
  ui::ScrollView* scrollView() const;
  void wire();
  double scale() const;
  void drawRect(ui::ImageView& view, ui::Canvas& canvas);
  std::shared_ptr<const ui::Image> load(bool result);
  void mouseDown(const ui::MouseEvent& event);
  void mouseDragged(const ui::MouseEvent& event);
  void mouseUp(const ui::MouseEvent& event);
  void mouseMoved(const ui::MouseEvent& event);
  void mouseExited(const ui::MouseEvent& event);
  void perform(const EyeDropperStep& step);
  void post(const Posts& posts);

  DialogShared& s_;
  const ui::Window* wired_ = nullptr;
  ui::ImageView* view_ = nullptr;  // the preview view of the drawer wired
  PreviewGesture gesture_;
  int64_t mMaxLengthFB = 0, mMaxLengthADF = 0;
  std::shared_ptr<const ui::Image> mBackgroundImage;
  std::shared_ptr<const ui::Image> previewImage_;
  PreviewImageCache cache_;
  bool mChangeDropColorImage = false;
  bool closedHand_ = false;
  bool eyeDropperCursorShown_ = false;
  std::optional<uint64_t> trackingArea_;
  std::optional<uint64_t> eyeStopperCursorTimer_;
};

// Every page controller, and the one place the notification observers land.
class DialogPages {
 public:
  explicit DialogPages(DialogShared& s)
      : image(s),
        colorDrop(s),
        paper(s),
        option(s),
        rotation(s),
        separation(s),
        imprinter(s),
        info(s),
        preview(s) {}
  ImageTab image;
  ColorDropTab colorDrop;
  PaperTab paper;
  OptionTab option;
  RotationTab rotation;
  SeparationTab separation;
  ImprinterTab imprinter;
  InfoTab info;
  PreviewPane preview;

  // An observer registered at set-up received its notification (the name already checked).
  void notified(std::string_view name, const ui::Notification& notification);
};

}  // namespace ferrolite::dialog
