#pragma once
// The preview view's selection rectangle: presses, drags and releases draw a new scan area or
// move the current one, the redraw's rectangle, the record written at the release and the
// notifications posted; and the eye dropper that picks a colour instead while it is enabled.
//
// A gesture's kind is decided at the press: a move when it lies inside the rectangle, a new
// rectangle otherwise. The record changes only when the mouse changed the rectangle: a click
// leaves it as it was, a move changes only the origin, a new rectangle all four values.
#include <cstdint>
#include <functional>
#include <optional>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/Notifications.h"

namespace ferrolite::dialog {

struct ViewPoint {
  float x = 0, y = 0;
};

struct ViewRect {
  float x = 0, y = 0, width = 0, height = 0;
  bool operator==(const ViewRect&) const = default;
};

// The redraw's answer: the rectangle stroked and what it posted.
struct PreviewDraw {
  ViewRect rect;
  Posts posts;
};

// What the eye dropper's handlers ask of the view besides their posts.
struct EyeDropperStep {
  Posts posts;
  bool enableCursor = false;      // EnableEyeDropperCursor: YES
  bool showPreviewImage = false;  // setColorDropResultImage: NO
  bool startCursor = false;       // schedule the switch to the eye-dropper cursor
  bool stopCursor = false;        // the arrow again
};

struct Colour {
  double red = 0, green = 0, blue = 0;
};

class PreviewGesture {
 public:
  // The view's scale (view points per inch) and maximum area in view points.
  void setGrummets(float grummets) { mGrummets = grummets; }
  float grummets() const { return mGrummets; }
  void setMaxScanArea(int64_t width, int64_t length) {
    mMaxWidth = width;
    mMaxLength = length;
  }
  int64_t getMaxWidth() const { return mMaxWidth; }
  int64_t getMaxHeight() const { return mMaxLength; }
  // setRetangleRect:yOffset:width:length:, in record units.
  void setRetangleRect(double x, double y, double width, double length);

  // The rectangle gesture. Each answers what the view posts.
  Posts mouseDown(DialogContext& ctx, ViewPoint point);
  void mouseDragged(DialogContext& ctx, ViewPoint point);
  PreviewDraw drawRect(DialogContext& ctx);
  Posts mouseUp(DialogContext& ctx, ViewPoint point);

  // The eye dropper, which takes precedence over the rectangle while enabled.
  void EnableEyeDropperCursor(bool enable) { mEnableCursor = enable; }
  bool eyeDropperEnabled() const { return mEnableCursor; }
  EyeDropperStep eyeDropperDown();
  EyeDropperStep eyeDropperUp();
  // A pointer move: the average colour under it (pixels outside the bounds are skipped).
  EyeDropperStep mouseMoved(ViewPoint point, const ViewRect& bounds,
                            const std::function<std::optional<Colour>(float, float)>& pixelAt);
  EyeDropperStep mouseExited();
  void cursorStopped() { mIsChangeEyeDropperCursor = false; }
  // The press of the gesture under way lay inside the rectangle: the gesture moves it.
  bool movingArea() const { return dragStart; }

 private:
  bool gatesOpen(const ScanSetting& record) const;
  int64_t conv(float v) const;
  // The origin the hit test uses and its rectangle (calculatedItemBounds).
  ViewRect calculatedItemBounds();
  bool isPointInItem(ViewPoint point);

  float mGrummets = 27.35f;
  int64_t mMaxWidth = 0, mMaxLength = 0;
  float mMouseDownX = 0, mMouseDownY = 0;
  float mWidth = 0, mHeight = 0;
  float mDraggedX = 0, mDraggedY = 0;
  float mMouseUpX = 0, mMouseUpY = 0;
  bool mChangeSize = false;
  bool draging = false, dragStart = false, dragMouseDown = false, setRectangle = true;
  bool outOfRangeRect = false;
  float orgX = 0, orgY = 0, orgWidth = 0, orgHeight = 0;
  float mouseDraggedX = 0, mouseDraggedY = 0;
  float newX = 0, newY = 0;
  float mTmpMouseDownX = 0, mTmpMouseDownY = 0;
  float _x = 0, _y = 0;
  bool mEnableCursor = false;
  bool mIsChangeEyeDropperCursor = false;
};

}  // namespace ferrolite::dialog
