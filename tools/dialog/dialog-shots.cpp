// dialog-shots: opens the settings dialog on Qt's widgets with a stand-in data source (a device
// and a record described by options) and writes a PNG of every page, of the preview drawer and
// of each panel of the diagnostic sheet, with a list of the files and each window's size.
// With --twain-host it instead runs the TWAIN host beside it (twain-scan --ui) against the real
// data source and the simulated scanner, and pictures the whole window as opened
// (twain-host-window.png), with the preview drawer showing a preview scan
// (twain-host-window-preview.png), on the information page (twain-host-window-info.png), with
// every optional page shown (twain-host-window-all-pages.png) and after Default hid them again
// (twain-host-window-default.png), and in German as opened (twain-host-window-de.png), on the paper
// page (twain-host-window-paper-de.png) and on the information page
// (twain-host-window-info-de.png).
// --language de shows the dialog in the data source's German, English where it has no text.
// --check-layout measures every window it pictures with the toolkit's fonts and prints a line
// "dialog-shots: layout: PICTURE: CONTROL: PROBLEM" for each control that overlaps another,
// lies outside its window or box, or cuts its text, each empty box and each window larger than
// a 1280 x 800 screen.
//
//   dialog-shots --out DIR [--tab-window 0xBA] [--unit 0|1|2] [--source 0|1|2|4]
//                [--image-type 0x01] [--name NAME] [--simplex] [--older] [--ui-only]
//                [--resources DIR] [--adapter FILE] [--language NAME] [--check-layout]
//                [--twain-host]
//
// Exit status: 0 done, 1 a picture could not be written, a text fell back to its key or the
// layout check found a fault, 2 usage error, 3 no window can be shown (no toolkit, no display).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ds/dialog/FoundationLanguage.h"
#include "ds/dialog/frame/MainDialog.h"
#include "ds/dialog/frame/PageBook.h"
#include "ds/dialog/window/DialogWindows.h"
#include "ds/dialog/window/ImagePageSpec.h"
#include "ds/scan/records/AlarmSound.h"
#include "ds/scan/records/DeviceType.h"
#include "ds/scan/records/NvmData.h"
#include "ds/scan/records/PaperTbl.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Host.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TabView.h"
#include "platform/ui/User.h"

namespace {

using namespace ferrolite;
using namespace ferrolite::dialog;

// The data source as far as the dialog's pictures need it: its texts, no profiles, no scanner
// to talk to.
class StandInDataSource final : public DialogDataSource {
 public:
  explicit StandInDataSource(foundation::LanguageBundle texts) : texts_(std::move(texts)) {}
  const LanguageBundle& getLanguage(int32_t* id) override {
    if (id) *id = 0;
    return texts_;
  }
  std::vector<LanguageEntry> supportedLanguage() override {
    return {{0, "English.lproj", "English"}};
  }
  void setLanguage(int32_t) override {}
  int32_t checkScanParams() override { return 0; }
  void xferReady() override {}
  void closeDSRequest() override {}
  void closeDSOK() override {}
  void previewScan() override;
  void readSetting(const std::optional<std::string>&, bool) override {}
  std::optional<std::vector<std::string>> availableProfile() override { return std::nullopt; }
  void profileOperation(std::string_view, int32_t) override {}
  void printDebugLog(bool) override {}
  // The counters of a scanner in use, in the layout of the interface the dialog asks with.
  void getNVMData(void* buffer, std::size_t size) override {
    std::memset(buffer, 0, size);
    auto fill = [&](auto record) {
      if (size < sizeof record) return;
      record.PadScanCount = 12034;
      record.ADFSingleModeScanCount = 20480;
      record.ADFDuplexModeScanCount = 30797;
      record.RollerCount = 48120;
      record.MultifeedCount = 3;
      record.JamCount = 7;
      std::memcpy(buffer, &record, sizeof record);
    };
    constexpr uint32_t kFlatbedScans = 420;
    if (older) {
      NvmData record{};
      record.FlatbedScanCount = kFlatbedScans;
      fill(record);
    } else {
      NewNvmData record{};
      record.FletbedScanCount = kFlatbedScans;
      fill(record);
    }
  }
  bool older = false;
  bool resetRollerCount(int32_t) override { return false; }
  bool calibrateScanner() override { return false; }
  bool getColorDropData(const uint8_t* source, uint8_t* dest, XferImageInfo info,
                        ColorDropParam param) override;
  // Set: the preview scan writes the preview page there.
  std::filesystem::path previewPage;

