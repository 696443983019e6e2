#include "core/Logger.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>
#include <stdexcept>
#include <thread>

#include "core/Clock.h"
#include "core/LogUnit.h"
#include "core/QV_NumberText.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {
const std::string kStars(57, '*');

std::vector<std::string> SplitLines(const std::string& text) { return SplitTextList(text, "\r\n"); }

std::vector<std::string> FileLines(const std::string& path) { return SplitLines(ReadWholeFile(path)); }

// The text of a log line, behind its 22-character prefix.
std::string TextOf(const std::string& line) { return line.size() >= 22 ? line.substr(22) : line; }

std::vector<std::string> TextsOf(const std::vector<std::string>& lines) {
  std::vector<std::string> texts;
  for (const auto& line : lines) texts.push_back(TextOf(line));
  return texts;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> FileNamesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

size_t CountLinesStartingWith(const std::vector<std::string>& texts, const std::string& prefix) {
  return std::count_if(texts.begin(), texts.end(), [&](const std::string& t) { return StartsWith(t, prefix); });
}

// The lines a caller wrote, without the logger's own opening, limit and closing lines.
std::vector<std::string> UserTexts(const std::string& path) {
  std::vector<std::string> texts;
  for (const auto& text : TextsOf(FileLines(path)))
    if (StartsWith(text, "line ")) texts.push_back(text);
  return texts;
}

std::string Numbered(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "line %04d", n);
  return buffer;
}

class LoggerTest : public ::testing::Test {
 protected:
  TTempDir dir;
  TManualClock clock;
};
}  // namespace

TEST_F(LoggerTest, PrefixShowsTimeAndThreadOnlyWhenTheyChange) {
  const std::string file = dir.File("layout.txt");
  {
    TLogger log(0, clock);
    log.SetLogFileName(file, false);
    log.LogIt("first");
    log.LogIt("same millisecond");
    clock.Advance(1ms);
    log.LogIt("next millisecond");
    clock.Advance(1ms);
    log.LogIt("before other thread");
    std::thread([&] { log.LogIt("other thread"); }).join();
  }
  const auto lines = FileLines(file);
  ASSERT_GE(lines.size(), 8u);
  const std::regex full(R"(\d\d:\d\d:\d\d\.\d{3} [0-9A-F]{8} \d.* Log file opened: .*)");
  EXPECT_TRUE(std::regex_match(lines[0], full)) << lines[0];
  EXPECT_EQ(lines[2], std::string(22, ' ') + "first");
  EXPECT_EQ(lines[3], std::string(22, ' ') + "same millisecond");
  EXPECT_TRUE(std::regex_match(lines[4], std::regex(R"(\d\d:\d\d:\d\d\.\d{3} {10}next millisecond)")))
      << lines[4];
  const std::string mainThread = lines[0].substr(13, 8);
  const std::string otherThread = lines[6].substr(13, 8);
  EXPECT_EQ(lines[6].substr(0, 13), std::string(13, ' ')) << "same millisecond: time column blank";
  EXPECT_TRUE(std::regex_match(otherThread, std::regex("[0-9A-F]{8}")));
  EXPECT_NE(otherThread, mainThread);
  EXPECT_EQ(lines[6].substr(21), " other thread");
  EXPECT_EQ(lines[1].substr(13, 8), std::string(8, ' ')) << "opening lines share one prefix";
  for (const auto& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST_F(LoggerTest, OpeningAndClosingLines) {
  const std::string file = dir.File("open.txt");
  {
    TLogger log(7, clock);
    log.SetHeaderLines({"VTA-App: header", ""});
    log.SetLogFileName(file, true);
    log.LogError("something");
    log.SetLogFileName("", false);
    EXPECT_FALSE(log.LogEnabled());
    EXPECT_EQ(log.InternLogFileName(), "");
  }
  const auto texts = TextsOf(FileLines(file));
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_TRUE(std::regex_match(texts[0], std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d Log file opened: )" +
                                                    file)))
      << texts[0];
  EXPECT_EQ(texts[1], "ID=7, SizeLimit=0, Type=logUnlimited, errorLog=True");
  EXPECT_EQ(texts[2], "VTA-App: header");
  EXPECT_EQ(texts[3], "");
  EXPECT_EQ(texts[4], "ERROR: something");
  EXPECT_TRUE(std::regex_match(texts[5], std::regex(R"(Log file closed, \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)")));
}

