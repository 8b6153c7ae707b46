#pragma once
// Plain values of the widget layer: points, sizes and frames, colours, fonts, keys.
//
// Frames follow the convention the dialog's code was written for: a control's frame is in its
// parent's coordinates with the origin at the parent's lower-left corner and y growing upwards
// (a flipped view, such as the preview, has its origin at the top-left and y growing downwards).
#include <cstdint>
#include <string>

namespace ui {

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  Point origin;
  Size size;
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  // The platform's point-in-rectangle test: the lower and left edges are in, the others out.
  bool contains(Point p) const {
    return p.x >= origin.x && p.x < maxX() && p.y >= origin.y && p.y < maxY();
  }
  bool operator==(const Rect&) const = default;
};

// Components 0.0 to 1.0.
struct Color {
  float red = 0;
  float green = 0;
  float blue = 0;
  float alpha = 1;
  static constexpr Color black() { return {0, 0, 0, 1}; }
  static constexpr Color darkGray() { return {1.0f / 3, 1.0f / 3, 1.0f / 3, 1}; }
  static constexpr Color white() { return {1, 1, 1, 1}; }
  static constexpr Color grey(float level) { return {level, level, level, 1}; }
  static constexpr Color rgb(float r, float g, float b, float a = 1) { return {r, g, b, a}; }
  bool operator==(const Color&) const = default;
};

// A face by family name ("Arial", "Courier"; fontconfig picks what stands in for it), a size in
// points and a weight.
struct Font {
  std::string family = "Sans";
  double size = 13;
  bool bold = false;
  bool operator==(const Font&) const = default;
};

enum class TextAlignment : std::uint8_t { left, center, right, justified, natural };

// Modifier keys as they are on a Linux keyboard.
enum Modifier : unsigned {
  kNoModifier = 0,
  kShift = 1u << 0,
  kCapsLock = 1u << 1,
  kCtrl = 1u << 2,
  kAlt = 1u << 3,
};
using Modifiers = unsigned;

// Keys that are not characters.
enum class SpecialKey : std::uint8_t { none, returnKey, tab, backtab, escape, deleteBackward };

// A key press: the character it gives without modifiers (lower case), or a special key.
struct KeyEvent {
  char32_t character = 0;
  SpecialKey special = SpecialKey::none;
  Modifiers modifiers = kNoModifier;
};

// How the editing of a text field ended (the values the dialog's fields read).
enum class TextMovement : int { other = 0, returnKey = 16, tab = 17, backtab = 18, cancel = 23 };

}  // namespace ui