 private:
  FoundationLanguageBundle texts_;
};

// --- the preview's pictures ---

// A preview page 8.5 x 14 inches (the feeder's whole area) at 100 dpi as the scanner's preview
// shows one: paper white, four colour patches across the top, lines of text-like marks below them.
constexpr uint32_t kPreviewWidth = 850, kPreviewHeight = 1400;
constexpr double kPreviewDpi = 100;
constexpr uint8_t kPatches[][3] = {{220, 30, 40}, {40, 160, 60}, {40, 70, 200}, {230, 200, 40}};

void StandInDataSource::previewScan() {
  if (previewPage.empty()) return;
  imageio::Raster page;
  page.layout = imageio::PixelLayout::packed(kPreviewWidth, kPreviewHeight, 8, 3);
  page.resolution = {kPreviewDpi, kPreviewDpi};
  page.pixels.assign(page.layout.bytesPerRow * kPreviewHeight, 0xF4);
  auto fill = [&page](uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, const uint8_t* rgb) {
    for (uint32_t y = y0; y < y0 + h && y < kPreviewHeight; ++y) {
      for (uint32_t x = x0; x < x0 + w && x < kPreviewWidth; ++x) {
        std::memcpy(&page.pixels[y * page.layout.bytesPerRow + x * 3], rgb, 3);
      }
    }
  };
  for (uint32_t i = 0; i < std::size(kPatches); ++i)
    fill(100 + i * 170, 100, 130, 130, kPatches[i]);
  const uint8_t ink[3] = {30, 30, 30};
  for (uint32_t line = 0; line < 14; ++line) {
    for (uint32_t word = 0; word < 8; ++word) {
      fill(100 + word * 80, 320 + line * 45, 40 + (line * 7 + word * 13) % 30, 14, ink);
    }
  }
  (void)imageio::writeImageFile(previewPage, imageio::FileKind::Tiff, page.view());
}

// The drop-out of the custom colour (whatever the side's drop-out mode, for the picture): pixels
// near it become paper white, the others their grey
// level (black and white: dark pixels black).
constexpr int kDropTolerance = 60;  // the sum of the three channels' distances

bool StandInDataSource::getColorDropData(const uint8_t* source, uint8_t* dest, XferImageInfo info,
                                         ColorDropParam param) {
  const std::size_t stride = param.bGrayOutput ? info.dwWidth : (info.dwWidth + 7) / 8;
  std::memset(dest, 0, stride * info.dwLength);
  for (uint32_t y = 0; y < info.dwLength; ++y) {
    for (uint32_t x = 0; x < info.dwWidth; ++x) {
      const uint8_t* p = source + (std::size_t(y) * info.dwWidth + x) * 3;
      const int distance = std::abs(p[0] - param.bCustomR) + std::abs(p[1] - param.bCustomG) +
                           std::abs(p[2] - param.bCustomB);
      const uint8_t level = distance < kDropTolerance ? 255 : uint8_t((p[0] + p[1] + p[2]) / 3);
      if (param.bGrayOutput) {
        dest[y * stride + x] = level;
      } else if (level >= 128) {
        dest[y * stride + x / 8] |= uint8_t(0x80 >> (x % 8));
      }
    }
  }
  return true;
}

struct Options {
  std::filesystem::path out;
  std::filesystem::path resources = VT_DIALOG_RESOURCES;
  std::filesystem::path adapter;
  std::string language;  // empty: English
  std::string name = "fi-7160";
  unsigned tabWindow = 0xBA;
  unsigned unit = 0;
  unsigned source = 0;
  unsigned imageType = 0x01;
  bool simplex = false;
  bool older = false;
  bool uiOnly = false;
  bool twainHost = false;
  bool checkLayout = false;
};

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitNoWindow = 3;

void printUsage(std::FILE* to) {
  std::fprintf(
      to,
      "usage: dialog-shots --out DIR [--tab-window N] [--unit N] [--source N]\n"
      "                    [--image-type N] [--name NAME] [--simplex] [--older]\n"
      "                    [--ui-only] [--resources DIR] [--adapter FILE] [--language NAME]\n"
      "                    [--check-layout] [--twain-host]\n"
      "       dialog-shots --help\n"
      "Writes the settings dialog's pages, drawer, sheets and alerts as PNG files into DIR\n"
      "(with --twain-host: the whole window inside twain-scan). Exit status: 0 done,\n"
      "1 a picture failed or (--check-layout) a layout fault was found, 2 usage, 3 no window\n"
      "can be shown.\n");
}

int usage(const std::string& why) {
  std::fprintf(stderr, "dialog-shots: %s\n", why.c_str());
  printUsage(stderr);
  return kExitUsage;
}

// The options, or nullopt with `error` saying what is wrong (empty for --help).
std::optional<Options> parse(int argc, char** argv, std::string* error) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    auto number = [&](unsigned& into) {
      const char* v = value();
      if (!v) return false;
      char* end = nullptr;
      into = static_cast<unsigned>(std::strtoul(v, &end, 0));
      return *end == '\0';
    };
    bool ok = true;
    if (arg == "--out") {
      const char* v = value();
      ok = v != nullptr;
      if (ok) o.out = v;
    } else if (arg == "--resources") {
      const char* v = value();
      ok = v != nullptr;
      if (ok) o.resources = v;
    } else if (arg == "--adapter") {
      const char* v = value();
      ok = v != nullptr;
      if (ok) o.adapter = v;
    } else if (arg == "--language") {
      const char* v = value();
      ok = v != nullptr;
      if (ok) o.language = v;
    } else if (arg == "--check-layout") {
      o.checkLayout = true;
    } else if (arg == "--name") {
      const char* v = value();
      ok = v != nullptr;
      if (ok) o.name = v;
    } else if (arg == "--tab-window") {
      ok = number(o.tabWindow);
    } else if (arg == "--unit") {
      ok = number(o.unit) && o.unit <= 2;
    } else if (arg == "--source") {
      ok = number(o.source);
    } else if (arg == "--image-type") {
      ok = number(o.imageType);
    } else if (arg == "--simplex") {
      o.simplex = true;
    } else if (arg == "--older") {
      o.older = true;
    } else if (arg == "--ui-only") {
      o.uiOnly = true;
    } else if (arg == "--twain-host") {
      o.twainHost = true;
    } else if (arg == "--help" || arg == "-h") {
      error->clear();
      return std::nullopt;
    } else {
      *error = "unknown argument '" + arg + "'";
      return std::nullopt;
    }
    if (!ok) {
      *error = "bad or missing value for " + arg;
      return std::nullopt;
    }
  }
  if (o.out.empty()) {
    *error = "--out DIR is missing";
    return std::nullopt;
  }
  return o;
}