TEST_F(LoggerTest, OpeningLineShowsTheEffectiveLimit) {
  struct Case {
    TLogLimitType type;
    uint32_t size;
    const char* expected;
  };
  const Case cases[] = {
      {logUnlimited, 5000, "SizeLimit=0, Type=logUnlimited"},
      {logOverwrite, 0, "SizeLimit=20971520, Type=logOverwrite"},
      {logCreateNew, 0, "SizeLimit=20971520, Type=logCreateNew"},
      {logCreateNew, 4096, "SizeLimit=4096, Type=logCreateNew"},
  };
  for (const Case& c : cases) {
    TLogger log(1, clock);
    log.SetLimit(c.type, c.size);
    log.SetLogFileName(dir.File("limit.txt"), false);
    const auto texts = TextsOf(FileLines(log.InternLogFileName()));
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[1], std::string("ID=1, ") + c.expected + ", errorLog=False") << c.expected;
    log.SetLogFileName("", false);
  }
}

TEST_F(LoggerTest, AppendContinuesTheLineAndNewLineEndsIt) {
  const std::string file = dir.File("append.txt");
  {
    TLogger log(0, clock);
    log.SetLogFileName(file, false);
    log.LogIt("a");
    log.LogAppend("b");
    log.LogAppend("c");
    log.LogNewLine();
    log.LogNewLine();
    log.LogAppend("d");
    log.LogIt("e");
  }
  const auto texts = TextsOf(FileLines(file));
  ASSERT_GE(texts.size(), 6u);
  EXPECT_EQ(texts[2], "a");
  EXPECT_EQ(texts[3], "bc");
  EXPECT_EQ(texts[4], "d");
  EXPECT_EQ(texts[5], "e");
}

TEST_F(LoggerTest, CreateNewRotatesBySizeWithoutLosingOrTruncating) {
  // All rotations fall into the same second, so every stamp is equal: the names must still differ.
  TLogger log(2, clock);
  log.SetLimit(logCreateNew, 400);
  log.SetLogFileName(dir.File("debug.txt"), false);
  std::vector<std::string> files{log.InternLogFileName()};
  std::vector<std::string> written;
  for (int i = 0; i < 40; ++i) {
    written.push_back(Numbered(i));
    log.LogIt(written.back());
    if (log.InternLogFileName() != files.back()) files.push_back(log.InternLogFileName());
  }
  log.SetLogFileName("", false);

  ASSERT_GE(files.size(), 4u);
  const std::regex stamped(R"(debug_\d{8}_\d{6}(_\d+)?\.txt)");
  std::vector<std::string> collected;
  for (const auto& f : files) {
    EXPECT_TRUE(std::regex_match(std::filesystem::path(f).filename().string(), stamped)) << f;
    for (const auto& t : UserTexts(f)) collected.push_back(t);
  }
  EXPECT_EQ(collected, written);
  EXPECT_EQ(FileNamesIn(dir.Path()).size(), files.size());

  const auto first = TextsOf(FileLines(files[0]));
  ASSERT_GE(first.size(), 3u);
  EXPECT_TRUE(StartsWith(first[first.size() - 3], "LogSizeLimit (400) reached "));
  EXPECT_EQ(first[first.size() - 2], "Continue in next Log file: " + files[1]);
  EXPECT_TRUE(StartsWith(first.back(), "Log file closed, "));
  const auto second = TextsOf(FileLines(files[1]));
  EXPECT_NE(second[0].find(" Log file opened: " + files[1]), std::string::npos);
}

TEST_F(LoggerTest, BufferedLinesReachTheFileWithoutClosingIt) {
  struct Case {
    const char* name;
    std::function<void(TLogger&)> action;
    size_t linesOnDisk;
  };
  const Case cases[] = {
      {"an error line", [](TLogger& log) { log.LogError("line broken"); }, 2},
      {"a second later", [this](TLogger& log) { clock.Advance(1s); log.LogIt("line 2"); }, 2},
      {"flush", [](TLogger& log) { log.Flush(); }, 1},
      {"file name asked", [](TLogger& log) { log.InternLogFileName(); }, 1},
      {"buffer full", [](TLogger& log) { for (int i = 0; i < 100; ++i) log.LogIt(Numbered(i) + std::string(60, 'x')); }, 60},
  };
  for (const Case& c : cases) {
    TTempDir folder;
    const std::string file = folder.File("buffered.txt");
    TLogger log(0, clock);
    log.SetLogFileName(file, false);
    log.LogIt("line 1");
    c.action(log);
    // Read behind the logger's back, as a crash would leave the file.
    size_t lines = 0;
    for (const auto& text : TextsOf(FileLines(file))) lines += text.find("line ") != std::string::npos;
    EXPECT_GE(lines, c.linesOnDisk) << c.name;
  }
}

