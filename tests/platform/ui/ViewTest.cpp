// The image view: drawing after each user event into a picture, the mouse and its tracking
// areas, sampling what was drawn; the scroll view's rulers and their registered units.
#include <gtest/gtest.h>

#include "platform/ui/ImageView.h"
#include "tests/platform/ui/UiTesting.h"

namespace {

using namespace ui;
using uitest::RecordingPeer;
using uitest::UiFixture;

std::shared_ptr<Image> twoColumns() {
  // 2 × 1 pixels: red, then blue.
  auto image = std::make_shared<Image>();
  image->width = 2;
  image->height = 1;
  image->rgb = {255, 0, 0, 0, 0, 255};
  return image;
}

TEST(ImageViews, AGestureDrawsOnceAfterEachEventAndPostsFromTheDrawing) {
  UiFixture f;
  auto& view = f.window->make<ImageView>(nullptr, "mPreviewView");
  view.setFrameSize({232, 300});
  view.setFlipped(true);
  Rect area;
  std::vector<std::string> order;
  view.setMouseHandlers({[&](ImageView& v, const MouseEvent& e) {
                           order.push_back("down");
                           area.origin = e.location;
                           v.setNeedsDisplay();
                         },
                         [&](ImageView& v, const MouseEvent& e) {
                           order.push_back("drag");
                           area.size = {e.location.x - area.origin.x, e.location.y - area.origin.y};
                           v.setNeedsDisplay();
                         },
                         [&](ImageView&, const MouseEvent&) { order.push_back("up"); }, nullptr,
                         nullptr, nullptr});
  f.application.notifications().addObserver("PreviewWin2Text", nullptr,
                                            [&](const Notification&) { order.push_back("post"); });
  view.setDrawHook([&](ImageView& v, Canvas& canvas) {
    order.push_back("draw");
    v.drawImageDefault(canvas);
    canvas.strokeRect(area, Color::rgb(1, 0, 0), 1);
    f.application.notifications().post("PreviewWin2Text", &v);
  });
  view.display();
  order.clear();
  EXPECT_TRUE(f.user.mouseDown(view, {100, 100}));
  EXPECT_TRUE(f.user.mouseDragged(view, {140, 160}));
  EXPECT_TRUE(f.user.mouseUp(view, {140, 160}));
  EXPECT_EQ(order,
            (std::vector<std::string>{"down", "draw", "post", "drag", "draw", "post", "up"}));
  ASSERT_EQ(view.picture().ops.size(), 1u);
  EXPECT_EQ(view.picture().ops[0].rect, (Rect{{100, 100}, {40, 60}}));
}

TEST(ImageViews, MovesAndTheExitReachTheViewOnlyWhileATrackingAreaAsksForThem) {
  UiFixture f;
  auto& view = f.window->make<ImageView>(nullptr, "mPreviewView");
  view.setMouseHandlers({nullptr, nullptr, nullptr,
                         [&](ImageView&, const MouseEvent& e) {
                           f.log.push_back("move " + std::to_string(int(e.location.x)));
                         },
                         nullptr, [&](ImageView&, const MouseEvent&) { f.log.push_back("exit"); }});
  EXPECT_FALSE(f.user.mouseMoved(view, {3, 4}));
  ImageView::TrackingId id = view.addTrackingArea({true, true});
  EXPECT_TRUE(f.user.mouseMoved(view, {5, 4}));
  EXPECT_TRUE(f.user.mouseExited(view, {500, 4}));
  view.removeTrackingArea(id);
  EXPECT_FALSE(f.user.mouseExited(view, {500, 4}));
  EXPECT_EQ(f.log, (std::vector<std::string>{"move 5", "exit"}));
}

TEST(ImageViews, ThePictureIsSampledAsShownWithTheImageScaledIntoItsRectangle) {
  UiFixture f;
  auto& view = f.window->make<ImageView>(nullptr, "mPreviewView");
  view.setFrameSize({100, 50});
  view.setFlipped(true);
  view.setDrawHook([](ImageView&, Canvas& canvas) {
    canvas.fillRect({{0, 0}, {100, 50}}, Color::white());
    canvas.drawImage(twoColumns(), {{10, 10}, {40, 20}});
    canvas.strokeRect({{10, 10}, {40, 20}}, Color::rgb(1, 0, 0), 1);
  });
  view.display();
  EXPECT_EQ(view.picture().colorAt({12, 12}, true), Color::rgb(1, 0, 0));
  EXPECT_EQ(view.picture().colorAt({49, 29}, true), Color::rgb(0, 0, 1));
  EXPECT_EQ(view.picture().colorAt({5, 5}, true), Color::white());
  EXPECT_EQ(view.picture().colorAt({200, 5}, true), std::nullopt);
}

TEST(ImageViews, ThePlainViewDrawsItsImageAtItsSizeByTheAlignment) {
  UiFixture f;
  auto& view = f.window->make<ImageView>(nullptr, "logo");
  view.setFrameSize({100, 50});
  auto image = twoColumns();
  image->xResolution = image->yResolution = 36;  // 2 × 1 pixels are 4 × 2 points
  view.setImage(image);
  view.display();
  ASSERT_EQ(view.picture().ops.size(), 1u);
  EXPECT_EQ(view.picture().ops[0].rect, (Rect{{48, 24}, {4, 2}}));
  view.setImageAlignment(ImageAlignment::topLeft);
  view.display();
  EXPECT_EQ(view.picture().ops[0].rect, (Rect{{0, 48}, {4, 2}})) << "top-left, not flipped";
}

TEST(Rulers, RulersTakeRegisteredUnitsAndFollowAUnitRegisteredAgain) {
  UiFixture f;
  auto& scroll = f.window->make<ScrollView>(nullptr, "previewScroll");
  RecordingPeer peer;
  scroll.setPeer(&peer);
  EXPECT_FALSE(scroll.horizontalRuler().setMeasurementUnits("Inches")) << "not registered yet";
  f.application.rulerUnits().registerUnit({"Inches", "in", 27.35, {2.0}, {0.5}});
  EXPECT_TRUE(scroll.horizontalRuler().setMeasurementUnits("Inches"));
  EXPECT_TRUE(scroll.verticalRuler().setMeasurementUnits("Inches"));
  f.application.rulerUnits().registerUnit({"Inches", "in", 21.35, {2.0}, {0.5}});
  EXPECT_DOUBLE_EQ(scroll.horizontalRuler().unit()->pointsPerUnit, 21.35);
  EXPECT_DOUBLE_EQ(scroll.verticalRuler().unit()->pointsPerUnit, 21.35);
  EXPECT_GE(peer.count(Aspect::rulers), 4);
  scroll.setPeer(nullptr);
}

}  // namespace