// The folder of the build tree this program lies in: ../ from the program's folder.
std::filesystem::path buildFolder() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().parent_path();
}

// The adapter beside the program's libraries: ../lib from the program's folder.
std::filesystem::path defaultAdapter() { return buildFolder() / "lib" / ui::kQtToolkitLibrary; }

// Everything that lives on the UI thread.
struct Dialog {
  ScanSetting record;
  DeviceAbility current{};
  ScannerAbilityEx older{};
  ExtraParam extra;
  PaperTbl paper = kStandardPaperTbl;
  ScannerInfo info;
  BridgeObject_V2 bridge;
  std::unique_ptr<StandInDataSource> dataSource;
  std::unique_ptr<ui::Application> application;
  std::unique_ptr<MainDialog> dialog;
};

void describe(Dialog& d, const Options& o) {
  // A feeder and a flatbed, both with an area: the image page offers every source.
  const uint32_t deviceType = kDeviceFlatbed | kDeviceFeeder | (o.simplex ? 0 : kDeviceDuplex);
  d.current.Version = 200;
  d.current.Size = sizeof(DeviceAbility);
  d.current.FlatbedMaxWidth = d.older.FlatbedMaxWidth = 2550;
  d.current.FlatbedMaxLength = d.older.FlatbedMaxLength = 3508;
  d.current.ADFMaxWidth = d.older.ADFMaxWidth = 2550;
  d.current.ADFMaxLength = d.older.ADFMaxLength = 4200;
  d.current.DeviceType = deviceType;
  d.older.ScanMethod = static_cast<uint16_t>(deviceType);
  d.current.ScannerCapability0 = 0x01;
  d.extra.newKrapi = !o.older;
  d.extra.adfMinWidth = d.extra.adfMinLength = 150;
  d.extra.flatbedMinWidth = d.extra.flatbedMinLength = 75;
  d.extra.maxLongLength = 35400;
  d.extra.maxPowerSaving = 240;
  d.extra.maxPowerOff = 480;
  d.record.wImageType = static_cast<uint16_t>(o.imageType);
  d.record.wBWRes = d.record.wGrayRes = d.record.wColorRes = 300;
  d.record.wWidth = 2550;
  d.record.wLength = 3300;
  d.record.bPaperSize = 2;  // Letter: the paper page shows its area editable
  d.record.dwLongWidth = 2550;
  d.record.dwLongLength = 35400;
  d.record.wTabWindow = static_cast<uint16_t>(o.tabWindow);
  d.record.bPaperSizeUnit = static_cast<uint8_t>(o.unit);
  d.record.bScanSource = static_cast<uint8_t>(o.source);
  // What the data source gives a new user: every page, the system's alarm sound, the
  // multi-feed check on (the alarm's buttons in use), the usual power timers and options.
  d.record.iImageCount = -1;  // all pages
  d.record.strAlarm = SharedText(kDefaultAlarmSound);
  d.record.bUltrasonic = 1;
  d.record.wEnergySaver = 15;
  d.record.wPowerOffTime = 240;
  d.record.bNoiseRadius = 1;
  d.record.bShowProgress = d.record.bShowWarning = d.record.bSaveSetting = 1;
  d.info.modelName = SharedText(o.name);
  // The information page's rows as a scanner in use reports them.
  d.info.serialNumber = SharedText("A0BC012345");
  d.info.driverVersion = SharedText("1.0.0");
  d.info.ioVersion = SharedText("1.0.0");
  d.info.fwVersion = SharedText("0B05");
  d.info.bornDate = SharedText("2025/03/14");
  d.info.firstScan = SharedText("2025/04/02");
  // The imprinter on, with a line to show in its sample.
  d.record.bImprinter = 1;
  d.record.strPrintText = SharedText("Batch ");
  d.record.strPrintCounter = SharedText("0001");
  d.record.bPrintFormat = 1;
  d.record.bPrintDate = 3;
  d.record.bPrintDensity = 160;
}

