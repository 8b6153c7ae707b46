#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <latch>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "TestFolder.h"
#include "drv/platform/DbgLog.h"
#include "drv/platform/DbgPrint.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;

struct LogLine {
  std::string pid, tid;
  size_t indent;
  std::string text;
};

// Reads "<hex pid>-<hex thread>:<digits>.<3 digits> : <blanks><text>".
std::optional<LogLine> ParseLine(const std::string& s) {
  size_t at = 0;
  auto span = [&](bool (*in)(char)) {
    size_t from = at;
    while (at < s.size() && in(s[at])) ++at;
    return s.substr(from, at - from);
  };
  auto skip = [&](const char* literal) {
    size_t n = std::strlen(literal);
    bool match = s.compare(at, n, literal) == 0;
    at += match ? n : 0;
    return match;
  };
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  LogLine l;
  l.pid = span(hex);
  if (l.pid.empty() || !skip("-")) return std::nullopt;
  l.tid = span(hex);
  if (l.tid.empty() || !skip(":") || span(digit).empty() || !skip(".") || span(digit).size() != 3 ||
      !skip(" : "))
    return std::nullopt;
  l.indent = span([](char c) { return c == ' '; }).size();
  l.text = s.substr(at);
  if (l.text.find_first_of("\r\n") != std::string::npos) return std::nullopt;
  return l;
}

// Splits a log at "\r\n"; every piece must be a whole prefixed line.
std::vector<LogLine> ParseLog(const std::string& log) {
  std::vector<LogLine> lines;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "log ends without a line end: " << log.substr(at, 80);
      break;
    }
    std::string piece = log.substr(at, end - at);
    if (std::optional<LogLine> l = ParseLine(piece))
      lines.push_back(*l);
    else
      ADD_FAILURE() << "not a log line: " << piece;
    at = end + 2;
  }
  return lines;
}

std::string Hex(uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(v));
  return text;
}

class DbgLog : public ::testing::Test {
 protected:
  fs::path root;

  void SetUp() override {
    root = testsupport::freshTestFolder("dbglog");
    setenv("VANTREL_LOG_ROOT", root.c_str(), 1);
  }

  void TearDown() override {
    TerminateDbg();
    gdwDebugLevel = 0;
    szSavePath[0] = 0;
    szLogFile[0] = 0;
    fs::remove_all(root);
  }

  // "{root}" in the text stands for the test's folder.
  void WriteConf(std::string text) {
    for (size_t at; (at = text.find("{root}")) != std::string::npos;)
      text.replace(at, 6, root.string());
    std::ofstream(root / "Debug.conf", std::ios::binary) << text;
  }

  void Start(const std::string& conf) {
    WriteConf(conf);
    InitializeDbg(nullptr);
  }

  std::vector<LogLine> Log(const fs::path& file = {}) {
    return ParseLog(ReadFile(file.empty() ? root / "KRDrv.txt" : file));
  }

  // The texts of the lines after the environment dump.
  std::vector<std::string> Messages() {
    std::vector<std::string> texts;
    for (const LogLine& l : Log()) texts.push_back(l.text);
    auto dumpEnd = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
      return t.starts_with("CPU frequency : ");
    });
    texts.erase(texts.begin(), dumpEnd == texts.end() ? dumpEnd : dumpEnd + 1);
    return texts;
  }
};

