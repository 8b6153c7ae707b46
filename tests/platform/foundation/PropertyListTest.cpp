// Property-list trees and files: every value kind through XML and binary files, the typed
// getters, malformed files, values the files cannot carry, and the atomic write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <string>

#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace foundation;
namespace fs = std::filesystem;

Date dateAt(std::int64_t unixSeconds) { return Date(std::chrono::seconds(unixSeconds)); }

Data allBytes() {
  Data d;
  for (int i = 0; i < 256; ++i) d.push_back(static_cast<std::uint8_t>(i));
  return d;
}

// One of every kind, with the edges each kind has.
Dictionary everyKind() {
  Dictionary inner;
  inner.set("empty array", Array{});
  inner.set("empty dictionary", Dictionary{});
  inner.set("nested", Array{Value(Array{1, "two", 3.5}), Value(Dictionary{})});

  Dictionary d;
  d.set("true", true);
  d.set("false", false);
  d.set("zero", 0);
  d.set("negative", -1025);
  d.set("u32 max", std::uint32_t{0xFFFFFFFF});
  d.set("i64 min", std::numeric_limits<std::int64_t>::min());
  d.set("i64 max", std::numeric_limits<std::int64_t>::max());
  d.set("gamma", 1.8);
  d.set("negative real", -0.5);
  d.set("tiny real", 1e-300);
  d.set("string", "Ferrolite");
  d.set("empty string", "");
  d.set("markup", "<key>&\"quotes\"' </plist>");
  d.set("unicode", "Français 日本語 \xF0\x9F\x93\x84");
  d.set("data", allBytes());
  d.set("empty data", Data{});
  d.set("epoch 2001", dateAt(978307200));
  d.set("epoch 1970", dateAt(0));
  d.set("after 2038", dateAt(2500000000));
  d.set("inner", inner);
  d.set("array", Array{true, 7, 2.25, "x", Data{1, 2}, dateAt(1700000000)});
  return d;
}

class PropertyListFiles : public ::testing::Test {
 protected:
  fs::path folder = testsupport::freshTestFolder("plist");
};

TEST_F(PropertyListFiles, EveryKindSurvivesXmlAndBinaryFiles) {
  const Dictionary original = everyKind();
  fs::path xml = folder / "every.plist";
  ASSERT_TRUE(writePropertyList(xml, original)) << "XML write";
  std::ifstream in(xml);
  std::string head;
  std::getline(in, head);
  EXPECT_EQ(head.rfind("<?xml", 0), 0u) << "written as XML";

  auto back = readDictionaryFile(xml);
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(*back, original);

  auto binary = serializePropertyList(original, PlistFormat::binary);
  ASSERT_TRUE(binary) << binary.error();
  EXPECT_EQ(std::string(binary->begin(), binary->begin() + 6), "bplist");
  fs::path bin = folder / "every-binary.plist";
  ASSERT_TRUE(writeFileAtomically(bin, *binary));
  auto fromBinary = readDictionaryFile(bin);
  ASSERT_TRUE(fromBinary) << fromBinary.error();
  EXPECT_EQ(*fromBinary, original);

  // A top level of another kind than a dictionary is a property list too.
  ASSERT_TRUE(writePropertyList(folder / "array.plist", Array{"a", 1}));
  auto array = readPropertyList(folder / "array.plist");
  ASSERT_TRUE(array);
  EXPECT_EQ(*array, Value(Array{"a", 1}));
}