class Shots {
 public:
  Shots(ui::Toolkit& toolkit, std::filesystem::path out, bool checkLayout)
      : toolkit_(toolkit), out_(std::move(out)), checkLayout_(checkLayout) {}

  void take(const ui::Window& window, const std::string& name) {
    const std::filesystem::path file = out_ / (name + ".png");
    if (!toolkit_.writeSnapshot(window, file)) {
      std::fprintf(stderr, "dialog-shots: cannot write %s\n", file.c_str());
      failed_ = true;
      return;
    }
    for (const std::string& text : shownTexts(window)) {
      if (fellBackToKey(text)) {
        std::fprintf(stderr, "dialog-shots: %s shows a text that fell back to its key: %s\n",
                     file.filename().c_str(), text.c_str());
        failed_ = true;
      }
    }
    if (checkLayout_) {
      for (const ui::LayoutFault& fault : toolkit_.checkLayout(window)) {
        std::fprintf(stderr, "dialog-shots: layout: %s: %s: %s\n", name.c_str(),
                     fault.control.c_str(), fault.problem.c_str());
        failed_ = true;
      }
    }
    manifest_ << file.filename().string() << ' ' << window.contentSize().width << ' '
              << window.contentSize().height << '\n';
    std::printf("%s\n", file.c_str());
  }
  bool failed() const { return failed_; }
  void fail() { failed_ = true; }
  bool open() {
    manifest_.open(out_ / "shots.txt");
    return static_cast<bool>(manifest_);
  }

 private:
  ui::Toolkit& toolkit_;
  std::filesystem::path out_;
  std::ofstream manifest_;
  bool checkLayout_;
  bool failed_ = false;
};

// Alerts shown while the pictures are taken: each one photographed under the name given
// before it, then answered with its last button (Cancel: nothing is saved).
class PhotographedAlerts final : public ui::AlertPresenter {
 public:
  PhotographedAlerts(ui::Toolkit& toolkit, Shots& shots) : toolkit_(toolkit), shots_(shots) {}
  void nameNext(std::string name) { next_ = std::move(name); }
  int runModal(ui::Alert& alert) override {
    ui::Window& window = alert.window();
    toolkit_.attachAlert(alert);
    window.center();
    shots_.take(window, next_.empty() ? "alert-" + std::to_string(++count_) : next_);
    next_.clear();
    toolkit_.detach(window);
    const std::size_t buttons = alert.numberOfButtons();
    return ui::kAlertFirstButtonReturn + static_cast<int>(buttons > 0 ? buttons - 1 : 0);
  }

