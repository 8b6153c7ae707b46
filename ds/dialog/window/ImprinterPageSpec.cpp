#include "ds/dialog/window/ImprinterPageSpec.h"

namespace ferrolite::dialog {
namespace {

using ui::ControlKind;
using ui::ElementSpec;
using ui::Fallback;
using ui::GridCell;

constexpr std::string_view kContent = "mBoxImprinterContent";
constexpr std::string_view kAdvanced = "mBoxImprinterAdvance";
constexpr std::string_view kPosition = "mBoxImprinterPosition";
constexpr std::string_view kSample = "mBoxImprinterSample";
constexpr std::string_view kMoreBox = "mBoxMore";
// The sliders edit bytes of the record.
constexpr double kByteMaximum = 255;

struct Placed {
  std::string_view outlet;
  ControlKind kind;
  GridCell cell;
  std::string_view text = {};
};

void add(std::vector<ElementSpec>& e, std::string_view parent, std::initializer_list<Placed> list) {
  for (const Placed& p : list) {
    e.push_back(
        {.outlet = p.outlet, .kind = p.kind, .parent = parent, .cell = p.cell, .text = p.text});
  }
}

ElementSpec slider(std::string_view outlet, GridCell cell) {
  return {.outlet = outlet,
          .kind = ControlKind::slider,
          .parent = kMoreBox,
          .cell = cell,
          .minimum = 0,
          .maximum = kByteMaximum,
          .increment = 1};
}

ElementSpec shownValue(std::string_view outlet, GridCell cell) {
  return {.outlet = outlet,
          .kind = ControlKind::textField,
          .parent = kMoreBox,
          .cell = cell,
          .options = ui::kNotEditable};
}

ui::WindowSpec makeMoreSheet() {
  ui::WindowSpec spec{
      .outlet = kImprinterMoreOutlet, .kind = ui::WindowKind::sheet, .size = {420, 190}};
  auto& e = spec.elements;
  e.push_back({.outlet = kMoreBox,
               .kind = ControlKind::box,
               .cell = {0, 0, 3, 4},
               .text = "FontAttributes",
               .fallback = Fallback::keyWithQuestionMark});
  add(e, kMoreBox,
      {{"mStaticSize", ControlKind::label, {0, 0}, "Size"},
       {"mStaticDensity", ControlKind::label, {1, 0}, "Density"},
       {"mStaticTransparncy", ControlKind::label, {2, 0}, "Transparency"}});
  e.push_back(slider("mSliderSize", {0, 1, 1, 2}));
  e.push_back(shownValue("mTextFieldSize", {0, 3}));
  e.push_back(slider("mSliderDensity", {1, 1}));
  e.push_back({.outlet = "mBtnMoreDensityColor",
               .kind = ControlKind::pushButton,
               .parent = kMoreBox,
               .cell = {1, 2},
               .size = {24, 20}});
  e.push_back(shownValue("mTextFieldDensity", {1, 3}));
  e.push_back(slider("mSliderTransparncy", {2, 1, 1, 2}));
  e.push_back(shownValue("mTextFieldTransparncy", {2, 3}));
  e.push_back({.outlet = "mBtnMoreCancel",
               .kind = ControlKind::pushButton,
               .cell = {3, 2},
               .text = "Cancel",
               .fallback = Fallback::key});
  e.push_back({.outlet = "mBtnMoreOK",
               .kind = ControlKind::pushButton,
               .cell = {3, 3},
               .text = "OK",
               .fallback = Fallback::key,
               .options = ui::kDefaultButton});
  return spec;
}

}  // namespace

void appendImprinterPage(std::vector<ElementSpec>& e, std::string_view page) {
  add(e, page,
      {{"mBtnDigtialPrinter", ControlKind::checkBox, {0, 0, 1, 2}, "DigitalImprinter"},
       {"mBtnlPrinterAll", ControlKind::checkBox, {0, 2, 1, 2}, "PrintAll"},
       {kContent, ControlKind::box, {1, 0, 3, 4}, "Content"},
       {kAdvanced, ControlKind::box, {4, 0, 3, 2}, "Advanced"},
       {kPosition, ControlKind::box, {4, 2, 3, 2}, "PrintPosition"},
       {"mTextFieldSample", ControlKind::label, {7, 0}, "Sample"}});
  // The sample box's title names it: its label would say it twice.
  e.back().options = ui::kHiddenAtStart;
  add(e, kContent,
      {{"mStaticImprinterCustom", ControlKind::label, {0, 0}, "Custom"},
       {"mTextFieldImprinterCustom", ControlKind::textField, {0, 1, 1, 3}},
       {"mStaticImprinterCounter", ControlKind::label, {1, 0}, "Counter"},
       {"mBtnlPrinterCounter", ControlKind::popUpButton, {1, 1, 1, 2}},
       {"mTextFieldImprinterCounter", ControlKind::textField, {1, 3}},
       {"mStaticImprinterDateTime", ControlKind::label, {2, 0}, "DateTime"},
       {"mBtnPrinterDateTime", ControlKind::popUpButton, {2, 1, 1, 2}},
       {"mBtnPrinterDateTimeDivide", ControlKind::popUpButton, {2, 3}}});
  add(e, kAdvanced,
      {{"mStaticImprinterCustomFont", ControlKind::label, {0, 0}, "CustomFont"},
       {"mBtnPrinterCustomFont", ControlKind::popUpButton, {0, 1}},
       {"mStaticImprinterFontAttribute", ControlKind::label, {1, 0}, "FontAttributes"},
       {"mBtnFontAttribute", ControlKind::popUpButton, {1, 1}},
       {"mStaticImprinterStringPosition", ControlKind::label, {2, 0}, "StringOrientation"},
       {"mBtnStringPosition", ControlKind::popUpButton, {2, 1}},
       {"mBtnMore", ControlKind::pushButton, {3, 1}, "More"}});
  // The position box's title names its pop-up, which stands first under it: the pop-up's label
  // would say it twice.
  add(e, kPosition,
      {{"mStaticImprinterPosition", ControlKind::label, {0, 0}, "PrintPosition"},
       {"mBtnPosition", ControlKind::popUpButton, {0, 0, 1, 3}},
       {"mStaticImprinterXOffset", ControlKind::label, {1, 0}, "XOffset"},
       {"mTextFieldXOffse", ControlKind::textField, {1, 1}},
       {"mStaticImprinterXOffsetMM", ControlKind::label, {1, 3}, "Millimeters"},
       {"mStaticImprinterYOffset", ControlKind::label, {2, 0}, "YOffset"},
       {"mTextFieldYOffse", ControlKind::textField, {2, 1}},
       {"mStaticImprinterYOffsetMM", ControlKind::label, {2, 3}, "Millimeters"}});
  for (ElementSpec& element : e) {
    if (element.outlet == "mStaticImprinterPosition") element.options = ui::kHiddenAtStart;
  }
  for (std::string_view stepper : {"mStepperImprinterXOffset", "mStepperImprinterYOffset"}) {
    e.push_back({.outlet = stepper,
                 .kind = ControlKind::stepper,
                 .parent = kPosition,
                 .cell = {stepper == "mStepperImprinterXOffset" ? 1 : 2, 2},
                 .minimum = 0,
                 .maximum = 1,
                 .increment = 1});
  }
  // The sample line is placed by its origin: its height follows the attribute and orientation.
  e.push_back({.outlet = kSample,
               .kind = ControlKind::box,
               .parent = page,
               .cell = {7, 0, 2, 4},
               .text = "Sample",
               .size = {440, 96},
               .options = ui::kFreeLayout});
  e.push_back({.outlet = "mTextFieldExampleText",
               .kind = ControlKind::textField,
               .parent = kSample,
               .size = {420, 34},
               .origin = {8, 17},
               .options = ui::kNotEditable});
}

const ui::WindowSpec& imprinterMoreSpec() {
  static const ui::WindowSpec spec = makeMoreSheet();
  return spec;
}

}  // namespace ferrolite::dialog