TEST(PropertyListValues, TypedGettersTellMissingFromOtherKind) {
  Dictionary d = everyKind();
  // Numbers answer every numeric getter; other kinds do not.
  EXPECT_EQ(*d.integer("negative"), -1025);
  EXPECT_EQ(*d.integer("u32 max"), 0xFFFFFFFF);
  EXPECT_EQ(*d.integer("gamma"), 1);  // cut toward zero
  EXPECT_EQ(*d.integer("negative real"), 0);
  EXPECT_EQ(*d.integer("true"), 1);
  EXPECT_DOUBLE_EQ(*d.real("gamma"), 1.8);
  EXPECT_DOUBLE_EQ(*d.real("negative"), -1025.0);
  EXPECT_TRUE(*d.boolean("negative"));
  EXPECT_FALSE(*d.boolean("zero"));
  EXPECT_EQ(*d.string("string"), "Ferrolite");
  EXPECT_EQ(d.data("data")->size(), 256u);
  EXPECT_EQ(*d.date("epoch 1970"), dateAt(0));
  EXPECT_EQ(d.array("array")->size(), 6u);
  EXPECT_TRUE(d.dictionary("inner")->contains("nested"));

  struct Case {
    const char* key;
    Found integer, string, dictionary;
  } cases[] = {
      {"absent", Found::missing, Found::missing, Found::missing},
      {"string", Found::otherKind, Found::yes, Found::otherKind},
      {"gamma", Found::yes, Found::otherKind, Found::otherKind},
      {"data", Found::otherKind, Found::otherKind, Found::otherKind},
      {"inner", Found::otherKind, Found::otherKind, Found::yes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(d.integer(c.key).status(), c.integer);
    EXPECT_EQ(d.string(c.key).status(), c.string);
    EXPECT_EQ(d.dictionary(c.key).status(), c.dictionary);
  }
  EXPECT_EQ(d.integer("string").valueOr(42), 42);
  EXPECT_EQ(d.string("absent").valueOr("fallback"), "fallback");
  // A real beyond the 64-bit range is held at its end, not undefined.
  Value huge(1e300);
  EXPECT_EQ(*huge.integer(), std::numeric_limits<std::int64_t>::max());
}

TEST(PropertyListValues, TreesAreValuesAndEditInPlace) {
  Dictionary settings;
  settings.ensureDictionary("Default").set("Language", 3);
  Dictionary copy = settings;
  copy.editDictionary("Default")->set("Language", 7);
  EXPECT_EQ(*settings.dictionary("Default")->integer("Language"), 3) << "copies are deep";
  EXPECT_EQ(*copy.dictionary("Default")->integer("Language"), 7);

  // A key of another kind is replaced by an empty container, never edited as one.
  settings.set("Model", "text");
  EXPECT_EQ(settings.editDictionary("Model"), nullptr);
  settings.ensureDictionary("Model").set("SaveSetting", 0);
  EXPECT_EQ(*settings.dictionary("Model")->integer("SaveSetting"), 0);
  settings.ensureArray("list").push_back("one");
  EXPECT_EQ(settings.array("list")->size(), 1u);

  EXPECT_TRUE(settings.remove("Model"));
  EXPECT_FALSE(settings.remove("Model"));
  EXPECT_EQ(settings.keys(), (std::vector<std::string>{"Default", "list"}));

  // Assigning a value its own part, and reading a value moved from.
  Value tree(Array{Value(Array{"inner"}), 2});
  tree = (*tree.array())[0];
  EXPECT_EQ(tree, Value(Array{"inner"}));
  Value moved = std::move(tree);
  EXPECT_EQ(tree.kind(), Kind::boolean);  // NOLINT: a value moved from is defined
  EXPECT_EQ(moved.array()->size(), 1u);
}

TEST_F(PropertyListFiles, MalformedFilesGiveAClearError) {
  auto valid = serializePropertyList(everyKind(), PlistFormat::binary);
  ASSERT_TRUE(valid);
  std::string binary(valid->begin(), valid->end());
  // A UTF-16 key that declares a zero character inside: the library would abort on it.
  Dictionary zeroKey;
  zeroKey.set("aX\xC3\xA9", 1);
  auto zeroKeyBytes = serializePropertyList(zeroKey, PlistFormat::binary);
  ASSERT_TRUE(zeroKeyBytes);
  std::string zeroKeyFile(zeroKeyBytes->begin(), zeroKeyBytes->end());
  zeroKeyFile[zeroKeyFile.find(std::string("\0X", 2)) + 1] = '\0';
  std::string deep;
  for (int i = 0; i <= kMaxPlistNesting + 1; ++i) deep += "<array>";
  for (int i = 0; i <= kMaxPlistNesting + 1; ++i) deep += "</array>";

  struct Case {
    const char* name;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"empty", "", "is empty"},
      {"text", "DebugLevel 3\n", "is not a property list"},
      {"cut XML", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>",
       "is not a property list"},
      {"cut binary", binary.substr(0, binary.size() / 2), "is not a property list"},
      {"binary header only", "bplist00", "is not a property list"},
      {"binary with garbage", "bplist00" + std::string(64, '\xEE'), "is not a property list"},
      {"zero in a key", zeroKeyFile, "holds a string with a zero character"},
      {"deep", "<plist version=\"1.0\">" + deep + "</plist>", "nested deeper"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path file = folder / "bad.plist";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.bytes;
    auto read = readPropertyList(file);
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().find(c.error), std::string::npos) << read.error();
    EXPECT_NE(read.error().find(file.string()), std::string::npos) << "names the file";
  }

  // Each byte of a valid binary file flipped in turn: errors or values, never a crash.
  for (std::size_t i = 0; i < binary.size(); ++i) {
    Data mutated(valid->begin(), valid->end());
    mutated[i] ^= 0xA5;
    auto parsed = parsePropertyList(mutated);
    if (!parsed) {
      EXPECT_FALSE(parsed.error().empty());
    }
  }

  auto missing = readPropertyList(folder / "absent.plist");
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.error().find("No such file"), std::string::npos) << missing.error();
  auto aFolder = readPropertyList(folder);
  EXPECT_NE(aFolder.error().find("not a regular file"), std::string::npos) << aFolder.error();
  // A pipe in place of the file is refused at once instead of waiting for a writer.
  ASSERT_EQ(mkfifo((folder / "pipe.plist").c_str(), 0600), 0);
  auto pipe = readPropertyList(folder / "pipe.plist");
  EXPECT_NE(pipe.error().find("not a regular file"), std::string::npos) << pipe.error();

  ASSERT_TRUE(writePropertyList(folder / "array.plist", Array{1}));
  auto notDictionary = readDictionaryFile(folder / "array.plist");
  EXPECT_NE(notDictionary.error().find("holds array where a dictionary was expected"),
            std::string::npos)
      << notDictionary.error();
}