 private:
  ui::Toolkit& toolkit_;
  Shots& shots_;
  std::string next_;
  int count_ = 0;
};

void photograph(Dialog& d, const Options& o, ui::Toolkit& toolkit, Shots& shots) {
  d.dialog = std::make_unique<MainDialog>(*d.application, d.bridge, DialogPaths{o.out, o.resources},
                                          &toolkit);
  d.bridge.getDS(d.dataSource.get());
  d.dialog->getExtraParam(d.extra);
  d.dialog->guiSetting(&d.record, &d.paper, {&d.current, &d.older}, o.name, o.uiOnly ? 1 : 0,
                       d.info);
  d.dialog->show(o.name + " Ferrolite");
  ui::Window& window = d.dialog->window();
  auto& tabs = window.get<ui::TabView>(kTabViewOutlet);
  for (std::size_t i = 0; i < tabs.numberOfItems(); ++i) {
    tabs.selectItemAtIndex(i);
    shots.take(window, "page-" + std::to_string(i) + "-" + tabs.itemAt(i).identifier());
  }
  // The option page's barcode-type sheet, over the window.
  {
    OptionTab& option = d.dialog->pages().option;
    option.OptionTabSelecBarcodeTypes();
    shots.take(option.barcodeSheet(), "barcode-types");
    option.OptionTabSelecBarcodeTypesCancel();
  }
  tabs.selectItemAtIndex(0);
  d.dialog->previewDrawerButton();
  shots.take(*d.dialog->shared().drawer, "drawer");
  // The drawer with a preview and its scan area, then the drop-out of its red patch.
  {
    DialogShared& s = d.dialog->shared();
    d.dataSource->previewPage = s.previewFile();
    d.dialog->previewButton();
    PreviewPane& preview = d.dialog->pages().preview;
    preview.setRetangleRect(300, 240, 1950, 2400);
    auto& view = s.drawer->get<ui::ImageView>("mPreviewView");
    view.display();
    shots.take(*s.drawer, "drawer-preview");
    s.properties.set("mRedValue", int64_t{kPatches[0][0]});
    s.properties.set("mGreenValue", int64_t{kPatches[0][1]});
    s.properties.set("mBlueValue", int64_t{kPatches[0][2]});
    d.dialog->pages().colorDrop.previewResult();
    view.display();
    shots.take(*s.drawer, "drawer-dropout");
    preview.setColorDropResultImage(false);
    std::error_code ignored;
    std::filesystem::remove(s.previewFile(), ignored);
    std::filesystem::remove(preview.colorDropFile(), ignored);
  }
  d.dialog->previewDrawerButton();

  d.dialog->shared().commandPressed = true;
  d.dialog->defaultButton();
  ui::Window& sheet = *d.dialog->shared().sheet;
  std::vector<std::string> items;
  for (const auto& item : sheet.toolbar()->items()) items.push_back(item.identifier);
  for (const std::string& item : items) {
    sheet.toolbar()->userClickItem(item);
    shots.take(sheet, "sheet-" + item);
  }
  // The capability panel's other words, and the imprinter's More sheet.
  if (!o.older) {
    sheet.toolbar()->userClickItem("newScannerCapability");
    auto& words = sheet.get<ui::PopUpButton>("mPopupCapability");
    for (int word = 1; word < static_cast<int>(words.numberOfItems()); ++word) {
      ui::User().choose(words, word);
      shots.take(sheet, "panel-newScannerCapability-" + std::to_string(word));
    }
  }
  d.dialog->propertyTabBarInfoOKButton();

  // The image page's add-profile alert with its name field.
  if (auto* alerts = dynamic_cast<PhotographedAlerts*>(d.application->services().alerts)) {
    alerts->nameNext("alert-add-profile");
    d.dialog->pages().image.imageTabAddProfileAction();
  }
  if (ui::Window* more = d.dialog->pages().imprinter.moreSheet()) {
    window.get<ui::Button>("mBtnMore").performClick();
    shots.take(*more, "imprinter-more");
    more->get<ui::Button>("mBtnMoreCancel").performClick();
  }

  // The image page after the user's change of types, colour on both sides (the front alone on
  // a simplex scanner) in place of black and white on the front: the mode/side table follows
  // the check boxes.
  tabs.selectItemAtIndex(0);
  ui::User user;
  bool clicked = true;
  std::vector<const char*> types = {"ColorFront", "ColorRear", "BWFront"};
  if (o.simplex) types.erase(types.begin() + 1);
  for (const char* type : types) {
    clicked = user.click(
                  window.get<ui::Button>(std::string(kImageTypeRowPrefixes[0]) + type + "Check")) &&
              clicked;
  }
  if (clicked) {
    shots.take(window, "image-types-changed");
  } else {
    std::fprintf(stderr, "dialog-shots: the image page's type check boxes refused a click\n");
    shots.fail();
  }
}

