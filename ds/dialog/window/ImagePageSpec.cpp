#include "ds/dialog/window/ImagePageSpec.h"

#include <string>

namespace ferrolite::dialog {
namespace {

using ui::CellKind;
using ui::ControlKind;
using ui::Element;
using ui::ElementSpec;
using ui::Fallback;
using ui::GridCell;

// The 32 outlets, built once (the descriptions hold views of them).
const std::string& imageTypeOutlet(int row, int kind, int side, bool check) {
  static const auto names = [] {
    std::array<std::string, 32> n;
    for (int r = 0; r < 2; ++r) {
      for (int k = 0; k < 4; ++k) {
        for (int s = 0; s < 2; ++s) {
          const std::string base = std::string(kImageTypeRowPrefixes[r]) +
                                   std::string(kImageTypeKinds[k]) +
                                   std::string(kImageTypeSides[s]);
          n[((r * 4 + k) * 2 + s) * 2] = base;
          n[((r * 4 + k) * 2 + s) * 2 + 1] = base + "Check";
        }
      }
    }
    return n;
  }();
  return names[((row * 4 + kind) * 2 + side) * 2 + (check ? 1 : 0)];
}

ElementSpec labelled(std::string_view outlet, ControlKind kind, std::string_view parent,
                     GridCell cell, std::string_view text = {}) {
  return {.outlet = outlet, .kind = kind, .parent = parent, .cell = cell, .text = text};
}

ElementSpec slider(std::string_view outlet, std::string_view parent, GridCell cell, double minimum,
                   double maximum) {
  return {.outlet = outlet,
          .kind = ControlKind::slider,
          .parent = parent,
          .cell = cell,
          .minimum = minimum,
          .maximum = maximum,
          .increment = 1};
}

}  // namespace

void addImageTypeRow(std::vector<ElementSpec>& e, int row, std::string_view view,
                     std::string_view page, GridCell cell) {
  e.push_back({.outlet = view, .kind = ControlKind::view, .parent = page, .cell = cell});
  for (int kind = 0; kind < 4; ++kind) {
    for (int side = 0; side < 2; ++side) {
      // The check box before its button: the toolkit shows the two as one choice.
      e.push_back({.outlet = imageTypeOutlet(row, kind, side, true),
                   .kind = ControlKind::checkBox,
                   .parent = view,
                   .cell = {kind, side * 2}});
      e.push_back({.outlet = imageTypeOutlet(row, kind, side, false),
                   .kind = ControlKind::toggleButton,
                   .parent = view,
                   .cell = {kind, side * 2 + 1},
                   .text = kImageTypeTitles[kind][side],
                   .fallback = Fallback::key});
    }
  }
}

void addModeSideColumns(std::vector<ElementSpec>& e, std::string_view table) {
  e.push_back({.parent = table,
               .text = "Use",
               .fallback = Fallback::key,
               .size = {30, 0},
               .identifier = "check",
               .element = Element::tableColumn,
               .cellKind = CellKind::check,
               .key = "mCheck",
               .enabledKey = "mEnabled"});
  e.push_back({.parent = table,
               .text = "ImageType",
               .fallback = Fallback::key,
               .size = {160, 0},
               .identifier = "name",
               .element = Element::tableColumn,
               .cellKind = CellKind::text,
               .key = "mName"});
}

void addImagePage(std::vector<ElementSpec>& e, std::string_view image) {
  // Profiles and the scan source.
  e.push_back(labelled("mStaticProfile", ControlKind::label, image, {0, 0}, "Profile"));
  e.push_back(labelled("mPopupProfile", ControlKind::popUpButton, image, {0, 1, 1, 2}));
  e.push_back(labelled("mButtonAddProfile", ControlKind::pushButton, image, {0, 3}, "AddProfile"));
  e.push_back(
      labelled("mButtonDeleteProfile", ControlKind::pushButton, image, {0, 4}, "DeleteProfile"));
  e.push_back(labelled("mStaticScanSource", ControlKind::label, image, {1, 0}, "ScanSource"));
  e.push_back(labelled("mPopupScanSource", ControlKind::popUpButton, image, {1, 1, 1, 2}));
  e.push_back(labelled("mButtonMergeOption", ControlKind::checkBox, image, {1, 3, 1, 2},
                       "Merge Vertically"));
  e.back().fallback = Fallback::key;

  // The image types and the mode/side rows.
  addImageTypeRow(e, 0, "mViewImageTypeImage", image, {2, 0, 4, 3});
  e.push_back({.outlet = "mScaModeSideController", .element = Element::arrayController});
  e.push_back(labelled("pImageTabTableView", ControlKind::tableView, image, {2, 3, 4, 2}));
  addModeSideColumns(e, "pImageTabTableView");

  // Paper size and resolution.
  e.push_back({.outlet = "mPaperNameController", .element = Element::arrayController});
  e.push_back(labelled("mStaticPaperSize", ControlKind::label, image, {6, 0}, "PageSize"));
  e.push_back(labelled("mPopupPaperSize", ControlKind::popUpButton, image, {6, 1, 1, 2}));
  e.push_back(labelled("mStaticRes", ControlKind::label, image, {7, 0}, "Resolution"));
  e.push_back({.outlet = "mPopupRes",
               .kind = ControlKind::popUpButton,
               .parent = image,
               .cell = {7, 1},
               .items = {"75", "150", "200", "300", "400", "600", "Custom"}});
  e.push_back(labelled("mTextFieldResValue", ControlKind::textField, image, {7, 2}));
  e.push_back({.outlet = "mStepperRes",
               .kind = ControlKind::stepper,
               .parent = image,
               .cell = {7, 3},
               .minimum = 72,
               .maximum = 600,
               .increment = 1,
               .options = ui::kValueWraps});

  // The tone controls of the mode on show.
  e.push_back(
      labelled("mStaticDocuTypeBinarization", ControlKind::label, image, {8, 0}, "DocumentType"));
  e.push_back(
      labelled("mPopupDocuTypeBinarization", ControlKind::popUpButton, image, {8, 1, 1, 2}));
  e.push_back(labelled("mStaticThreshSense", ControlKind::label, image, {9, 0}, "Threshold"));
  e.push_back(slider("mSliderThreshSense", image, {9, 1, 1, 2}, 0, 255));
  e.push_back(labelled("mStaticBrightness", ControlKind::label, image, {10, 0}, "Brightness"));
  e.push_back(slider("mSliderBrightness", image, {10, 1, 1, 2}, -127, 127));
  e.push_back(labelled("mStaticContrast", ControlKind::label, image, {11, 0}, "Contrast"));
  e.push_back(slider("mSliderContrast", image, {11, 1, 1, 2}, -127, 127));
  e.push_back(labelled("mStaticInvert", ControlKind::label, image, {8, 3}, "Invert"));
  e.push_back({.outlet = "mPopupInvert",
               .kind = ControlKind::popUpButton,
               .parent = image,
               .cell = {8, 4},
               .items = {"BlackonWhite", "WhiteonBlack"}});
  e.push_back(labelled("mStaticColorMatching", ControlKind::label, image, {9, 3}, "ColorMatch"));
  e.push_back({.outlet = "mPopupColorMatching",
               .kind = ControlKind::popUpButton,
               .parent = image,
               .cell = {9, 4},
               .items = {"None", "Photo", "Document", "Mix"}});
}

}  // namespace ferrolite::dialog
