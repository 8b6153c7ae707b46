// The preview view: its geometry, and the selection rectangle driven by scripted presses,
// drags and releases, with the record it writes and the notifications it posts.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/preview/PreviewGeometry.h"
#include "ds/dialog/preview/PreviewGesture.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

TEST(PreviewGeometry, ScaleMaximaAndConversions) {
  EXPECT_EQ(previewScale(3000), kNarrowScale);
  EXPECT_EQ(previewScale(3001), kWideScale);
  EXPECT_EQ(viewMaximum(2550, kNarrowScale), 232);
  EXPECT_EQ(viewMaximum(2550, kWideScale), 181);
  EXPECT_EQ(viewMaximum(4200, kNarrowScale), 382);
  // Placed at 301 and read back, a value comes out one lower.
  EXPECT_EQ(toSettings(toViewPoints(301, kNarrowScale), 27.35f), 300);
  EXPECT_EQ(toSettings(40, 27.35f), 438);
  EXPECT_EQ(toSettings(40, 0), 0);
}

TEST(PreviewGeometry, FlatbedOrFeederLengthFromThePreviewImage) {
  const auto points = [](double length) { return (length + 0.5) * 72.0 / 300.0; };
  EXPECT_TRUE(previewIsFlatbedLength(points(3518), 3508));
  EXPECT_FALSE(previewIsFlatbedLength(points(3519), 3508));
  EXPECT_TRUE(previewIsFlatbedLength(points(3498), 3508));
  EXPECT_FALSE(previewIsFlatbedLength(points(3497), 3508));
}

TEST(PreviewGeometry, RulerUnits) {
  const std::vector<RulerUnit> narrow = rulerUnitsForScale(kNarrowScale, 200);
  ASSERT_EQ(narrow.size(), 4u);
  EXPECT_EQ(narrow[0].name, "Grummets");
  EXPECT_DOUBLE_EQ(narrow[1].pointsPerUnit, 27.35);
  EXPECT_DOUBLE_EQ(narrow[2].pointsPerUnit, 10.76771653543307);
  EXPECT_DOUBLE_EQ(narrow[3].pointsPerUnit, 27.35 / 200);
  const std::vector<RulerUnit> wide = rulerUnitsForScale(kWideScale, 200);
  EXPECT_EQ(wide, classRulerUnits());
  EXPECT_DOUBLE_EQ(wide[2].pointsPerUnit, 8.405511811023622);
  EXPECT_DOUBLE_EQ(wide[3].pointsPerUnit, 0.0427);
  EXPECT_EQ(rulerUnitName("Inches", kUnitPixel), "Points1");
  EXPECT_EQ(rulerUnitName("Inches", kUnitInch), "Inches");
  EXPECT_EQ(pixelRulerUnit(0).pointsPerUnit, 27.35 / 300);  // a resolution of 0 counts as 300
  EXPECT_EQ(pixelRulerUnit(150).abbreviation, "px");
  EXPECT_EQ(rulerUnitOfPaperUnit(kUnitMillimetre), "Centimeters");
}

// A view over the fixture's feeder (232 x 382 view points), a custom page, and a rectangle
// resting at (1800, 3000) with a size of 300 x 300.
struct View : DialogFixture {
  PreviewGesture view;
  View() {
    record.bPaperSize = kPageCustom;
    record.bScanSource = kSourceFeeder;
    view.setGrummets(27.35f);
    view.setMaxScanArea(viewMaximum(2550, kNarrowScale), viewMaximum(4200, kNarrowScale));
    place(1800, 3000, 300, 300);
  }
  void place(uint16_t x, uint16_t y, uint16_t w, uint16_t l) {
    record.wXPos = x;
    record.wYPos = y;
    record.wWidth = w;
    record.wLength = l;
    view.setRetangleRect(x, y, w, l);
    DialogContext c = ctx();
    view.drawRect(c);
  }
  // Press, drags each followed by the redraw the platform makes, release; all posts in order.
  Posts gesture(ViewPoint press, std::initializer_list<ViewPoint> drags, ViewPoint release) {
    DialogContext c = ctx();
    Posts posts = view.mouseDown(c, press);
    append(posts, view.drawRect(c).posts);
    for (ViewPoint d : drags) {
      view.mouseDragged(c, d);
      append(posts, view.drawRect(c).posts);
    }
    append(posts, view.mouseUp(c, release));
    append(posts, view.drawRect(c).posts);
    return posts;
  }
  ViewRect resting() {
    DialogContext c = ctx();
    return view.drawRect(c).rect;
  }
  static void append(Posts& to, const Posts& more) {
    to.insert(to.end(), more.begin(), more.end());
  }
  std::array<uint16_t, 4> area() const {
    return {record.wXPos, record.wYPos, record.wWidth, record.wLength};
  }
};