TEST_F(LoggerTest, ExistingFileIsNeverTruncated) {
  const std::string file = dir.File("kept.txt");
  WriteWholeFile(file, "someone's log\r\n");
  TLogger log(0, clock);
  log.SetLogFileName(file, false);
  EXPECT_EQ(log.InternLogFileName(), dir.File("kept_1.txt"));
  log.LogIt("line 1");
  // Changed limits reopen under the same name: again a fresh file.
  log.SetLimit(logOverwrite, 0);
  log.SetLogFileName(file, false);
  EXPECT_EQ(log.InternLogFileName(), dir.File("kept_2.txt"));
  log.SetLogFileName("", false);
  EXPECT_EQ(ReadWholeFile(file), "someone's log\r\n");
  EXPECT_EQ(UserTexts(dir.File("kept_1.txt")), std::vector<std::string>{"line 1"});
}

TEST_F(LoggerTest, OverwriteWrapsToTheStartAndClosesWithTheAsteriskBlock) {
  const std::string file = dir.File("ring.txt");
  {
    TLogger log(0, clock);
    log.SetLimit(logOverwrite, 600);
    log.SetLogFileName(file, false);
    for (int i = 0; i < 50; ++i) {
      log.LogIt(Numbered(i));
      clock.Advance(1ms);
    }
    EXPECT_EQ(log.InternLogFileName(), file);
    log.SetLogFileName("", false);
  }
  const std::string content = ReadWholeFile(file);
  EXPECT_LT(content.size(), 1200u);
  const auto lines = FileLines(file);
  EXPECT_TRUE(StartsWith(TextOf(lines[0]), "Log file overwritten: " + file + ", ")) << lines[0];
  const size_t block = content.find("\r\n" + kStars + "\r\n" + kStars + "\r\n");
  ASSERT_NE(block, std::string::npos);
  const auto tail = SplitLines(content.substr(block + 2));
  ASSERT_GE(tail.size(), 5u);
  EXPECT_TRUE(StartsWith(TextOf(tail[2]), "Log file closed, "));
  EXPECT_EQ(tail[3], kStars);
  EXPECT_EQ(tail[4], kStars);
  // The newest line sits right before the block.
  EXPECT_EQ(TextOf(SplitLines(content.substr(0, block)).back()), Numbered(49));
}

TEST_F(LoggerTest, ClosingDeletesFilesWithoutContentOrWithoutErrorsInErrorOnlyMode) {
  enum Write { nothing, line, error, append };
  struct Case {
    Write write;
    bool errorOnly;
    bool survives;
  };
  const Case cases[] = {
      {nothing, false, false}, {nothing, true, false}, {line, false, true},
      {line, true, false},     {error, true, true},    {append, false, true},
  };
  for (const Case& c : cases) {
    TLogger log(0, clock);
    log.SetHeaderLines({"header"});
    log.SetLogFileName(dir.File("close.txt"), c.errorOnly);
    const std::string file = log.InternLogFileName();
    if (c.write == line) log.LogIt("text");
    if (c.write == error) log.LogError("text");
    if (c.write == append) log.LogAppend("text");
    log.SetLogFileName("", false);
    EXPECT_EQ(Exists(file), c.survives) << "case " << c.write << "/" << c.errorOnly;
    std::filesystem::remove(file);
  }
}