TEST_F(DbgLog, ConfigurationKeysAndDefaults) {
  struct Case {
    const char* name;
    std::optional<std::string> conf;
    uint32_t levelBefore, level;
    const char* folder;  // below the test's folder; "" is the folder itself
    bool buffered;
  };
  const std::string longPath = "SavePath /" + std::string(300, 'p') + "\n";
  const std::string longLine = "Foo " + std::string(1100, 'x') + " DebugLevel 9\n";
  const Case cases[] = {
      {"no file", std::nullopt, 3, 3, "", true},
      {"empty file", "", 0, 0, "", true},
      {"level", "DebugLevel 2\n", 0, 2, "", true},
      {"a later line wins", "DebugLevel 1\nDebugLevel 4\n", 0, 4, "", true},
      {"keys are case-sensitive", "debuglevel 5\nSAVEPATH {root}/sub\n", 3, 3, "", true},
      {"unknown keys and extra words", "Foo 7\nDebugLevel 2 trailing words\n", 0, 2, "", true},
      {"keys without value", "DebugLevel\nSavePath\nBufferedLog\n", 3, 3, "", true},
      {"bad numbers", "DebugLevel -1\nDebugLevel 2x\nBufferedLog no\n", 3, 3, "", true},
      {"tab and CRLF", "DebugLevel\t2\r\n", 0, 2, "", true},
      {"save path with /", "DebugLevel 1\nSavePath {root}/sub/\n", 0, 1, "sub/", true},
      {"save path without /", "DebugLevel 1\nSavePath {root}/sub\n", 0, 1, "sub/", true},
      {"save path too long", "DebugLevel 1\n" + longPath, 0, 1, "", true},
      {"overlong line is one line", longLine, 3, 3, "", true},
      {"unbuffered", "DebugLevel 1\nBufferedLog 0\n", 0, 1, "", false},
      {"buffered by any non-zero", "DebugLevel 1\nBufferedLog 7\n", 0, 1, "", true},
  };
  fs::create_directories(root / "sub");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(root / "Debug.conf");
    if (c.conf) WriteConf(*c.conf);
    gdwDebugLevel = c.levelBefore;
    InitializeDbg(nullptr);

    EXPECT_EQ(gdwDebugLevel, c.level);
    std::string folder = root.string() + "/" + c.folder;
    EXPECT_EQ(std::string(szSavePath), folder);
    EXPECT_EQ(std::string(szLogFile), folder + "KRDrv.txt");
    if (c.level) {
      ASSERT_NE(pDbg, nullptr);
      EXPECT_EQ(pDbg->IsBuffered(), c.buffered);
      DbgPrintf(1, "probe");
      if (!c.buffered) {
        EXPECT_TRUE(ReadFile(folder + "KRDrv.txt").ends_with(" : probe\r\n")) << "written at once";
      }
    }
    TerminateDbg();
    if (c.level) {
      std::string log = ReadFile(folder + "KRDrv.txt");
      EXPECT_NE(log.find("probe\r\n"), std::string::npos);
      fs::remove(folder + "KRDrv.txt");
    }
  }
}

TEST_F(DbgLog, RejectedConfigurationLinesAreLogged) {
  Start("DebugLevel 1\nDebugLevel\nBufferedLog off\nFoo 1\n");
  TerminateDbg();
  std::vector<std::string> m = Messages();
  EXPECT_EQ(m, (std::vector<std::string>{R"(Debug.conf: ignored "DebugLevel")",
                                         R"(Debug.conf: ignored "BufferedLog off")"}));
}

TEST_F(DbgLog, ConfigValueForOtherReaders) {
  WriteConf("LLDScanRealRaw 0\nLLDScanRealRaw 1\nEmpty\n");
  char value[8] = "";
  EXPECT_TRUE(GetDebugConfValue("LLDScanRealRaw", value, sizeof value));
  EXPECT_STREQ(value, "1");
  EXPECT_FALSE(GetDebugConfValue("Empty", value, sizeof value));
  EXPECT_FALSE(GetDebugConfValue("Missing", value, sizeof value));
  EXPECT_FALSE(GetDebugConfValue("LLDScanRealRaw", value, 1)) << "no room";
}