int64_t conv(float v) { return toSettings(v, 27.35f); }

Post win2Text(int64_t l, int64_t t, int64_t w, int64_t h) {
  return Post(note::kPreviewWin2Text, {{"left", l}, {"top", t}, {"width", w}, {"length", h}});
}

TEST(PreviewGesture, DrawingANewRectangleLeftAndUpwards) {
  View v;
  const Posts posts = v.gesture({100, 100}, {{70, 80}, {40, 60}}, {40, 60});
  ASSERT_GE(posts.size(), 3u);
  EXPECT_EQ(posts[1], win2Text(conv(40), conv(60), conv(60), conv(40)));
  EXPECT_EQ(posts[2], whichPost(note::kPageSizeByStepper, "mDragRectangle"));
  EXPECT_EQ(v.area(), (std::array<uint16_t, 4>{uint16_t(conv(40)), uint16_t(conv(60)),
                                               uint16_t(conv(60)), uint16_t(conv(40))}));
  EXPECT_EQ(v.resting(), (ViewRect{40, 60, 60, 40}));
}

TEST(PreviewGesture, ASmallRectangleIsRaisedToTheMinimum) {
  View v;
  const Posts posts = v.gesture({100, 100}, {{105, 103}}, {105, 103});
  ASSERT_EQ(posts.size(), 4u);
  EXPECT_EQ(posts[0].name, note::kPreviewWin2Text);
  EXPECT_EQ(posts[1], whichPost(note::kPageSizeByStepper, "mDragRectangle"));
  EXPECT_EQ(posts[2], win2Text(conv(100), conv(100), 150, 150));
  EXPECT_EQ(posts[3], Post(note::kRectTextFieldChange));
  EXPECT_EQ(v.record.wWidth, 150);
  EXPECT_EQ(v.record.wLength, 150);
  // On the flatbed its own minima apply.
  View f;
  f.record.bScanSource = kSourceFlatbed;
  f.gesture({100, 100}, {{105, 103}}, {105, 103});
  EXPECT_EQ(f.record.wWidth, 75);
}

TEST(PreviewGesture, AMoveIsClampedAtBothEdgesAndChangesOnlyTheOrigin) {
  View v;
  v.place(1800, 3000, 301, 300);
  const ViewRect r = v.resting();
  // Far to the right and down: stops at the maximum less the size.
  Posts posts = v.gesture({r.x + 5, r.y + 5}, {{r.x + 400, r.y + 400}}, {r.x + 400, r.y + 400});
  EXPECT_EQ(posts.front(),
            win2Text(conv(232 - r.width), conv(382 - r.height), conv(r.width), conv(r.height)));
  EXPECT_EQ(v.record.wXPos, conv(232 - r.width));
  EXPECT_EQ(v.record.wYPos, conv(382 - r.height));
  EXPECT_EQ(v.record.wWidth, 301);  // no truncation of the size
  EXPECT_EQ(v.record.wLength, 300);
  EXPECT_EQ(v.resting(), (ViewRect{232 - r.width, 382 - r.height, r.width, r.height}));
  // Far to the left and up: stops at 0; the next press finds the rectangle where it rests.
  const ViewRect now = v.resting();
  v.gesture({now.x + 5, now.y + 5}, {{-300, -300}}, {-300, -300});
  EXPECT_EQ(v.record.wXPos, 0);
  EXPECT_EQ(v.record.wYPos, 0);
  EXPECT_EQ(v.record.wWidth, 301);
  EXPECT_EQ(v.resting().x, 0);
}

