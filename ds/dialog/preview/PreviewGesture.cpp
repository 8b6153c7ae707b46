#include "ds/dialog/preview/PreviewGesture.h"

#include <cmath>

#include "ds/dialog/Units.h"
#include "ds/dialog/preview/PreviewGeometry.h"

namespace ferrolite::dialog {

namespace {
constexpr float kFallbackSize = 20.0f;  // a rectangle drawn to nothing keeps 20 points

Post areaPost(int64_t left, int64_t top, int64_t width, int64_t length) {
  return Post(note::kPreviewWin2Text,
              {{"left", left}, {"top", top}, {"width", width}, {"length", length}});
}
}  // namespace

bool PreviewGesture::gatesOpen(const ScanSetting& r) const {
  return r.bPaperSize != kPageAutomatic && r.bPaperSize != kPageMultiCrop &&
         r.bScanSource != kSourceMergeTwoSides;
}

int64_t PreviewGesture::conv(float v) const { return toSettings(v, mGrummets); }

void PreviewGesture::setRetangleRect(double x, double y, double width, double length) {
  const double scale = mGrummets;
  mMouseDownX = toViewPoints(x, scale);
  mMouseDownY = toViewPoints(y, scale);
  mWidth = toViewPoints(width, scale);
  mHeight = toViewPoints(length, scale);
  // The hit test of the next press finds the rectangle where it is now drawn.
  orgX = newX = mMouseDownX;
  orgY = newY = mMouseDownY;
  setRectangle = true;
}

ViewRect PreviewGesture::calculatedItemBounds() {
  orgX = dragMouseDown ? newX : _x;
  orgY = dragMouseDown ? newY : _y;
  orgWidth = mWidth;
  orgHeight = mHeight;
  return {orgX, orgY, mWidth, mHeight};
}

bool PreviewGesture::isPointInItem(ViewPoint p) {
  const ViewRect r = calculatedItemBounds();
  return p.x >= r.x && p.x < r.x + r.width && p.y >= r.y && p.y < r.y + r.height;
}

Posts PreviewGesture::mouseDown(DialogContext& ctx, ViewPoint p) {
  if (mEnableCursor) return eyeDropperDown().posts;
  if (!gatesOpen(ctx.record())) return {};
  // The press area is the area the view draws.
  outOfRangeRect = p.x < 0 || p.y < 0 || p.x > mMaxWidth || p.y > mMaxLength;
  if (outOfRangeRect) return {};
  dragStart = dragMouseDown = isPointInItem(p);
  _x = mMouseDownX = mTmpMouseDownX = p.x;
  _y = mMouseDownY = mTmpMouseDownY = p.y;
  setRectangle = false;
  return {};
}

void PreviewGesture::mouseDragged(DialogContext& ctx, ViewPoint p) {
  if (mEnableCursor || !gatesOpen(ctx.record()) || outOfRangeRect) return;
  mouseDraggedX = mDraggedX = p.x;
  mouseDraggedY = mDraggedY = p.y;
  draging = true;
  // A move keeps its size; the redraw places it.
  if (dragStart) return;
  mWidth = p.x - mMouseDownX;
  mHeight = p.y - mMouseDownY;
  if (mWidth + mMouseDownX < 0) mWidth = -mMouseDownX;
  if (mHeight + mMouseDownY < 0) mHeight = -mMouseDownY;
}

PreviewDraw PreviewGesture::drawRect(DialogContext& ctx) {
  PreviewDraw draw;
  const bool previewShown = ctx.globals.gPreviewResult || ctx.globals.gShowPreviewImage;
  float x, y;
  if (dragStart && draging) {
    mWidth = orgWidth;
    mHeight = orgHeight;
    x = orgX + mouseDraggedX - mMouseDownX;
    y = orgY + mouseDraggedY - mMouseDownY;
    if (x <= 0) x = 0;
    if (x + mWidth >= mMaxWidth) x = mMaxWidth - mWidth;
    if (y <= 0) y = 0;
    if (y + mHeight >= mMaxLength) y = mMaxLength - mHeight;
    mChangeSize = true;
    draw.posts.push_back(areaPost(conv(x), conv(y), conv(mWidth), conv(mHeight)));
  } else if (dragStart) {
    x = orgX;
    y = orgY;
    mWidth = orgWidth;
    mHeight = orgHeight;
  } else {
    const bool atRest = !dragMouseDown && !draging && !setRectangle;
    if (atRest || previewShown) {
      x = orgX;
      y = orgY;
      mChangeSize = false;
      ctx.globals.gShowPreviewImage = false;
    } else if (!dragMouseDown && draging && !setRectangle) {
      x = mMouseDownX = orgX = mTmpMouseDownX;
      y = mMouseDownY = orgY = mTmpMouseDownY;
      mChangeSize = true;
    } else {
      x = mMouseDownX;
      y = mMouseDownY;
    }
    // A rectangle drawn to the left or upwards.
    if (mWidth < 0) {
      mWidth = -mWidth;
      x = mDraggedX;
    }
    if (mHeight < 0) {
      mHeight = -mHeight;
      y = mDraggedY;
    }
    if (y <= 0) y = 0;
    if (x <= 0) x = 0;
    if (x + mWidth > mMaxWidth) mWidth = mMaxWidth - x;
    if (mWidth <= 0) mWidth = kFallbackSize;
    if (y + mHeight > mMaxLength) {
      if (y > mMaxLength) {
        mWidth = mHeight = 0;
      } else {
        mHeight = mMaxLength - y;
      }
    }
    if (mHeight <= 0 && y > mMaxLength) mHeight = kFallbackSize;
    if (mChangeSize) draw.posts.push_back(areaPost(conv(x), conv(y), conv(mWidth), conv(mHeight)));
    _x = orgX;
    _y = orgY;
  }
  draw.rect = {x, y, mWidth, mHeight};
  return draw;
}

Posts PreviewGesture::mouseUp(DialogContext& ctx, ViewPoint p) {
  if (mEnableCursor) return eyeDropperUp().posts;
  ScanSetting& r = ctx.record();
  if (!gatesOpen(r) || outOfRangeRect) return {};
  Posts posts;
  mMouseUpX = p.x;
  mMouseUpY = p.y;
  if (!draging) {
    // A click: the rectangle stays where it rests, and so does the record.
    mMouseDownX = newX = _x = orgX;
    mMouseDownY = newY = _y = orgY;
  } else if (dragMouseDown) {
    // A move: only the origin changes.
    newX = orgX + mouseDraggedX - mMouseDownX;
    if (newX < 0) newX = 0;
    if (newX > mMaxWidth - mWidth) newX = mMaxWidth - mWidth;
    newY = orgY + mouseDraggedY - mMouseDownY;
    if (newY < 0) newY = 0;
    if (newY > mMaxLength - mHeight) newY = mMaxLength - mHeight;
    r.wXPos = saturate<uint16_t>(conv(newX));
    r.wYPos = saturate<uint16_t>(conv(newY));
    // The resting rectangle shows the released origin, the one the record holds.
    mMouseDownX = orgX = _x = newX;
    mMouseDownY = orgY = _y = newY;
  } else {
    if (mMouseUpX < 0) mMouseUpX = 0;
    if (mMouseUpY < 0) mMouseUpY = 0;
    newX = std::min(mMouseDownX, mMouseUpX);
    newY = std::min(mMouseDownY, mMouseUpY);
    mMouseDownX = orgX = _x = newX;
    mMouseDownY = orgY = _y = newY;
    r.wXPos = saturate<uint16_t>(conv(newX));
    r.wYPos = saturate<uint16_t>(conv(newY));
    r.wWidth = saturate<uint16_t>(conv(std::fabs(mWidth)));
    r.wLength = saturate<uint16_t>(conv(std::fabs(mHeight)));
  }
  if (mChangeSize && draging) {
    posts.push_back(whichPost(note::kPageSizeByStepper, "mDragRectangle"));
    const uint32_t minWidth =
        isFlatbedSource(r.bScanSource) ? ctx.bridge.mFBMinWidth : ctx.bridge.mAdfMinWidth;
    const uint32_t minLength =
        isFlatbedSource(r.bScanSource) ? ctx.bridge.mFBMinLength : ctx.bridge.mAdfMinLength;
    if (r.wWidth < minWidth || r.wLength < minLength) {
      if (r.wWidth < minWidth) r.wWidth = saturate<uint16_t>(minWidth);
      if (r.wLength < minLength) r.wLength = saturate<uint16_t>(minLength);
      posts.push_back(areaPost(conv(newX), conv(newY), r.wWidth, r.wLength));
      posts.push_back(Post(note::kRectTextFieldChange));
    }
  }
  draging = dragStart = mChangeSize = false;
  return posts;
}

EyeDropperStep PreviewGesture::eyeDropperDown() {
  EyeDropperStep step;
  step.posts.push_back(Post(note::kMoveMousetoPreviewResultButton, {{"MouseDownUp", int64_t{0}}}));
  step.enableCursor = true;
  return step;
}

EyeDropperStep PreviewGesture::eyeDropperUp() {
  EyeDropperStep step;
  step.posts.push_back(Post(note::kMoveMousetoPreviewResultButton, {{"MouseDownUp", int64_t{1}}}));
  step.showPreviewImage = true;
  step.enableCursor = true;
  return step;
}

EyeDropperStep PreviewGesture::mouseMoved(
    ViewPoint p, const ViewRect& bounds,
    const std::function<std::optional<Colour>(float, float)>& pixelAt) {
  EyeDropperStep step;
  if (!mEnableCursor) return step;
  double red = 0, green = 0, blue = 0;
  int count = 0;
  for (float j = 0; p.y + j < p.y + 1; ++j) {
    for (float i = 0; p.x + i < p.x + 1; ++i) {
      const float x = p.x + i, y = p.y + j;
      if (x < bounds.x || y < bounds.y || x >= bounds.x + bounds.width ||
          y >= bounds.y + bounds.height) {
        continue;
      }
      if (const std::optional<Colour> c = pixelAt(x, y)) {
        red += c->red;
        green += c->green;
        blue += c->blue;
        ++count;
      }
    }
  }
  const double divisor = count ? count : 1;
  step.posts.push_back(Post(note::kCustomColorChange, {{"colorRed", red / divisor},
                                                       {"colorGreen", green / divisor},
                                                       {"colorBlue", blue / divisor},
                                                       {"colorAlpha", 1.0}}));
  if (!mIsChangeEyeDropperCursor) {
    mIsChangeEyeDropperCursor = true;
    step.startCursor = true;
  }
  return step;
}

EyeDropperStep PreviewGesture::mouseExited() {
  EyeDropperStep step;
  if (!mIsChangeEyeDropperCursor || !mEnableCursor) return step;
  mIsChangeEyeDropperCursor = false;
  step.stopCursor = true;
  step.posts.push_back(Post(note::kSetCustomColor));
  return step;
}

}  // namespace ferrolite::dialog
