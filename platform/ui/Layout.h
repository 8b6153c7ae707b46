#pragma once
// Windows described once as data: each element an outlet, a kind, a parent, a grid cell and the
// key of its text (plus items, ranges, sizes and a few options). buildWindow makes the named
// controls from it; a toolkit lays their peers out by the grid cells (or by frames, in a
// container marked free); applyTexts sets every text again, for a language change.
//
//   const ui::WindowSpec kSheet{
//       .outlet = "pImprinterMore", .kind = ui::WindowKind::sheet, .size = {360, 160},
//       .elements = {
//           {.outlet = "mStaticSize", .kind = ui::ControlKind::label, .cell = {0, 0}, .text =
//           "Size"},
//           {.outlet = "mSliderSize", .kind = ui::ControlKind::slider, .cell = {0, 1},
//            .maximum = 255},
//           {.outlet = "mBtnMoreOK", .kind = ui::ControlKind::pushButton, .cell = {1, 2},
//            .text = "OK", .fallback = ui::Fallback::key, .options = ui::kDefaultButton},
//       }};
//   std::unique_ptr<ui::Window> sheet = ui::buildWindow(application, kSheet, strings);
//
// A description that names a parent it has not described before, or a parent of the wrong
// kind, is a programming error: buildWindow throws std::logic_error naming the element.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/ui/Control.h"
#include "platform/ui/Ports.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"

namespace ui {

enum class Element : std::uint8_t { control, tabViewItem, tableColumn, arrayController };

enum LayoutOption : std::uint32_t {
  kHiddenAtStart = 1u << 0,
  kDisabledAtStart = 1u << 1,
  kNotEditable = 1u << 2,      // a text field that shows text only
  kFreeLayout = 1u << 3,       // a container whose children are placed by origin and size
  kFlipped = 1u << 4,          // an image view with its origin at the top-left
  kHorizontalRuler = 1u << 5,  // scroll views
  kVerticalRuler = 1u << 6,
  kValueWraps = 1u << 7,  // steppers
  kAllowsMixed = 1u << 8,
  kDefaultButton = 1u << 9,  // the button Return clicks
  kSendsActionOnEndEditing = 1u << 10,
};

struct ElementSpec {
  std::string_view outlet{};
  ControlKind kind = ControlKind::view;
  std::string_view parent{};  // a container's or tab item's outlet; empty: the window's content
  GridCell cell{};
  std::string_view text{};  // the key of a label, title, tab label or column title
  Fallback fallback = Fallback::keyWithQuestionMark;
  std::vector<std::string_view> items{};  // pop-up item keys (each its own fallback), matrix cells
  double minimum = 0;
  double maximum = 0;  // with the minimum: a slider's or stepper's range when not both 0
  double increment = 0;
  Size size{};     // a preferred size (a column's width); in a free container the frame's size
  Point origin{};  // in a free container
  std::uint32_t options = 0;
  std::string_view identifier{};  // a tab item's or column's identifier
  Element element = Element::control;
  int rows = 1;  // a matrix's rows and columns
  int columns = 1;
  CellKind cellKind = CellKind::text;  // a column's cells
  std::string_view key{};              // a bound column's value key
  std::string_view enabledKey{};       // a bound column's key that enables its cells
};

struct WindowSpec {
  std::string_view outlet{};
  WindowKind kind = WindowKind::window;
  std::string_view title{};
  Fallback titleFallback = Fallback::key;
  Size size{480, 360};
  bool freeLayout = false;
  bool toolbar = false;
  std::vector<ElementSpec> elements{};
};

// Nominal metrics of a grid cell, for the frames a window has before a toolkit lays it out.
constexpr double kGridCellWidth = 120;
constexpr double kGridCellHeight = 28;

std::unique_ptr<Window> buildWindow(Application& application, const WindowSpec& spec,
                                    const Strings& strings);
void applyTexts(Window& window, const WindowSpec& spec, const Strings& strings);

}  // namespace ui
