// The notification centre and the scripted ports: timers on a clock the test moves, cursors,
// the open panel, localized texts with their fallbacks, fixed font widths.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/ui/NotificationCenter.h"
#include "platform/ui/Scripted.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace ui;

TEST(NotificationCentre, DeliversSynchronouslyInRegistrationOrderWithTheUserInfo) {
  NotificationCenter centre;
  std::vector<std::string> calls;
  int poster = 0;
  int otherPoster = 0;
  centre.addObserver("optionNoise", nullptr, [&](const Notification& n) {
    calls.push_back("first " + n.userInfo.string("which").valueOr("?"));
  });
  centre.addObserver("", nullptr, [&](const Notification& n) { calls.push_back("all " + n.name); });
  centre.addObserver("optionNoise", &poster,
                     [&](const Notification&) { calls.push_back("from the poster"); });
  foundation::Dictionary info;
  info.set("which", "noiseNumber");
  centre.post("optionNoise", &poster, info);
  info.set("which", "noiseRadius");
  centre.post("optionNoise", &otherPoster, info);
  centre.post("setCustomColor", &poster);
  EXPECT_EQ(calls, (std::vector<std::string>{"first noiseNumber", "all optionNoise",
                                             "from the poster", "first noiseRadius",
                                             "all optionNoise", "all setCustomColor"}));
}

TEST(NotificationCentre, ObserversAddedOrRemovedDuringAPostTakeEffectAfterIt) {
  NotificationCenter centre;
  std::vector<std::string> calls;
  NotificationCenter::Token second = 0;
  centre.addObserver("x", nullptr, [&](const Notification&) {
    calls.push_back("first");
    centre.removeObserver(second);
    centre.addObserver("x", nullptr, [&](const Notification&) { calls.push_back("late"); });
  });
  second =
      centre.addObserver("x", nullptr, [&](const Notification&) { calls.push_back("second"); });
  centre.post("x", nullptr);
  EXPECT_EQ(calls, std::vector<std::string>{"first"});
  calls.clear();
  centre.post("x", nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "late"}));
}

TEST(ScriptedTimers, OneShotTimersFireInDueOrderAsTheClockMovesAndCancelledOnesNever) {
  ScriptedTimers timers;
  std::vector<std::string> fired;
  timers.scheduleOnce(Seconds(0.1), [&] {
    fired.push_back("cursor");
    timers.scheduleOnce(Seconds(0.05), [&] { fired.push_back("chained"); });
  });
  Timers::Id cancelled = timers.scheduleOnce(Seconds(0.1), [&] { fired.push_back("cancelled"); });
  timers.scheduleOnce(Seconds(1), [&] { fired.push_back("elapsed"); });
  timers.cancel(cancelled);
  timers.advance(Seconds(0.09));
  EXPECT_TRUE(fired.empty());
  timers.advance(Seconds(0.1));
  EXPECT_EQ(fired, (std::vector<std::string>{"cursor", "chained"}));
  EXPECT_EQ(timers.pending(), 1u);
  timers.advance(Seconds(1));
  EXPECT_EQ(fired.back(), "elapsed");
}

TEST(ScriptedCursors, PushPopAndSetAreRecordedAndTheStackIsKept) {
  ScriptedCursors cursors;
  cursors.push({CursorShape::closedHand});
  cursors.set({CursorShape::image, "/res/eyedropperMouse.png", {0, 0}});
  cursors.pop();
  EXPECT_EQ(cursors.log(),
            (std::vector<std::string>{"push closedHand", "set image /res/eyedropperMouse.png (0,0)",
                                      "pop"}));
  EXPECT_EQ(cursors.current().shape, CursorShape::arrow);
}

TEST(ScriptedOpenPanel, RecordsEachRequestAndAnswersInOrderThenCancels) {
  ScriptedOpenPanel panel;
  panel.answer("/usr/share/sounds/alarm.wav");
  OpenPanelRequest request{"/usr/share/sounds", {"wav", "ogg"}, true};
  EXPECT_EQ(panel.runModal(request), std::filesystem::path("/usr/share/sounds/alarm.wav"));
  EXPECT_EQ(panel.runModal(request), std::nullopt);
  EXPECT_EQ(panel.requests(), (std::vector<OpenPanelRequest>{request, request}));
}

TEST(Strings, TextsFallBackToTheKeyOrTheKeyWithAQuestionMarkAndMissesAreNoted) {
  namespace fs = std::filesystem;
  fs::path folder = testsupport::freshTestFolder("ui-strings") / "English.lproj";
  fs::create_directories(folder);
  std::ofstream(folder / "Localizable.strings") << "\"Scan\" = \"Scan\";\n"
                                                   "\"Custom\" = \"Custom settings\";\n";
  auto bundle = foundation::LanguageBundle::open(folder);
  ASSERT_TRUE(bundle);
  BundleStrings bundleStrings(*bundle);
  MapStrings mapStrings({{"Scan", "Scan"}, {"Custom", "Custom settings"}});
  for (const Strings* strings :
       {static_cast<const Strings*>(&bundleStrings), static_cast<const Strings*>(&mapStrings)}) {
    EXPECT_EQ(localizedText(*strings, "Custom", Fallback::keyWithQuestionMark), "Custom settings");
    EXPECT_EQ(localizedText(*strings, "Brightness", Fallback::keyWithQuestionMark), "Brightness?");
    EXPECT_EQ(localizedText(*strings, "PAPERSIZE3", Fallback::key), "PAPERSIZE3");
    EXPECT_EQ(localizedText(*strings, "75", Fallback::literal), "75");
  }
  EXPECT_EQ(bundleStrings.missingKeys(),
            (std::set<std::string, std::less<>>{"Brightness", "PAPERSIZE3"}));
  EXPECT_EQ(mapStrings.missingKeys(), bundleStrings.missingKeys());
}

TEST(FixedFontMetrics, FixedWidthFacesGiveSixTenthsOfAnEmAndBlanksAQuarterInOthers) {
  FixedFontMetrics fonts;
  EXPECT_DOUBLE_EQ(fonts.width("ABC0007", {"Courier", 13}), 7 * 0.6 * 13);
  EXPECT_DOUBLE_EQ(fonts.width(" ", {"Arial", 13}), 0.25 * 13);
  EXPECT_DOUBLE_EQ(fonts.width("mi", {"Arial", 10}), (0.8 + 0.25) * 10);
  EXPECT_DOUBLE_EQ(fonts.width("é", {"Courier", 10}), 6) << "one character, two bytes";
}

}  // namespace
