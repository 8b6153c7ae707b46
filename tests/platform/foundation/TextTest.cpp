// Text files through ICU: the encodings the resources come in, conversions, and the regular
// expression the Image Capture module uses on "lcd_str.loc".
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/TextFile.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace foundation;

std::vector<std::uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

// "[Français]\n1=Scan" with é and ç outside ASCII, in the encodings the cases need.
const std::u16string kText = u"[Fran\u00E7ais]\r\n1=Scann\u00E9";

std::string utf16(std::u16string_view text, bool bigEndian) {
  std::string out;
  for (char16_t c : text) {
    char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

TEST(TextFile, DecodesTheEncodingsResourcesComeIn) {
  const std::string utf8 =
      "[Fran\xC3\xA7"
      "ais]\r\n1=Scann\xC3\xA9";
  std::string utf32le;
  for (char16_t c : kText) {
    utf32le += static_cast<char>(c & 0xFF);
    utf32le += static_cast<char>(c >> 8);
    utf32le += std::string(2, '\0');
  }
  struct Case {
    const char* name;
    std::string bytes;
    const char* encoding;
  } cases[] = {
      {"UTF-8", utf8, "UTF-8"},
      {"UTF-8 with mark", "\xEF\xBB\xBF" + utf8, "UTF-8"},
      {"UTF-16LE with mark", "\xFF\xFE" + utf16(kText, false), "UTF-16LE"},
      {"UTF-16BE with mark", "\xFE\xFF" + utf16(kText, true), "UTF-16BE"},
      {"UTF-32LE with mark", std::string("\xFF\xFE\0\0", 4) + utf32le, "UTF-32LE"},
      {"UTF-16LE without mark", utf16(kText, false), "UTF-16LE"},
      {"UTF-16BE without mark", utf16(kText, true), "UTF-16BE"},
      {"Latin-1",
       "[Fran\xE7"
       "ais]\r\n1=Scann\xE9",
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto decoded = decodeText(bytesOf(c.bytes));
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded->text, kText);
    if (c.encoding) {
      EXPECT_EQ(decoded->encoding, c.encoding);
    }
  }
  auto empty = decodeText({});
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->text.empty());

  // Broken sequences inside a marked file become U+FFFD instead of failing the file.
  auto broken =
      decodeText(bytesOf("\xEF\xBB\xBF"
                         "a\xC3"));
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->text, u"a\uFFFD");
}

TEST(TextFile, ReadsFilesAndNamesTheOneItCannotRead) {
  auto folder = testsupport::freshTestFolder("text");
  std::ofstream(folder / "lcd_str.loc", std::ios::binary) << "\xFF\xFE" << utf16(kText, false);
  auto text = readTextFile(folder / "lcd_str.loc");
  ASSERT_TRUE(text) << text.error();
  EXPECT_EQ(text->text, kText);
  auto missing = readTextFile(folder / "absent.loc");
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("absent.loc"), std::string::npos);
}

TEST(TextFile, EncodesAndConverts) {
  auto le = encodeText(kText, "UTF-16LE");
  ASSERT_TRUE(le) << le.error();
  EXPECT_EQ(std::string(le->begin(), le->end()), utf16(kText, false)) << "no mark";
  auto latin = encodeText(u"caf\u00E9", "ISO-8859-1");
  ASSERT_TRUE(latin);
  EXPECT_EQ(std::string(latin->begin(), latin->end()), "caf\xE9");
  auto lacking = encodeText(u"\u65E5\u672C", "ISO-8859-1");
  EXPECT_FALSE(lacking) << "a character the charset lacks fails";
  EXPECT_FALSE(encodeText(u"x", "no-such-charset"));

  EXPECT_EQ(toUtf8(u"Fran\u00E7ais \U0001F4C4"),
            "Fran\xC3\xA7"
            "ais \xF0\x9F\x93\x84");
  EXPECT_EQ(toUtf16("Fran\xC3\xA7"
                    "ais \xF0\x9F\x93\x84"),
            u"Fran\u00E7ais \U0001F4C4");
  EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD") << "lone surrogate";

  struct Case {
    std::string text;
    bool utf8;
  } cases[] = {{"", true},
               {"plain", true},
               {"\xC3\xA9", true},
               {"\xF0\x9F\x93\x84", true},
               {"\xC3", false},
               {"\xE9t\xE9", false},
               {"\xC0\xAF", false},
               {"\xED\xA0\x80", false},
               {"\xF4\x90\x80\x80", false}};
  for (const Case& c : cases) EXPECT_EQ(isUtf8(c.text), c.utf8) << testing::PrintToString(c.text);
}

TEST(RegularExpression, FindsTheLanguageSectionHeaders) {
  auto headers = RegularExpression::compile(u"\\[.*\\]");
  ASSERT_TRUE(headers) << headers.error();
  std::u16string file =
      u"[English]\r\n1=Scan\r\n2=Stop\r\n[Fran\u00E7ais]\r\n1=Num\u00E9riser\r\n"
      u"3=[not a header\r\n[Deutsch]\r\n";
  EXPECT_EQ(headers->allMatches(file),
            (std::vector<std::u16string>{u"[English]", u"[Fran\u00E7ais]", u"[Deutsch]"}));
  EXPECT_TRUE(headers->allMatches(u"no sections").empty());

  // A pattern that can match nothing still ends, and a bad one says where it is wrong.
  auto maybe = RegularExpression::compile(u"x*");
  ASSERT_TRUE(maybe);
  EXPECT_EQ(maybe->allMatches(u"axxb"), (std::vector<std::u16string>{u"", u"xx", u"", u""}));
  auto bad = RegularExpression::compile(u"[unclosed");
  ASSERT_FALSE(bad);
  EXPECT_NE(bad.error().find("offset"), std::string::npos) << bad.error();
}

}  // namespace