TEST(PreviewGesture, AClickChangesNothing) {
  View v;
  v.place(1800, 3000, 301, 300);
  const ViewRect r = v.resting();
  EXPECT_TRUE(v.gesture({r.x + 5, r.y + 5}, {}, {r.x + 5, r.y + 5}).empty());  // inside
  EXPECT_EQ(v.area(), (std::array<uint16_t, 4>{1800, 3000, 301, 300}));
  EXPECT_TRUE(v.gesture({0, 0}, {}, {0, 0}).empty());  // outside, at the view's origin
  EXPECT_EQ(v.area(), (std::array<uint16_t, 4>{1800, 3000, 301, 300}));
  EXPECT_EQ(v.resting(), r);
}

TEST(PreviewGesture, GatesAndThePressArea) {
  struct Case {
    uint8_t paperSize, source;
  } closed[] = {{kPageAutomatic, kSourceFeeder},
                {kPageMultiCrop, kSourceFeeder},
                {kPageCustom, kSourceMergeTwoSides}};
  for (const Case& c : closed) {
    View v;
    v.record.bPaperSize = c.paperSize;
    v.record.bScanSource = c.source;
    EXPECT_TRUE(v.gesture({100, 100}, {{40, 60}}, {40, 60}).empty());
    EXPECT_EQ(v.area(), (std::array<uint16_t, 4>{1800, 3000, 300, 300}));
  }
  View v;  // beyond the drawn area: nothing up to and including the release
  EXPECT_TRUE(v.gesture({240, 100}, {{100, 50}}, {100, 50}).empty());
  EXPECT_EQ(v.area(), (std::array<uint16_t, 4>{1800, 3000, 300, 300}));
}

TEST(PreviewGesture, EyeDropperTakesPrecedence) {
  View v;
  v.record.bPaperSize = kPageAutomatic;  // gates closed: the eye dropper still works
  v.view.EnableEyeDropperCursor(true);
  DialogContext c = v.ctx();
  EXPECT_EQ(v.view.mouseDown(c, {10, 10}),
            Posts{Post(note::kMoveMousetoPreviewResultButton, {{"MouseDownUp", int64_t{0}}})});
  EXPECT_EQ(v.view.mouseUp(c, {10, 10}),
            Posts{Post(note::kMoveMousetoPreviewResultButton, {{"MouseDownUp", int64_t{1}}})});
  EXPECT_TRUE(v.view.eyeDropperUp().showPreviewImage);
  EXPECT_TRUE(v.view.mouseExited().posts.empty());  // the cursor never showed
  const auto grey = [](float, float) { return std::optional<Colour>(Colour{0.5, 0.25, 1.0}); };
  EyeDropperStep moved = v.view.mouseMoved({10.5f, 20.5f}, {0, 0, 232, 382}, grey);
  EXPECT_EQ(
      moved.posts,
      Posts{Post(
          note::kCustomColorChange,
          {{"colorRed", 0.5}, {"colorGreen", 0.25}, {"colorBlue", 1.0}, {"colorAlpha", 1.0}})});
  EXPECT_TRUE(moved.startCursor);
  EXPECT_FALSE(v.view.mouseMoved({10, 20}, {0, 0, 232, 382}, grey).startCursor);
  // Outside the bounds nothing is read: zeros, alpha still 1.
  moved = v.view.mouseMoved({300, 20}, {0, 0, 232, 382}, grey);
  EXPECT_EQ(moved.posts.front().userInfo[0].second, PostValue(0.0));
  EXPECT_EQ(moved.posts.front().userInfo[3].second, PostValue(1.0));
  const EyeDropperStep left = v.view.mouseExited();
  EXPECT_TRUE(left.stopCursor);
  EXPECT_EQ(left.posts, Posts{Post(note::kSetCustomColor)});
}

}  // namespace
}  // namespace ferrolite::dialog
