#pragma once
// Images, the image view with its own drawing and mouse handling, and the scroll view with two
// rulers in registered units.
//
// Drawing: a view asks for a redraw with setNeedsDisplay; after every user event (and whenever
// the program calls display) the view's draw hook runs on a recording canvas and the result, a
// picture, becomes what the view shows. The toolkit's peer paints that picture; tests read it,
// and sample it as the screen would show it.
//
// Mouse: press, drag and release reach the view always (where it takes input); moves, and the
// pointer leaving or entering, only while a tracking area asks for them. Points are in the
// view's coordinates (a flipped view has its origin at the top-left).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Control.h"

namespace ui {

// An 8-bit RGB raster, rows top-down, with its resolution.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // 3 × width × height bytes
  double xResolution = 72;        // dots per inch
  double yResolution = 72;
  // Its size in points (1/72 inch).
  Size pointSize() const { return {width * 72.0 / xResolution, height * 72.0 / yResolution}; }
  Color pixel(int x, int y) const {
    const std::uint8_t* p = &rgb.at((static_cast<std::size_t>(y) * width + x) * 3);
    return {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, 1};
  }
};

// What a view drew, in its own coordinates.
struct Picture {
  enum class OpKind : std::uint8_t { image, fillRect, strokeRect };
  struct Op {
    OpKind kind;
    Rect rect;
    Color color;
    double lineWidth = 1;
    std::shared_ptr<const Image> image;  // drawn scaled into rect
  };
  std::vector<Op> ops;
  // The colour shown at a point: the last image or fill covering it (strokes are not sampled,
  // they mark the area), or nothing.
  std::optional<Color> colorAt(Point p, bool flipped) const;
};

class Canvas {
 public:
  void drawImage(std::shared_ptr<const Image> image, Rect destination);
  void fillRect(Rect rect, Color color);
  void strokeRect(Rect rect, Color color, double lineWidth);
  Picture take() { return std::move(picture_); }

 private:
  Picture picture_;
};

struct MouseEvent {
  Point location;
  Modifiers modifiers = kNoModifier;
};

struct TrackingArea {
  bool enterExit = true;
  bool moves = true;
};

enum class ImageAlignment : std::uint8_t { center, topLeft };

class ImageView : public Control {
 public:
  using DrawHook = std::function<void(ImageView&, Canvas&)>;
  struct MouseHandlers {
    std::function<void(ImageView&, const MouseEvent&)> down;
    std::function<void(ImageView&, const MouseEvent&)> dragged;
    std::function<void(ImageView&, const MouseEvent&)> up;
    std::function<void(ImageView&, const MouseEvent&)> moved;
    std::function<void(ImageView&, const MouseEvent&)> entered;
    std::function<void(ImageView&, const MouseEvent&)> exited;
  };

  explicit ImageView(std::string outlet) : Control(ControlKind::imageView, std::move(outlet)) {}

  const std::shared_ptr<const Image>& image() const { return image_; }
  void setImage(std::shared_ptr<const Image> image);
  ImageAlignment imageAlignment() const { return alignment_; }
  void setImageAlignment(ImageAlignment alignment) { alignment_ = alignment; }
  bool isFlipped() const { return flipped_; }
  void setFlipped(bool flipped) { flipped_ = flipped; }
  Rect bounds() const { return {{0, 0}, frame().size}; }

  // The view's own drawing; without one the view draws its image (drawImageDefault).
  void setDrawHook(DrawHook hook) { draw_ = std::move(hook); }
  // The image at its size, placed by the alignment: what the plain view draws.
  void drawImageDefault(Canvas& canvas) const;
  void setNeedsDisplay();
  bool needsDisplay() const { return needsDisplay_; }
  // Draws now (the program's display; also what runs after each user event when needed).
  void display();
  const Picture& picture() const { return picture_; }

  void setMouseHandlers(MouseHandlers handlers) { mouse_ = std::move(handlers); }
  using TrackingId = std::uint64_t;
  TrackingId addTrackingArea(TrackingArea area);
  void removeTrackingArea(TrackingId id);
  bool tracksMoves() const {
    for (const auto& [id, area] : tracking_) {
      if (area.moves) return true;
    }
    return false;
  }
  bool tracksEnterExit() const {
    for (const auto& [id, area] : tracking_) {
      if (area.enterExit) return true;
    }
    return false;
  }