// --- the whole window inside the TWAIN host ---

std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// The build's data source bundle copied into `work` without what earlier runs left in it (the
// data source keeps its settings, preview and results in its folder): the library, its identity,
// its resources and the links the build put there.
bool copyBundle(const std::filesystem::path& from, const std::filesystem::path& to) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(to, error);
  for (const auto& entry : fs::directory_iterator(from, error)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_symlink() && name != "Ferrolite.ds" && name != "Info.plist" &&
        name != "Resources") {
      continue;
    }
    fs::copy(entry.path(), to / name, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
             error);
    if (error) return false;
  }
  return !error && fs::exists(to / "Ferrolite.ds");
}

// One run of twain-scan with the data source's dialog: the Qt adapter plays `script` (its
// VT_UI_QT_SCRIPT) against the build's data source and the simulated scanner (one sheet, the
// `scanner` lines added to its description), in the locale `lang`; every picture in `pictures`
// must exist at its end. The pages scanned are WORK/page-N.tif.
constexpr std::string_view kWorkFolder = "WORK";

bool runTwainHost(const std::filesystem::path& out, const std::string& lang,
                  const std::string& scanner, const std::string& script,
                  const std::vector<std::filesystem::path>& pictures) {
  namespace fs = std::filesystem;
  const fs::path build = buildFolder();
  const fs::path work = out / "twain-host-run";
  std::error_code error;
  fs::remove_all(work, error);
  if (!copyBundle(build / "twain" / "Ferrolite", work / "Ferrolite")) {
    std::fprintf(stderr, "dialog-shots: cannot copy the data source bundle into %s\n",
                 work.c_str());
    return false;
  }
  for (const fs::path& picture : pictures) fs::remove(picture, error);
  std::ofstream(work / "scanner.txt") << "serial SIM0000001\nsheets 1\npreview-page 90 200 180\n"
                                      << scanner;
  // The script names the run's folder as WORK.
  std::string played = script;
  for (std::size_t at; (at = played.find(kWorkFolder)) != std::string::npos;) {
    played.replace(at, kWorkFolder.size(), work.string());
  }
  std::ofstream(work / "user.txt") << played;
  const fs::path log = work / "twain-scan.log";
  const std::string command =
      "env HOME=" + quoted(work) + " XDG_CONFIG_HOME=" + quoted(work / "config") + " LANG=" + lang +
      " LC_ALL= LC_MESSAGES=" + " VANTREL_SIMULATOR=" + quoted(work / "scanner.txt") +
      " VT_UI_QT_SCRIPT=" + quoted(work / "user.txt") + " " + quoted(build / "bin" / "twain-scan") +
      " --bundle " + quoted(work / "Ferrolite") + " --ui -o " + quoted(work / "page-%d.tif") +
      " > " + quoted(log) + " 2>&1";
  const int status = std::system(command.c_str());
  const bool all = std::all_of(pictures.begin(), pictures.end(),
                               [](const fs::path& picture) { return fs::exists(picture); });
  if (status != 0 || !all) {
    std::fprintf(stderr,
                 "dialog-shots: the TWAIN host's run (%s) failed (status %d); its output:\n",
                 lang.c_str(), status);
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) std::fprintf(stderr, "  %s\n", line.c_str());
    return false;
  }
  fs::remove_all(work, error);
  return true;
}