TEST_F(PropertyListFiles, ValuesTheFileCannotCarryFailTheWriteAndKeepTheOldFile) {
  fs::path file = folder / "krscan.plist";
  Dictionary good;
  good.set("Language", 1);
  ASSERT_TRUE(writePropertyList(file, good));

  struct Case {
    const char* name;
    Value value;
    const char* error;
  } cases[] = {
      {"not UTF-8", "caf\xE9", "not UTF-8"},
      {"zero byte", std::string("a\0b", 3), "zero byte"},
      {"infinite", std::numeric_limits<double>::infinity(), "not finite"},
      {"not a number", std::numeric_limits<double>::quiet_NaN(), "not finite"},
      {"date too late", dateAt(978307200 + (std::int64_t{1} << 31)), "date"},
      {"deep inside", Array{Value(Dictionary{}), Value("caf\xE9")}, "not UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dictionary bad = good;
    bad.set("value", c.value);
    Status s = writePropertyList(file, bad);
    ASSERT_FALSE(s);
    EXPECT_NE(s.error().find(c.error), std::string::npos) << s.error();
    EXPECT_EQ(*readDictionaryFile(file), good);
  }
  Dictionary badKey;
  badKey.set("caf\xE9", 1);
  EXPECT_FALSE(writePropertyList(file, badKey));
}

TEST_F(PropertyListFiles, AtomicWriteKeepsTheModeAndLeavesNothingBehind) {
  fs::path file = folder / "profile.plist";
  ASSERT_TRUE(writePropertyList(file, Dictionary{}));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  Dictionary next;
  next.set("A", Dictionary{});
  ASSERT_TRUE(writePropertyList(file, next));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(*readDictionaryFile(file), next);

  Status s = writePropertyList(folder / "no-such-folder" / "x.plist", next);
  ASSERT_FALSE(s);
  EXPECT_NE(s.error().find("no-such-folder"), std::string::npos) << s.error();

  // A folder where the file should be: the rename fails and the temporary file goes.
  fs::create_directories(folder / "occupied.plist" / "inside");
  EXPECT_FALSE(writePropertyList(folder / "occupied.plist", next));

  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"occupied.plist", "profile.plist"}));
}

// The log's day check reads the creation date: a later change of the file must not move it where
// the file system keeps a birth time.
TEST_F(PropertyListFiles, CreationDateIsTheBirthTimeElseTheModification) {
  using namespace std::chrono;
  fs::path file = folder / "twainlog.txt";
  std::ofstream(file) << "x";
  const auto made = fileCreationDate(file);
  ASSERT_TRUE(made) << made.error();
  EXPECT_LT(abs(duration_cast<seconds>(system_clock::now() - *made).count()), 60);

  const auto past = fs::file_time_type::clock::now() - hours(72);
  fs::last_write_time(file, past);
  struct statx info {};
  ASSERT_EQ(::statx(AT_FDCWD, file.c_str(), 0, STATX_BTIME, &info), 0);
  const auto after = fileCreationDate(file);
  ASSERT_TRUE(after);
  if (info.stx_mask & STATX_BTIME) {
    EXPECT_EQ(*after, *made);
  } else {
    EXPECT_EQ(duration_cast<seconds>(after->time_since_epoch()),
              duration_cast<seconds>(fs::file_time_type::clock::to_sys(past).time_since_epoch()));
  }

  const auto missing = fileCreationDate(folder / "missing.txt");
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("missing.txt"), std::string::npos) << missing.error();
}

}  // namespace
