// The imprinter page on the widget layer: its menus and controls built from the record, its
// actions and observers writing the record at once, the sample line, the four fields and the
// "More" sheet. The rules are the page's (ImprinterPage.h, ImprinterSample.h,
// ImprinterFields.h); this file wires them to the controls.
#include <span>
#include <tuple>
#include <variant>

#include "ds/dialog/Notifications.h"
#include "ds/dialog/frame/FieldWiring.h"
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/imprinter/ImprinterFields.h"
#include "ds/dialog/imprinter/ImprinterSample.h"
#include "ds/dialog/window/ImprinterPageSpec.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Toolkit.h"

namespace ferrolite::dialog {
namespace {

// The language whose table may name the custom text and the date and time in one word each.
constexpr int32_t kLanguageWithOwnLabels = 11;
constexpr double kSampleFontSize = 13;
constexpr int kSeparatorMenuOffset = 2;  // "Separator" and the line before the choices
constexpr int kFirstFixedWidthItem = 1;
constexpr char kBoldSuffix[] = " Bold";

constexpr std::string_view kCounterDigitsSuffixes[] = {
    "(1)",      "(12)",      "(123)",      "(1234)",      "(12345)",
    "(123456)", "(1234567)", "(12345678)", "(123456789)", "(1234567890)"};
constexpr std::string_view kDateTimeItems[] = {"None", "Date", "Time", "DateAndTime"};
constexpr std::string_view kDateDivideItems[] = {"None", "/", ",", "-", ".", "Space"};
constexpr std::string_view kTimeDivideItems[] = {"None", ":", "Space"};
constexpr std::string_view kFontItems[] = {"None", "FixedWidth"};
constexpr std::string_view kAttributeItems[] = {"Normal", "Underline", "Double", "Bold"};
constexpr std::string_view kOrientationItems[] = {
    "Normal", "Rotated", "Vertical", "VerticalInversion", "90Degree", "270Degree"};
constexpr std::string_view kPositionItems[] = {"Top", "Middle", "Bottom", "Custom"};

// Controls the enable rule turns on and off with the imprinter, and the labels it greys.
constexpr std::string_view kRuledControls[] = {"mBtnlPrinterAll",
                                               "mTextFieldImprinterCustom",
                                               "mTextFieldImprinterCounter",
                                               "mBtnlPrinterCounter",
                                               "mBtnPrinterDateTime",
                                               "mBtnPrinterDateTimeDivide",
                                               "mBtnPrinterCustomFont",
                                               "mBtnFontAttribute",
                                               "mBtnStringPosition",
                                               "mBtnPosition",
                                               "mBtnMore"};
constexpr std::string_view kRuledLabels[] = {
    "mStaticImprinterCustom",     "mStaticImprinterCounter",       "mStaticImprinterDateTime",
    "mStaticImprinterCustomFont", "mStaticImprinterFontAttribute", "mStaticImprinterStringPosition",
    "mStaticImprinterPosition"};
constexpr std::string_view kOffsetControls[] = {"mTextFieldXOffse", "mStepperImprinterXOffset",
                                                "mTextFieldYOffse", "mStepperImprinterYOffset"};
constexpr std::string_view kOffsetLabels[] = {"mStaticImprinterXOffset", "mStaticImprinterYOffset"};
// The fields by focus number 1 to 4.
constexpr std::string_view kFocusFields[] = {"mTextFieldImprinterCustom",
                                             "mTextFieldImprinterCounter", "mTextFieldXOffse",
                                             "mTextFieldYOffse"};

ui::Color labelColour(bool on) { return on ? ui::Color::black() : ui::Color::darkGray(); }

// The window's text widths (the toolkit's font metrics; none headless without a port).
class WindowFontMetrics final : public FontMetrics {
 public:
  explicit WindowFontMetrics(const ui::FontMetrics* port) : port_(port) {}
  double widthOfString(std::string_view text, std::string_view face, double size) const override {
    return port_ ? port_->width(text, faceFont(face, size)) : 0;
  }
  // "Courier Bold" is the family "Courier" in bold.
  static ui::Font faceFont(std::string_view face, double size) {
    const std::string_view bold = kBoldSuffix;
    const bool isBold = face.size() > bold.size() && face.ends_with(bold);
    if (isBold) face.remove_suffix(bold.size());
    return ui::Font{.family = std::string(face), .size = size, .bold = isBold};
  }