// The whole window as the TWAIN host shows it, for a scanner with a feeder only (the simulated
// one): in English as opened, with the drawer showing a preview of the simulated scanner's page
// (its colour patches and marks), the information page, every optional page shown and then
// hidden again by Default (the drawer follows its window as it shrinks); in German (English where
// the data source has no German text) as opened, the paper page with its alarm sound and the
// information page with its language.
bool photographTwainHost(const std::filesystem::path& out) {
  const std::string opened = (out / "twain-host-window.png").string();
  const std::string previewed = (out / "twain-host-window-preview.png").string();
  const std::string info = (out / "twain-host-window-info.png").string();
  const std::string allPages = (out / "twain-host-window-all-pages.png").string();
  const std::string defaults = (out / "twain-host-window-default.png").string();
  const std::string german = (out / "twain-host-window-de.png").string();
  const std::string paper = (out / "twain-host-window-paper-de.png").string();
  const std::string germanInfo = (out / "twain-host-window-info-de.png").string();
  const std::string progress = (out / "twain-host-progress-de.png").string();
  auto shot = [](const std::string& file) { return "shot " + file + " windows\n"; };
  auto select = [](const char* tab) {
    return "select " + std::string(kTabViewOutlet) + " " + tab + "\n";
  };
  const std::string ready = "wait-enabled mButtonScan\n", exit = "click mButtonCancel\n";
  // Every optional page shown through the setting page's table, then Default hides them: the
  // window shrinks and its drawer stays at its side.
  std::string showPages = select("Setting");
  for (int row = 0; row < kOptionalPageCount; ++row) {
    showPages += "check pSettingsTableView " + std::to_string(row) + " 1\n";
  }
  const std::string english = ready + shot(opened) + "click mButtonPreview\n" +
                              "click mButtonDrawerPreview\n" + ready + shot(previewed) +
                              select("Information") + shot(info) + showPages + shot(allPages) +
                              "click mButtonDefault\n" + shot(defaults) + exit;
  // A scan from the dialog: its progress window opens over the dialog (no window manager places
  // it), in German; the scanner's first reads of the page are slow, so that it stays a while.
  const std::string slowReads = "fault slow opcode=0x28 type=0 delay-ms=400 count=6\n";
  const std::string inGerman = ready + shot(german) + select("Paper") + shot(paper) +
                               select("Information") + shot(germanInfo) + "click mButtonScan\n" +
                               "wait-enabled " + std::string(kCancelButtonOutlet) + "\n" +
                               shot(progress) + "wait-file " + std::string(kWorkFolder) +
                               "/page-1.tif\n" + ready + exit;
  return runTwainHost(out, "en_US.UTF-8", "", english,
                      {opened, previewed, info, allPages, defaults}) &&
         runTwainHost(out, "de_DE.UTF-8", slowReads, inGerman,
                      {german, paper, germanInfo, progress});
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::optional<Options> options = parse(argc, argv, &error);
  if (!options && error.empty()) {
    printUsage(stdout);
    return kExitOk;
  }
  if (!options) return usage(error);
  Options& o = *options;
  if (o.adapter.empty()) o.adapter = defaultAdapter();
  std::error_code made;
  std::filesystem::create_directories(o.out, made);
  if (made) {
    std::fprintf(stderr, "dialog-shots: cannot make %s: %s\n", o.out.c_str(),
                 made.message().c_str());
    return kExitFailed;
  }
  if (o.twainHost) return photographTwainHost(o.out) ? kExitOk : kExitFailed;
  auto english = foundation::LanguageBundle::open(o.resources / "English.lproj");
  if (!english) return usage("no English.lproj in the resource folder");
  foundation::LanguageBundle texts = *english;
  if (!o.language.empty()) {
    auto language = foundation::LanguageBundle::open(std::filesystem::path(VT_LANGUAGE_RESOURCES) /
                                                     (o.language + ".lproj"));
    if (!language) return usage("no such language folder");
    texts = language->withFallback(*english);
  }

  auto host = ui::WindowHost::start(o.adapter);
  if (!host) {
    std::fprintf(stderr, "dialog-shots: no window can be shown: %s\n", host.error().c_str());
    return kExitNoWindow;
  }
  Shots shots((*host)->toolkit(), o.out, o.checkLayout);
  if (!shots.open()) return usage("the output folder cannot be written");
  Dialog d;
  describe(d, o);
  d.dataSource = std::make_unique<StandInDataSource>(texts);
  d.dataSource->older = o.older;
  ui::WindowHost& h = **host;
  PhotographedAlerts alerts(h.toolkit(), shots);
  ui::Services services = h.services();
  services.alerts = &alerts;
  h.queue().performAndWait([&] {
    d.application = std::make_unique<ui::Application>(services);
    photograph(d, o, h.toolkit(), shots);
    d.dialog.reset();
    d.application.reset();
  });
  host->reset();
  return shots.failed() ? kExitFailed : kExitOk;
}