  virtual bool userMouseDown(const MouseEvent& event);
  virtual bool userMouseDragged(const MouseEvent& event);
  virtual bool userMouseUp(const MouseEvent& event);
  virtual bool userMouseMoved(const MouseEvent& event);
  virtual bool userMouseEntered(const MouseEvent& event);
  virtual bool userMouseExited(const MouseEvent& event);

 private:
  std::shared_ptr<const Image> image_;
  ImageAlignment alignment_ = ImageAlignment::center;
  bool flipped_ = false;
  DrawHook draw_;
  bool needsDisplay_ = true;
  Picture picture_;
  MouseHandlers mouse_;
  std::map<TrackingId, TrackingArea> tracking_;
  TrackingId nextTracking_ = 1;
};

// A measurement unit for rulers: points per unit, and the cycles of marks when zooming in (step
// down) and out (step up).
struct RulerUnit {
  std::string name;
  std::string abbreviation;
  double pointsPerUnit = 1;
  std::vector<double> stepUpCycle;
  std::vector<double> stepDownCycle;
  bool operator==(const RulerUnit&) const = default;
};

class RulerView;

// The units rulers may use; registering a unit again replaces it, also in the rulers using it.
class RulerUnits {
 public:
  RulerUnits();
  RulerUnits(const RulerUnits&) = delete;
  RulerUnits& operator=(const RulerUnits&) = delete;
  void registerUnit(RulerUnit unit);
  const RulerUnit* find(const std::string& name) const {
    auto it = units_.find(name);
    return it == units_.end() ? nullptr : &it->second;
  }

 private:
  friend class RulerView;
  std::map<std::string, RulerUnit, std::less<>> units_;
  std::vector<RulerView*> rulers_;
};

class ScrollView;

enum class RulerOrientation : std::uint8_t { horizontal, vertical };

class RulerView {
 public:
  RulerView(ScrollView& scrollView, RulerOrientation orientation)
      : scrollView_(&scrollView), orientation_(orientation) {}
  ~RulerView();
  RulerView(const RulerView&) = delete;
  RulerView& operator=(const RulerView&) = delete;

  RulerOrientation orientation() const { return orientation_; }
  const std::string& measurementUnits() const { return unitName_; }
  // Must be a registered unit; an unknown name leaves the ruler as it was (false).
  bool setMeasurementUnits(const std::string& name);
  // The unit as registered now; null until one is set.
  const RulerUnit* unit() const { return unit_ ? &*unit_ : nullptr; }
  double originOffset() const { return originOffset_; }
  void setOriginOffset(double offset);

 private:
  friend class RulerUnits;
  void unitRegistered(const RulerUnit& unit);
  ScrollView* scrollView_;
  RulerOrientation orientation_;
  std::string unitName_;
  std::optional<RulerUnit> unit_;
  RulerUnits* registry_ = nullptr;
  double originOffset_ = 0;
};

class ScrollView : public Control {
 public:
  explicit ScrollView(std::string outlet);
  ~ScrollView() override;

  Control* documentView() const { return document_; }
  void setDocumentView(Control& view);
  bool hasHorizontalRuler() const { return hasHorizontal_; }
  bool hasVerticalRuler() const { return hasVertical_; }
  void setHasHorizontalRuler(bool on);
  void setHasVerticalRuler(bool on);
  bool rulersVisible() const { return rulersVisible_; }
  void setRulersVisible(bool on);
  RulerView& horizontalRuler() const { return *horizontal_; }
  RulerView& verticalRuler() const { return *vertical_; }

  void rulersChanged() const { changed(Aspect::rulers); }

 private:
  Control* document_ = nullptr;
  bool hasHorizontal_ = false;
  bool hasVertical_ = false;
  bool rulersVisible_ = false;
  std::unique_ptr<RulerView> horizontal_;
  std::unique_ptr<RulerView> vertical_;
};

}  // namespace ui