TEST_F(DbgLog, LineFormatAndEnvironmentDump) {
  Start("DebugLevel 1\nBufferedLog 0\n");
  int n = DbgPrintf(1, "hello %d", 42);

  // Unbuffered: the line is in the file as soon as the call returns.
  std::string log = ReadFile(root / "KRDrv.txt");
  size_t start = log.rfind("\r\n", log.size() - 3) + 2;
  std::string last = log.substr(start);
  EXPECT_EQ(n, static_cast<int>(last.size()));
  ASSERT_TRUE(last.ends_with("\r\n"));
  std::optional<LogLine> line = ParseLine(last.substr(0, last.size() - 2));
  ASSERT_TRUE(line) << last;
  EXPECT_EQ(line->pid, Hex(getpid()));
  EXPECT_EQ(line->tid, Hex(static_cast<uint32_t>(pthread_self())));
  EXPECT_EQ(line->indent, 0u);
  EXPECT_EQ(line->text, "hello 42");

  std::vector<LogLine> lines = ParseLog(log);
  const std::vector<std::string> dump = {"============Debug Start============",
                                         "Date: ",
                                         "Process ID: " + std::to_string(getpid()),
                                         "Mac Os X : Version ",
                                         "Physical memory : ",
                                         "User memory : ",
                                         "Machine : ",
                                         "Machine : ",
                                         "CPU count : ",
                                         "Byte order : 1234",
                                         "CPU frequency : "};
  ASSERT_EQ(lines.size(), dump.size() + 1);
  for (size_t i = 0; i < dump.size(); ++i)
    EXPECT_TRUE(lines[i].text.starts_with(dump[i])) << lines[i].text;
  int version[3], end = 0;
  EXPECT_EQ(std::sscanf(lines[3].text.c_str(), "Mac Os X : Version %d.%d.%d%n", &version[0],
                        &version[1], &version[2], &end),
            3);
  EXPECT_EQ(static_cast<size_t>(end), lines[3].text.size());
  const std::string& speed = lines[10].text;
  EXPECT_TRUE(speed.ends_with(" Mhz") && speed[speed.size() - 8] == '.') << speed;
}

TEST_F(DbgLog, LevelFiltering) {
  Start("DebugLevel 1\nBufferedLog 0\n");
  EXPECT_EQ(DbgPrintf(2, "detail"), 0);
  EXPECT_GT(DbgPrintf(1, "ordinary"), 0);
  DbgDump(2, "ab", 2);
  TerminateDbg();
  EXPECT_EQ(Messages(), std::vector<std::string>{"ordinary"});
}

TEST_F(DbgLog, LevelZeroTouchesNoFile) {
  Start("DebugLevel 0\n");
  DbgNewThread(GetCurrentKrThreadId());
  for (uint32_t level : {0u, 1u, 2u}) EXPECT_EQ(DbgPrintf(level, "nothing %u", level), 0);
  DbgDump(0, "abc", 3);
  DbgDelThread(GetCurrentKrThreadId());
  TerminateDbg();
  EXPECT_EQ(DbgPrintf(0, "after the end"), 0);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Debug.conf"});
}

// More than the ring holds, from eight threads at once: every line whole, each thread's
// lines complete and in order, all in the file once the log has ended.
TEST_F(DbgLog, EightWritersOverfillTheRing) {
  Start("DebugLevel 2\n");
  constexpr int kThreads = 8, kLines = 1100;
  const std::string padding(90, '.');
  std::latch registered(kThreads);
  std::vector<std::thread> writers;
  for (int w = 0; w < kThreads; ++w)
    writers.emplace_back([w, &padding, &registered] {
      DbgNewThread(GetCurrentKrThreadId());
      registered.arrive_and_wait();
      for (int i = 0; i < kLines; ++i) DbgPrintf(2, "w%d %05d %s", w, i, padding.c_str());
      DbgDelThread(GetCurrentKrThreadId());
    });
  for (std::thread& t : writers) t.join();
  DbgPrintf(2, "last");
  TerminateDbg();

  std::string log = ReadFile(root / "KRDrv.txt");
  EXPECT_GT(log.size(), size_t{CDbgPrint::kRingSize});
  int next[kThreads] = {};
  std::optional<size_t> indent[kThreads];
  for (const LogLine& l : ParseLog(log)) {
    int w, i;
    char pad[128];
    if (std::sscanf(l.text.c_str(), "w%d %d %127s", &w, &i, pad) != 3) continue;
    ASSERT_TRUE(w >= 0 && w < kThreads) << l.text;
    ASSERT_EQ(i, next[w]) << "thread " << w << " lost or reordered a line";
    EXPECT_EQ(pad, padding);
    ++next[w];
    if (!indent[w]) indent[w] = l.indent;
    EXPECT_EQ(l.indent, *indent[w]);
  }
  for (int w = 0; w < kThreads; ++w) EXPECT_EQ(next[w], kLines) << "thread " << w;
  EXPECT_EQ(Messages().back(), "last");
  // Seven free columns (the creator holds column 0): one writer is left without.
  std::vector<size_t> indents;
  for (auto& i : indent) indents.push_back(i.value_or(999));
  std::sort(indents.begin(), indents.end());
  EXPECT_EQ(indents, (std::vector<size_t>{0, 4, 8, 12, 16, 20, 24, 28}));
}