TEST_F(LoggerTest, ErrorOnlyLogKeepsFilesWithErrorsAndTheirSuccessor) {
  TLogger log(3, clock);
  log.SetLimit(logCreateNew, 0);
  log.SetLogFileName(dir.File("dbg.txt"), true);
  const std::string f1 = log.InternLogFileName();
  log.LogIt("quiet");
  clock.Advance(30min);
  log.LogIt("still quiet");
  EXPECT_EQ(log.InternLogFileName(), f1) << "exactly half an hour is not yet over";

  clock.Advance(1ms);
  log.LogIt("cut");
  const std::string f2 = log.InternLogFileName();
  EXPECT_NE(f2, f1);
  EXPECT_FALSE(Exists(f1)) << "error-free file deleted at the cut";
  EXPECT_EQ(CountLinesStartingWith(TextsOf(FileLines(f2)), "Previous logfile deleted: " + f1), 1u);

  log.LogError("boom");
  clock.Advance(31min);
  log.LogIt("after the error");
  const std::string f3 = log.InternLogFileName();
  const auto f2Texts = TextsOf(FileLines(f2));
  EXPECT_EQ(CountLinesStartingWith(f2Texts, "LogTimeLimit (half an hour) reached "), 1u);
  EXPECT_EQ(CountLinesStartingWith(f2Texts, "keep Previous logfile: " + f1 +
                                                " ErrorOccurred: actual=True Previous=False"),
            1u);

  clock.Advance(31min);
  log.LogIt("calm again");
  const std::string f4 = log.InternLogFileName();
  clock.Advance(31min);
  log.LogIt("still calm");
  const std::string f5 = log.InternLogFileName();
  log.SetLogFileName("", false);

  EXPECT_TRUE(Exists(f2)) << "file with an error survives";
  EXPECT_TRUE(Exists(f3)) << "its successor survives too";
  EXPECT_FALSE(Exists(f4));
  EXPECT_FALSE(Exists(f5));
  EXPECT_EQ(FileNamesIn(dir.Path()).size(), 2u);
}

TEST_F(LoggerTest, ExceptionRecordDumpsTheRingOldestFirst) {
  struct Case {
    int linesBefore;
    const char* firstDumped;
  };
  // 1005 lines + 3 exception lines keep the newest 1000: "line 0008" onwards.
  const Case cases[] = {{2, "line 0000"}, {1005, "line 0008"}};
  for (const Case& c : cases) {
    TTempDir dumps;
    const std::string folder = dumps.Path() + "nested/dumps";
    TLogger log(4, clock);
    log.SetSaveEnabled(true);
    log.SetSavePath(folder);
    EXPECT_EQ(log.SavePath(), folder + "/");
    for (int i = 0; i < c.linesBefore; ++i) log.LogIt(Numbered(i));
    log.LogException("failed", std::runtime_error("bad value"));

    const auto names = FileNamesIn(folder);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(ExceptionLog_4_\d{8}_\d{6}\.\d{3}\.txt)"))) << names[0];
    const auto texts = TextsOf(FileLines(folder + "/" + names[0]));
    ASSERT_EQ(texts.size(), static_cast<size_t>(std::min(c.linesBefore + 3, 1000)));
    EXPECT_EQ(texts.front(), c.firstDumped);
    EXPECT_TRUE(std::is_sorted(texts.begin(), texts.end() - 3));
    EXPECT_EQ(texts[texts.size() - 3], "ERROR: failed");
    EXPECT_EQ(texts[texts.size() - 2], "EXCEP: std::runtime_error bad value");
    EXPECT_TRUE(StartsWith(texts.back(), "STACK: "));
  }
}

TEST_F(LoggerTest, ExceptionWithAnOpenFileGoesIntoTheFile) {
  TLogger log(0, clock);
  log.SetSaveEnabled(true);
  log.SetSavePath(dir.Path() + "dumps");
  log.SetLogFileName(dir.File("log.txt"), true);
  log.LogException("failed", std::out_of_range("index 3"));
  log.SetLogFileName("", false);
  const auto texts = TextsOf(FileLines(dir.File("log.txt")));
  EXPECT_EQ(CountLinesStartingWith(texts, "EXCEP: std::out_of_range index 3"), 1u);
  EXPECT_TRUE(FileNamesIn(dir.Path() + "dumps").empty());
}

TEST_F(LoggerTest, UnopenableFileLeavesTheLoggerWithoutFile) {
  TLogger log(0, clock);
  const std::string file = dir.File("missing/folder/log.txt");
  log.SetLogFileName(file, false);
  EXPECT_FALSE(log.LogEnabled());
  EXPECT_EQ(log.ErrorMsg(), "Logfile not created: " + file);
  EXPECT_EQ(log.LogFileName(), "");
  log.SetLogFileName(dir.File("log.txt"), false);
  EXPECT_TRUE(log.LogEnabled());
  EXPECT_EQ(log.ErrorMsg(), "");
}

TEST_F(LoggerTest, FailedWriteIsReportedOnceAndTheFileDropped) {
  // A file size limit makes writes beyond 2000 bytes fail with EFBIG.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  TLogger log(0, clock);
  log.SetLogFileName(dir.File("full.txt"), false);
  rlimit small = saved;
  small.rlim_cur = 2000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 100; ++i) log.LogIt(Numbered(i) + std::string(60, 'x'));
  const std::string stderrText = testing::internal::GetCapturedStderr();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(log.LogEnabled());
  const std::string report = "Log file " + dir.File("full.txt") + " dropped: write failed";
  EXPECT_NE(stderrText.find(report), std::string::npos) << stderrText;
  EXPECT_EQ(stderrText.find(report), stderrText.rfind(report)) << "reported once";
  // Setting the name again starts a fresh file beside the broken one.
  log.SetLogFileName(dir.File("full.txt"), false);
  EXPECT_TRUE(log.LogEnabled());
  EXPECT_EQ(log.InternLogFileName(), dir.File("full_1.txt"));
}

class LogRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLoggerClock(&clock); }
  void TearDown() override { SetLoggerClock(nullptr); }
  TTempDir dir;
  TManualClock clock;
};

TEST_F(LogRegistryTest, UnknownIdsDoNothing) {
  const int id = CreateLogger();
  EXPECT_GE(id, 0);
  EXPECT_EQ(CreateLogger(), id + 1);
  for (int bad : {-1, -5, id + 1000}) {
    LogFileName(bad, dir.File("never.txt"), false);
    LogIt(bad, "x");
    LogError(bad, "x");
    LogException(bad, "x", std::runtime_error("x"));
    SavePath(bad, dir.Path() + "never");
    EXPECT_FALSE(LogEnabled(bad));
    EXPECT_EQ(InternLogFileName(bad), "");
    EXPECT_EQ(GetLogFileName(bad), "");
    EXPECT_EQ(ErrorMsg(bad), "");
    EXPECT_TRUE(GetHeaderLines(bad).empty());
  }
  EXPECT_TRUE(FileNamesIn(dir.Path()).empty());
}

TEST_F(LogRegistryTest, OperationsReachTheLoggerOfTheId) {
  const int id = CreateLogger();
  HeaderLines(id, {"head"});
  EXPECT_EQ(GetHeaderLines(id), std::vector<std::string>{"head"});
  SetLimit(id, logCreateNew, 0);
  LogFileName(id, dir.File("app.txt"), true);
  EXPECT_TRUE(LogEnabled(id));
  EXPECT_EQ(GetLogFileName(id), dir.File("app.txt"));
  const std::string file = InternLogFileName(id);
  LogWarn(id, "careful");
  LogError(id, "broken");
  LogAppend(id, "part");
  LogNewLine(id);
  LogFileName(id, "", false);
  const auto texts = TextsOf(FileLines(file));
  EXPECT_EQ(texts[1], "ID=" + std::to_string(id) + ", SizeLimit=20971520, Type=logCreateNew, errorLog=True");
  EXPECT_EQ(texts[2], "head");
  EXPECT_EQ(texts[3], "WARN:  careful");
  EXPECT_EQ(texts[4], "ERROR: broken");
  EXPECT_EQ(texts[5], "part");
}

TEST_F(LogRegistryTest, ConcurrentCreationAndLoggingLoseNothing) {
  const int shared = CreateLogger();
  LogFileName(shared, dir.File("shared.txt"), false);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, shared] {
      for (int i = 0; i < 100; ++i) {
        if (i % 25 == 0) CreateLogger();
        LogIt(shared, "line " + std::to_string(t) + "-" + std::to_string(i));
      }
    });
  for (auto& thread : threads) thread.join();
  LogFileName(shared, "", false);
  const auto texts = UserTexts(dir.File("shared.txt"));
  EXPECT_EQ(texts.size(), 400u);
  for (int t = 0; t < 4; ++t) {
    std::vector<int> seen;
    for (const auto& text : texts)
      if (StartsWith(text, "line " + std::to_string(t) + "-")) seen.push_back(std::stoi(text.substr(7)));
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  }
}

TEST(LogFinalization, WritesToLoggerZeroAndClosesEveryFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child process starts with an empty registry, so its first logger is logger 0.
  EXPECT_EXIT(
      {
        TTempDir dir;
        const int first = CreateLogger();
        const int second = CreateLogger();
        LogFileName(first, dir.File("app.txt"), false);
        LogFileName(second, dir.File("source.txt"), false);
        LogIt(second, "data");
        FinalizeLoggers();
        const std::string app = ReadWholeFile(dir.File("app.txt"));
        const std::string source = ReadWholeFile(dir.File("source.txt"));
        const bool ok = first == 0 && app.find("LogUnit.finalization") != std::string::npos &&
                        app.find("TLogger.Destroy(0)") != std::string::npos &&
                        source.find("Log file closed, ") != std::string::npos && !LogEnabled(second) &&
                        CreateLogger() == 2;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