 private:
  const ui::FontMetrics* port_;
};

}  // namespace

ImprinterTab::ImprinterTab(DialogShared& s) : s_(s) {}
ImprinterTab::~ImprinterTab() = default;

template <class T>
T& ImprinterTab::get(std::string_view outlet) const {
  if (T* control = s_.window->find<T>(outlet)) return *control;
  return more_->get<T>(outlet);
}

void ImprinterTab::buildWindows(ui::Toolkit* toolkit) {
  more_ = ui::buildWindow(s_.application, imprinterMoreSpec(), s_.strings);
  if (toolkit) toolkit->attach(*more_);
  wire();
}

void ImprinterTab::releaseWindows() {
  if (more_ && more_->sheetParent()) more_->sheetParent()->endSheet(*more_);
  more_.reset();
}

void ImprinterTab::switch2CustomProfile() { s_.controllers->image.switch2CustomProfile(); }

// --- wiring ---

void ImprinterTab::wire() {
  auto on = [this](std::string_view outlet, auto work) {
    get<ui::Control>(outlet).setAction([work](ui::Control& sender) { work(sender); });
  };
  on("mBtnDigtialPrinter", [this](ui::Control& c) {
    s_.record().bImprinter = static_cast<ui::Button&>(c).isOn() ? 1 : 0;
    applyEnableRule();
    switch2CustomProfile();
  });
  on("mBtnlPrinterAll", [this](ui::Control& c) {
    s_.record().bPrintAll = static_cast<ui::Button&>(c).isOn() ? 1 : 0;
    switch2CustomProfile();
  });
  on("mBtnlPrinterCounter", [this](ui::Control&) { counterSelected(); });
  on("mBtnPrinterDateTime", [this](ui::Control& c) {
    dateAndTimeSelect = static_cast<ui::PopUpButton&>(c).indexOfSelectedItem();
    s_.record().bPrintFormat = static_cast<uint8_t>(dateAndTimeSelect);
    showSampleString();
    switch2CustomProfile();
  });
  // PrinterDateTimeDivideSelect: does nothing; the separator items act themselves.
  on("mBtnPrinterDateTimeDivide", [](ui::Control&) {});
  on("mBtnPrinterCustomFont", [this](ui::Control& c) {
    s_.record().bPrintFixedWidth =
        static_cast<ui::PopUpButton&>(c).indexOfSelectedItem() >= kFirstFixedWidthItem ? 1 : 0;
    showSampleString();
    switch2CustomProfile();
  });
  auto changedChoice = [this](uint8_t ScanSetting::*field) {
    return [this, field](ui::Control& c) {
      const int item = static_cast<ui::PopUpButton&>(c).indexOfSelectedItem();
      if (item == s_.record().*field) return;  // the current item again changes nothing
      s_.record().*field = static_cast<uint8_t>(item);
      showSampleString();
      switch2CustomProfile();
    };
  };
  on("mBtnFontAttribute", changedChoice(&ScanSetting::bPrintFontAttri));
  on("mBtnStringPosition", changedChoice(&ScanSetting::bPrintOrientation));
  on("mBtnPosition", [this](ui::Control& c) {
    s_.record().bPrintArea =
        static_cast<uint8_t>(static_cast<ui::PopUpButton&>(c).indexOfSelectedItem());
    applyOffsetRule();
    switch2CustomProfile();
  });
  // The steppers write the setting; the field beside each shows the same value.
  auto stepped = [this](uint16_t ScanSetting::*field, std::string_view fieldOutlet) {
    return [this, field, fieldOutlet](ui::Control& c) {
      const int value = static_cast<ui::Stepper&>(c).intValue();
      s_.record().*field = static_cast<uint16_t>(value);
      get<ui::TextField>(fieldOutlet).setText(std::to_string(value));
      switch2CustomProfile();
    };
  };
  on("mStepperImprinterXOffset", stepped(&ScanSetting::wPrintX, "mTextFieldXOffse"));
  on("mStepperImprinterYOffset", stepped(&ScanSetting::wPrintY, "mTextFieldYOffse"));
  on("mBtnMore", [this](ui::Control&) {
    fillMoreSheet();
    s_.window->beginSheet(*more_);
  });
  for (std::string_view slider : {"mSliderSize", "mSliderDensity", "mSliderTransparncy"}) {
    on(slider, [this](ui::Control& c) { moreSliderMoved(static_cast<ui::Slider&>(c)); });
  }
  on("mBtnMoreOK", [this](ui::Control&) { moreEnded(true); });
  on("mBtnMoreCancel", [this](ui::Control&) { moreEnded(false); });

  // The four fields: each change and each end of editing through the fields' rules, their
  // rewrites put back into the editor and their posts sent with the field as the poster.
  constexpr ImprinterField kFields[] = {ImprinterField::CustomText, ImprinterField::Counter,
                                        ImprinterField::XOffset, ImprinterField::YOffset};
  for (std::size_t i = 0; i < std::size(kFields); ++i) {
    auto& field = get<ui::TextField>(kFocusFields[i]);
    const ImprinterField kind = kFields[i];
    auto apply = [this](ui::TextField& f, const FieldResult& result) {
      if (result.editorText) f.setText(*result.editorText);
      postAll(s_.application.notifications(), result.posts, &f);
    };
    field.handlers().didChange = [this, kind, apply](ui::TextField& f) {
      DialogContext ctx = s_.ctx();
      apply(f, imprinterFieldChanged(kind, {}, f.text(), ctx));
    };
    field.handlers().didEndEditing = [this, kind, apply](ui::TextField& f, ui::TextMovement m) {
      DialogContext ctx = s_.ctx();
      const TextMovement movement = m == ui::TextMovement::tab       ? TextMovement::Tab
                                    : m == ui::TextMovement::backtab ? TextMovement::BackTab
                                                                     : TextMovement::Other;
      apply(f, imprinterFieldEnded(kind, f.text(), movement, ctx));
      // The offset stored at the end of editing (an emptied field stores 0 without a post)
      // shows in its stepper too.
      if (kind == ImprinterField::XOffset || kind == ImprinterField::YOffset) {
        const bool x = kind == ImprinterField::XOffset;
        const uint16_t stored = x ? s_.record().wPrintX : s_.record().wPrintY;
        (x ? mfXOffse : mfYOffse) = stored;
        get<ui::Stepper>(x ? "mStepperImprinterXOffset" : "mStepperImprinterYOffset")
            .setDoubleValue(stored);
      }
    };
  }
}

// --- page build ---

void ImprinterTab::doImprinterTabInit() {
  DialogShared& s = s_;
  ScanSetting& r = s.record();
  // 1. The labels, in the language of the data source.
  s.fetchLanguage();
  auto text = [&s](std::string_view key) { return s.text(key, std::string(key) + "?"); };
  auto item = [&s](std::string_view key) { return s.text(key, key); };
  for (auto [outlet, key] :
       {std::pair<std::string_view, std::string_view>{"mBoxImprinterContent", "Content"},
        {"mBoxImprinterAdvance", "Advanced"},
        {"mBoxImprinterPosition", "PrintPosition"},
        {"mBoxImprinterSample", "Sample"},
        {"mBoxMore", "FontAttributes"}}) {
    get<ui::Box>(outlet).setTitle(text(key));
  }
  for (auto [outlet, key] :
       {std::pair<std::string_view, std::string_view>{"mStaticImprinterCounter", "Counter"},
        {"mStaticImprinterCustomFont", "CustomFont"},
        {"mStaticImprinterFontAttribute", "FontAttributes"},
        {"mStaticImprinterStringPosition", "StringOrientation"},
        {"mStaticImprinterPosition", "PrintPosition"},
        {"mStaticImprinterXOffset", "XOffset"},
        {"mStaticImprinterYOffset", "YOffset"},
        {"mStaticImprinterXOffsetMM", "Millimeters"},
        {"mStaticImprinterYOffsetMM", "Millimeters"},
        {"mTextFieldSample", "Sample"},
        {"mStaticSize", "Size"},
        {"mStaticDensity", "Density"},
        {"mStaticTransparncy", "Transparency"}}) {
    get<ui::Label>(outlet).setText(text(key));
  }
  const bool ownLabels = s.languageId == kLanguageWithOwnLabels;
  get<ui::Label>("mStaticImprinterCustom")
      .setText(ownLabels && s.text("CustomText", "CustomTextNotFound") != "CustomTextNotFound"
                   ? text("CustomText")
                   : text("Custom"));
  get<ui::Label>("mStaticImprinterDateTime")
      .setText(ownLabels && s.text("DateTime", "DateTimeNotFound") != "DateTimeNotFound"
                   ? text("DateTime")
                   : text("Date") + "/" + text("Time"));
  // 2. The custom text.
  get<ui::TextField>("mTextFieldImprinterCustom").setText(std::string(r.strPrintText.view()));
  // 3. The counter: its menu, the item of its digit count, the field.
  {
    auto menu = std::make_unique<ui::Menu>("counter");
    menu->addItem(item("None"));
    const std::string number = s.text("Number", "Number?");
    for (std::string_view digits : kCounterDigitsSuffixes)
      menu->addItem(number + std::string(digits));
    auto& popUp = get<ui::PopUpButton>("mBtnlPrinterCounter");
    popUp.setMenu(std::move(menu));
    popUp.selectItemAtIndex(static_cast<int>(counterItem(r.strPrintCounter.view())));
    get<ui::TextField>("mTextFieldImprinterCounter")
        .setText(counterFieldText(r.strPrintCounter.view()));
  }
  // 4 to 6. Date and time, the separators, the face, attribute, orientation and position.
  auto fill = [&](std::string_view outlet, std::string_view title,
                  std::span<const std::string_view> keys, int selected) {
    auto menu = std::make_unique<ui::Menu>(std::string(title));
    for (std::string_view key : keys) menu->addItem(item(key));
    auto& popUp = get<ui::PopUpButton>(outlet);
    popUp.setMenu(std::move(menu));
    popUp.selectItemAtIndex(selected);
  };
  fill("mBtnPrinterDateTime", "DateTime", kDateTimeItems, r.bPrintFormat);
  dateAndTimeSelect = r.bPrintFormat;
  buildSeparatorMenus();
  fill("mBtnPrinterCustomFont", "CustomFont", kFontItems, r.bPrintFixedWidth);
  fill("mBtnFontAttribute", "FontAttribute", kAttributeItems, r.bPrintFontAttri);
  fill("mBtnStringPosition", "StringSelect", kOrientationItems, r.bPrintOrientation);
  fill("mBtnPosition", "print position", kPositionItems, r.bPrintArea);
  // 7. The offsets, field and stepper alike.
  get<ui::TextField>("mTextFieldXOffse").setText(std::to_string(r.wPrintX));
  get<ui::TextField>("mTextFieldYOffse").setText(std::to_string(r.wPrintY));
  // 12 comes before 7's stepper values here, so that a stored offset is not held to a
  // maximum of the layout's.
  const AbilityView ability = s.ctx().ability();
  get<ui::Stepper>("mStepperImprinterXOffset").setMaxValue(imprinterMaxX(ability));
  get<ui::Stepper>("mStepperImprinterYOffset").setMaxValue(imprinterMaxY(ability));
  get<ui::Stepper>("mStepperImprinterXOffset").setDoubleValue(r.wPrintX);
  get<ui::Stepper>("mStepperImprinterYOffset").setDoubleValue(r.wPrintY);
  mfXOffse = r.wPrintX;
  mfYOffse = r.wPrintY;
  // 8. The sample; its face is the proportional one until the next drawing.
  showSampleString();
  get<ui::TextField>("mTextFieldExampleText")
      .setFont(ui::Font{.family = "Arial", .size = kSampleFontSize});
  // 9. The sheet's values, kept for its Cancel.
  fillMoreSheet();
  saved_.keep(r);
  // 10, 11. The check boxes and the enable rule. The counter field keeps the counter that
  // prints, also with the imprinter off.
  get<ui::Button>("mBtnDigtialPrinter")
      .setState(r.bImprinter ? ui::ButtonState::on : ui::ButtonState::off);
  applyEnableRule();
  get<ui::Button>("mBtnlPrinterAll")
      .setState(r.bPrintAll ? ui::ButtonState::on : ui::ButtonState::off);
  // 13. The offset fields, through the bridge.
  s.bridge.mImprinterOffsetX = &get<ui::TextField>("mTextFieldXOffse");
  s.bridge.mImprinterOffsetY = &get<ui::TextField>("mTextFieldYOffse");
}

void ImprinterTab::buildSeparatorMenus() {
  const ScanSetting& r = s_.record();
  auto item = [this](std::string_view key) { return s_.text(key, key); };
  // Each submenu ticks its chosen separator; the header "Separator" is no choice.
  auto divideMenu = [&](std::string_view title, std::span<const std::string_view> keys,
                        int selected, ui::MenuItem*& remembered, bool date) {
    auto menu = std::make_unique<ui::Menu>(std::string(title));
    menu->setTicksChosenItem(true);
    menu->addItem(item("Separator"));
    menu->addSeparator();
    for (std::string_view key : keys) {
      menu->addItem(item(key)).setAction(
          [this, date](ui::MenuItem& chosen) { separatorSelected(chosen, date); });
    }
    menu->item(0).setAction(
        [this, date](ui::MenuItem& chosen) { separatorSelected(chosen, date); });
    const int index = selected + kSeparatorMenuOffset;
    menu->markChosen(static_cast<std::size_t>(index) < menu->size() ? index : kSeparatorMenuOffset);
    remembered = &menu->item(static_cast<std::size_t>(menu->chosenIndex()));
    return menu;
  };
  auto top = std::make_unique<ui::Menu>("DateTime Divide");
  top->setAutoenablesItems(true);
  top->addItem(item("None"));
  top->addItem(item("Date"))
      .setSubmenu(divideMenu("Date Divide", kDateDivideItems, r.bPrintDate, miDate, true));
  top->addItem(item("Time"))
      .setSubmenu(divideMenu("Time Divide", kTimeDivideItems, r.bPrintTime, miTime, false));
  auto& popUp = get<ui::PopUpButton>("mBtnPrinterDateTimeDivide");
  popUp.setMenu(std::move(top));
  popUp.selectItemAtIndex(0);
}

// --- enable rule ---

void ImprinterTab::applyEnableRule() {
  const ImprinterEnable e = imprinterEnable(
      s_.record().bImprinter != 0,
      static_cast<uint8_t>(get<ui::PopUpButton>("mBtnPosition").indexOfSelectedItem()));
  for (std::string_view outlet : kRuledControls) get<ui::Control>(outlet).setEnabled(e.controls);
  for (std::string_view outlet : kRuledLabels)
    get<ui::Label>(outlet).setTextColor(labelColour(e.controls));
  for (std::string_view outlet : kOffsetControls) get<ui::Control>(outlet).setEnabled(e.offsets);
  for (std::string_view outlet : kOffsetLabels)
    get<ui::Label>(outlet).setTextColor(labelColour(e.offsets));
}

void ImprinterTab::applyOffsetRule() {
  const bool offsets =
      get<ui::PopUpButton>("mBtnPosition").indexOfSelectedItem() == kPrintAreaCustom;
  for (std::string_view outlet : kOffsetControls) get<ui::Control>(outlet).setEnabled(offsets);
  for (std::string_view outlet : kOffsetLabels)
    get<ui::Label>(outlet).setTextColor(labelColour(offsets));
}

// --- actions ---

void ImprinterTab::counterSelected() {
  auto& field = get<ui::TextField>("mTextFieldImprinterCounter");
  const int n = get<ui::PopUpButton>("mBtnlPrinterCounter").indexOfSelectedItem();
  const std::string shown = counterText(field.text(), static_cast<std::size_t>(n < 0 ? 0 : n));
  field.setText(shown);
  showSampleString();
  s_.record().strPrintCounter = SharedText(shown);
  switch2CustomProfile();
}

void ImprinterTab::separatorSelected(ui::MenuItem& item, bool date) {
  ui::Menu& menu = *item.menu();
  ui::MenuItem*& remembered = date ? miDate : miTime;
  // The titles are the language's; the rules read the keys.
  std::string_view key = item.title();
  for (std::string_view k : {"Separator", "None", "Space"}) {
    if (item.title() == s_.text(k, k)) key = k;
  }
  const std::optional<Separator> chosen = date ? dateSeparatorOf(key) : timeSeparatorOf(key);
  if (!chosen) {
    // The "Separator" header is no choice: the tick goes back to the separator in force.
    if (remembered) menu.markChosen(menu.indexOfItem(*remembered));
    return;
  }
  (date ? dateDivider : timeDivider) = chosen->divider;
  (date ? s_.record().bPrintDate : s_.record().bPrintTime) = chosen->code;
  remembered = &item;
  showSampleString();
  switch2CustomProfile();
}

// --- the More sheet ---

void ImprinterTab::fillMoreSheet() {
  const ScanSetting& r = s_.record();
  for (auto [slider, field, value] :
       {std::tuple<std::string_view, std::string_view, uint8_t>{"mSliderSize", "mTextFieldSize",
                                                                r.bPrintSize},
        {"mSliderDensity", "mTextFieldDensity", r.bPrintDensity},
        {"mSliderTransparncy", "mTextFieldTransparncy", r.bPrintTransparency}}) {
    get<ui::Slider>(slider).setDoubleValue(value);
    get<ui::TextField>(field).setText(std::to_string(value));
  }
  get<ui::Button>("mBtnMoreDensityColor")
      .setBackgroundColor(ui::Color::grey(densityGrey(r.bPrintDensity)));
}

void ImprinterTab::moreSliderMoved(ui::Slider& slider) {
  ScanSetting& r = s_.record();
  const int value = slider.intValue();
  const auto byte = static_cast<uint8_t>(value);  // the low 8 bits
  const std::string& outlet = slider.outlet();
  if (outlet == "mSliderSize") {
    r.bPrintSize = byte;
    get<ui::TextField>("mTextFieldSize").setText(std::to_string(value));
  } else if (outlet == "mSliderDensity") {
    r.bPrintDensity = byte;
    get<ui::TextField>("mTextFieldDensity").setText(std::to_string(value));
    get<ui::Button>("mBtnMoreDensityColor").setBackgroundColor(ui::Color::grey(densityGrey(byte)));
  } else {
    r.bPrintTransparency = byte;
    get<ui::TextField>("mTextFieldTransparncy").setText(std::to_string(value));
  }
  switch2CustomProfile();
}

void ImprinterTab::moreEnded(bool ok) {
  if (ok) {
    saved_.ok(s_.record());
  } else {
    saved_.cancel(s_.record());  // the sliders' live edits undone; the custom profile stays
  }
  s_.window->endSheet(*more_);
  more_->orderOut();
}

// --- the sample line ---

void ImprinterTab::showSampleString() {
  const ScanSetting& r = s_.record();
  const WindowFontMetrics metrics(s_.application.services().fonts);
  const bool fixedWidth =
      get<ui::PopUpButton>("mBtnPrinterCustomFont").indexOfSelectedItem() == kFirstFixedWidthItem;
  const std::string custom = get<ui::TextField>("mTextFieldImprinterCustom").text();
  const std::string counter = get<ui::TextField>("mTextFieldImprinterCounter").text();
  SampleLayout layout;
  if (gKrCommon) {
    layout = dialog::showSampleString(r, custom, counter, fixedWidth, metrics, *gKrCommon);
  } else {
    const TezFRLCommon common;
    layout = dialog::showSampleString(r, custom, counter, fixedWidth, metrics, common);
  }
  auto& field = get<ui::TextField>("mTextFieldExampleText");
  field.setFrameOrigin({field.frame().origin.x, layout.y});
  field.setFont(WindowFontMetrics::faceFont(layout.face, layout.size));
  field.setText(layout.text);
  field.setUnderlined(layout.underline);
  field.setRotation(layout.rotation);
  field.setAlignment(layout.alignment == SampleAlignment::Right ? ui::TextAlignment::right
                                                                : ui::TextAlignment::left);
}

// --- observers ---

bool ImprinterTab::notified(std::string_view name, const ui::Notification& n) {
  ScanSetting& r = s_.record();
  if (name == note::kImprinterInput) {
    r.strPrintText = SharedText(get<ui::TextField>("mTextFieldImprinterCustom").text());
    showSampleString();
    switch2CustomProfile();
  } else if (name == note::kImprinterTabCounter) {
    r.strPrintCounter = SharedText(get<ui::TextField>("mTextFieldImprinterCounter").text());
    showSampleString();
    switch2CustomProfile();
  } else if (name == note::kImprinterXOffset || name == note::kImprinterYOffset) {
    const bool x = name == note::kImprinterXOffset;
    const foundation::Value* value =
        n.userInfo.find(x ? "imprinterXOffsetValue" : "imprinterYOffsetValue");
    const double offset = value ? value->real().valueOr(0) : 0;
    (x ? mfXOffse : mfYOffse) = offset;
    (x ? r.wPrintX : r.wPrintY) = static_cast<uint16_t>(static_cast<int64_t>(offset));
    get<ui::Stepper>(x ? "mStepperImprinterXOffset" : "mStepperImprinterYOffset")
        .setDoubleValue(offset);
    switch2CustomProfile();
  } else if (name == note::kTextFieldMovementImprinter) {
    const bool xUsable = get<ui::TextField>("mTextFieldXOffse").isEnabled();
    if (auto target = imprinterTabTarget(s_.globals.goNextTextFiled_Imprinter, xUsable))
      moveFocus(*target);
  } else if (name == note::kTextFieldBackMovementImprinter) {
    const bool yUsable = get<ui::TextField>("mTextFieldYOffse").isEnabled();
    if (auto target = imprinterBackTabTarget(s_.globals.goBackNextTextFiled_Imprinter, yUsable))
      moveFocus(*target);
  } else {
    return false;
  }
  return true;
}

void ImprinterTab::moveFocus(int32_t number) {
  if (number < 1 || number > static_cast<int32_t>(std::size(kFocusFields))) return;
  s_.window->makeFirstResponder(&get<ui::TextField>(kFocusFields[number - 1]));
}

}  // namespace ferrolite::dialog