TEST_F(DbgLog, ThreadColumns) {
  Start("DebugLevel 1\n");
  std::latch release(1);
  std::vector<std::thread> threads;
  // Registered one after another, all alive together: columns 1..7, then none.
  for (int i = 1; i <= 9; ++i) {
    std::promise<void> logged;
    threads.emplace_back([i, &release, &logged] {
      if (i <= 8) DbgNewThread(GetCurrentKrThreadId());
      DbgPrintf(1, "thread %d", i);
      logged.set_value();
      release.wait();
      DbgDelThread(GetCurrentKrThreadId());
    });
    logged.get_future().wait();
  }
  DbgPrintf(1, "creator");
  release.count_down();
  for (std::thread& t : threads) t.join();
  // A freed column is taken again.
  std::thread later([] {
    DbgNewThread(GetCurrentKrThreadId());
    DbgPrintf(1, "later");
  });
  later.join();
  TerminateDbg();

  std::map<std::string, size_t> indent;
  for (const LogLine& l : Log()) indent[l.text] = l.indent;
  for (int i = 1; i <= 7; ++i) EXPECT_EQ(indent["thread " + std::to_string(i)], 4u * i);
  EXPECT_EQ(indent["thread 8"], 0u) << "the ninth registered thread";
  EXPECT_EQ(indent["thread 9"], 0u) << "never registered";
  EXPECT_EQ(indent["creator"], 0u);
  EXPECT_EQ(indent["later"], 4u);
}

char Letter(size_t n) { return static_cast<char>('a' + n % 26); }

// Without prefix the line's length is exact: a body of 253 bytes is the longest whole line.
TEST_F(DbgLog, OverlongLineIsCutKeepingItsLineEnd) {
  for (uint32_t flags : {0u, CDbgPrint::kBuffered}) {
    SCOPED_TRACE(flags);
    fs::path file = root / "cut.txt";
    fs::remove(file);
    {
      CDbgPrint printer(file.c_str(), flags, 1);
      for (size_t length : {253u, 254u, 1000u})
        EXPECT_EQ(printer.Printf(1, "%s", std::string(length, Letter(length)).c_str()), 255);
      EXPECT_EQ(printer.Print(1, "100% sure"), 11);
    }
    std::string expected = std::string(253, Letter(253)) + "\r\n" + std::string(253, Letter(254)) +
                           "\r\n" + std::string(253, Letter(1000)) + "\r\n100% sure\r\n";
    EXPECT_EQ(ReadFile(file), expected);
  }
  // With prefix and indentation the whole line still stops at 255 bytes.
  Start("DebugLevel 1\nBufferedLog 0\n");
  EXPECT_EQ(DbgPrintf(1, "%s", std::string(400, 'z').c_str()), 255);
  DbgPrintf(1, "next");
  TerminateDbg();
  std::string log = ReadFile(root / "KRDrv.txt");
  EXPECT_NE(log.find(std::string(10, 'z') + "\r\n"), std::string::npos);
  EXPECT_EQ(Messages().back(), "next");
}

