// The option page's nine fields typed one keystroke at a time.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/options/OptionFields.h"

namespace ferrolite::dialog {
namespace {

using Field = testing::TypedField<OptionField, optionFieldChanged, optionFieldEnded>;

TEST(OptionFields, EdgeFiltering) {
  struct Case {
    const char* start;
    const char* after;
    const char* editor;
    uint16_t stored;
  } cases[] = {
      {"0", "05", "5", 5},     {"0", "00", "0", 0}, {"12", "12a", "12", 12},
      {"12", "1a2", "12", 12}, {"", "a", "0", 0},   {"5", "", "0", 5},  // empty stores nothing
  };
  for (const Case& c : cases) {
    Field f(OptionField::LeftEdge, c.start);
    f.record.wLeftEdge = 5;
    const FieldResult r = f.type(c.after);
    EXPECT_EQ(f.editor, c.editor) << c.after;
    EXPECT_EQ(f.record.wLeftEdge, c.stored) << c.after;
    EXPECT_EQ(r.posts.size(), std::string(c.after).empty() ? 0u : 1u);
  }
  Field f(OptionField::TopEdge);
  EXPECT_EQ(f.type("7").posts, Posts{whichPost(note::kOptionEdgeChange, "topEdge")});
  f.type("12000");
  FieldResult r = f.end(TextMovement::Tab);
  EXPECT_EQ(f.editor, "9999");
  EXPECT_EQ(f.record.wTopEdge, 9999);
  EXPECT_EQ(r.posts, Posts{Post(note::kTextFieldMovementEnhancement)});
  EXPECT_EQ(f.globals.goNextTextFiled_Enhancement, 3);
  Field left(OptionField::LeftEdge);
  left.type("1234");
  left.end(TextMovement::BackTab);
  EXPECT_EQ(left.editor, "999");
  EXPECT_EQ(left.globals.goBackNextTextFiled_Enhancement, 6);
  r = left.end(TextMovement::Other);  // Return moves nothing
  EXPECT_TRUE(r.posts.empty());
}

TEST(OptionFields, Despeckle) {
  Field number(OptionField::NoiseNumber, "400");
  number.record.bNoiseRadius = 5;
  FieldResult r = number.type("4000");
  EXPECT_EQ(number.editor, "3600");
  EXPECT_EQ(number.record.wNoiseNumber, 3600);
  EXPECT_EQ(number.record.bNoiseRadius, 30);
  EXPECT_EQ(r.posts, (Posts{whichPost(note::kOptionNoise, "noiseNumber"),
                            whichPost(note::kOptionNoise, "noiseRadius")}));
  Field zero(OptionField::NoiseNumber);
  zero.type("0");
  EXPECT_EQ(zero.record.wNoiseNumber, 0);  // only an upper limit
  Field radius(OptionField::NoiseRadius, "");
  radius.record.wNoiseNumber = 3600;
  r = radius.type("0");
  EXPECT_EQ(radius.record.bNoiseRadius, 30);  // never below the number's minimum, nor 1
  EXPECT_EQ(radius.editor, "1");
  EXPECT_EQ(r.posts, Posts{whichPost(note::kOptionNoise, "noiseRadius")});
  Field plain(OptionField::NoiseRadius, "4");
  plain.type("45");
  EXPECT_EQ(plain.editor, "30");
  EXPECT_EQ(plain.record.bNoiseRadius, 30);
  plain.type("07");
  EXPECT_EQ(plain.editor, "1");
  EXPECT_EQ(plain.record.bNoiseRadius, 1);
  plain.editor = "0";
  plain.end();
  EXPECT_EQ(plain.editor, "1");
}

TEST(OptionFields, ImageCountAndPowerTimes) {
  Field count(OptionField::ImageCount, "10");
  count.type("101");
  EXPECT_EQ(count.editor, "10");
  EXPECT_EQ(count.record.iImageCount, 10);
  count.type("05");
  EXPECT_EQ(count.editor, "0");
  count.editor = "150";
  count.end(TextMovement::Tab);
  EXPECT_EQ(count.editor, "100");
  EXPECT_EQ(count.record.iImageCount, 100);
  EXPECT_EQ(count.globals.goNextTextFiled_Setting, 2);

  Field saver(OptionField::EnergySaver, "");
  FieldResult r = saver.type("99999");  // pasted, maximum 240
  EXPECT_EQ(saver.editor, "9999");
  EXPECT_EQ(saver.record.wEnergySaver, 9999);
  EXPECT_EQ(r.posts, Posts{whichPost(note::kOptionEdgeChange, "EnergeSave")});
  saver.end(TextMovement::BackTab);
  EXPECT_EQ(saver.editor, "240");
  EXPECT_EQ(saver.record.wEnergySaver, 240);
  EXPECT_EQ(saver.globals.goBackNextTextFiled_Settingt, 1);
  saver.type("");
  EXPECT_EQ(saver.record.wEnergySaver, 1);

  Field off(OptionField::PowerOff, "20");
  off.record.wEnergySaver = 15;
  r = off.type("");
  EXPECT_EQ(off.record.wPowerOffTime, 15);  // emptied: the energy saver's time
  EXPECT_EQ(off.editor, "0");
  EXPECT_EQ(r.posts, Posts{whichPost(note::kOptionEdgeChange, "PowerOff")});
}

}  // namespace
}  // namespace ferrolite::dialog