// A writer that finds the printer gone writes straight to the file instead of waiting.
TEST_F(DbgLog, WriterDoesNotWaitForAGonePrinter) {
  fs::path file = root / "gone.txt";
  CDbgPrint printer(file.c_str(), CDbgPrint::kBuffered, 1);
  constexpr int kLines = 6000;  // 600,000 bytes: more than the ring
  for (int i = 0; i < kLines; ++i) {
    if (i == 10) printer.StopPrinter();
    printer.Printf(1, "%05d %092d", i, 0);
  }
  std::string log = ReadFile(file);
  ASSERT_EQ(log.size(), size_t{100} * kLines);
  for (int i = 0; i < kLines; i += 997) EXPECT_EQ(std::stoi(log.substr(100 * i, 5)), i);
}

TEST_F(DbgLog, DumpRows) {
  Start("DebugLevel 1\nBufferedLog 0\n");
  uint8_t data[20];
  for (uint8_t i = 0; i < 20; ++i) data[i] = i;
  DbgDump(1, data, 20);
  DbgDump(1, data, 0);
  TerminateDbg();
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"0000 : 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f ",
                                      "0010 : 10 11 12 13 "}));
}

TEST_F(DbgLog, RawDumpFiles) {
  AppendDebugRawFile("early.raw", reinterpret_cast<const uint8_t*>("x"), 1);
  EXPECT_FALSE(fs::exists("early.raw")) << "no save folder before the start";

  fs::create_directories(root / "raw");
  Start("DebugLevel 1\nSavePath {root}/raw\n");
  const uint8_t bytes[] = {0, 1, 2, 0xff};
  AppendDebugRawFile("a.raw", bytes, 4);
  AppendDebugRawFile("a.raw", bytes, 2);
  EXPECT_EQ(ReadFile(root / "raw/a.raw"), std::string("\0\1\2\xff\0\1", 6));
  DeleteDebugRawFile("a.raw");
  EXPECT_FALSE(fs::exists(root / "raw/a.raw"));
  DeleteDebugRawFile("a.raw");

  std::string tooLong(600, 'n');
  AppendDebugRawFile(tooLong.c_str(), bytes, 4);
  AppendDebugRawFile("missing/dir.raw", bytes, 4);
  EXPECT_FALSE(fs::exists(root / "raw/missing"));
}

TEST_F(DbgLog, SecondInitializeDoesNothing) {
  Start("DebugLevel 1\n");
  CDbgPrint* first = pDbg;
  fs::create_directories(root / "other");
  WriteConf("DebugLevel 5\nSavePath {root}/other\n");
  InitializeDbg(nullptr);
  EXPECT_EQ(pDbg, first);
  EXPECT_EQ(gdwDebugLevel, 1u);
  EXPECT_EQ(std::string(szSavePath), root.string() + "/");

  TerminateDbg();
  InitializeDbg(nullptr);
  EXPECT_EQ(gdwDebugLevel, 5u);
  EXPECT_EQ(std::string(szSavePath), (root / "other/").string());
}

TEST_F(DbgLog, PrintfWithoutPrinterAppendsPlainLines) {
  gdwDebugLevel = 1;
  EXPECT_EQ(DbgPrintf(1, "before any start"), 0) << "no log file named yet";

  Start("DebugLevel 1\n");
  DbgPrintf(1, "inside");
  TerminateDbg();
  EXPECT_EQ(DbgPrintf(1, "after %d", 7), 7);
  EXPECT_EQ(DbgPrintf(2, "filtered"), 0);
  std::string log = ReadFile(root / "KRDrv.txt");
  EXPECT_TRUE(log.ends_with(" : inside\r\nafter 7\n")) << log.substr(log.size() - 40);
}

}  // namespace
