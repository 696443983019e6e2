#include <gtest/gtest.h>

#include <QProcess>
#include <sstream>

#include "data/AllanSeries.h"
#include "support/TempDir.h"

// "vta-cli adev" is a thin wrapper around RunAdevCommand; these cases run it in-process.
namespace {

struct TRun {
  int Code;
  std::string Out, Err;
};

TRun RunAdev(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = RunAdevCommand(args, out, err);
  return {code, out.str(), err.str()};
}

class AdevCommand : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir.File(name);
    WriteWholeFile(path, text);
    return path;
  }
  TTempDir dir;
};

}  // namespace

TEST_F(AdevCommand, FrequencyColumnWithComments) {
  std::string text = "# fractional frequency\n\n";
  for (int i = 0; i < 10; ++i) text += (i % 2 == 0 ? "1e-9\n" : "-1e-9\n");
  const TRun run = RunAdev({Write("y.txt", text), "--freq"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out,
            "1 9 1.414214e-09\n"
            "2 4 0.000000e+00\n"
            "5 1 2.828427e-10\n");
}

TEST_F(AdevCommand, PhaseIsTheDefaultAndTakesColumnAndFractionalTau0) {
  // Time error in seconds in column 2; points 1, 3, 5 of the series are all 0.
  const std::string file = Write("x.txt", "1 0\n2 1e-9\n3 0\n4 1e-9\n5 0\n");
  const TRun run = RunAdev({file, "--tau0", "0.5", "--column", "2"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out,
            "0.5 3 2.828427e-09\n"
            "1 1 0.000000e+00\n");
  EXPECT_EQ(RunAdev({file, "--column", "2", "--phase", "--tau0", "0.5"}).Out, run.Out);
}

TEST_F(AdevCommand, UsageErrors) {
  const std::string file = Write("ok.txt", "1\n2\n3\n");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--freq"},
      {file, "--tau0"},
      {file, "--tau0", "0"},
      {file, "--tau0", "-1"},
      {file, "--tau0", "abc"},
      {file, "--tau0", "inf"},
      {file, "--column", "0"},
      {file, "--column", "1.5"},
      {file, "--phase", "--freq"},
      {file, "--bogus"},
      {file, file},
  };
  for (const auto& args : cases) {
    const TRun run = RunAdev(args);
    std::string shown;
    for (const auto& arg : args) shown += arg + " ";
    EXPECT_EQ(run.Code, 2) << shown;
    EXPECT_EQ(run.Out, "") << shown;
    EXPECT_NE(run.Err.find(AdevUsage()), std::string::npos) << shown;
  }
}

TEST_F(AdevCommand, FileErrorsNameTheProblem) {
  const TRun missing = RunAdev({dir.File("none.txt")});
  EXPECT_EQ(missing.Code, 2);
  EXPECT_NE(missing.Err.find("cannot open"), std::string::npos);

  const std::string bad = Write("bad.txt", "# x\n1 2\n3\n");
  const TRun run = RunAdev({bad, "--column", "2"});
  EXPECT_EQ(run.Code, 2);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err, "vta-cli adev: " + bad + ": line 3: column 2 missing\n");
}

// Input that gives no deviation, or none that can be trusted, is an error with its reason.
TEST_F(AdevCommand, NoUsableDeviationIsAnError) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<std::string> options;
    std::string error;
  };
  const Case cases[] = {
      {"one frequency", "1e-9\n", {"--freq"}, "too few values for a deviation: 1 (at least 2 fractional frequencies)"},
      {"no values", "# empty\n", {"--freq"}, "too few values for a deviation: 0 (at least 2 fractional frequencies)"},
      {"two phases", "0\n1e-9\n", {}, "too few values for a deviation: 2 (at least 3 phase values)"},
      {"phase overflows in ps", "0\n1e-9\n1e297\n0\n", {}, "line 3: \"1e297\" overflows when scaled to picoseconds"},
      {"deviation overflows", "1e308\n-1e308\n1e308\n", {"--freq"}, "the deviation at tau 1 s overflows"},
  };
  for (const Case& c : cases) {
    const std::string file = Write("series.txt", c.text);
    std::vector<std::string> args{file};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const TRun run = RunAdev(args);
    EXPECT_EQ(run.Code, 2) << c.name;
    EXPECT_EQ(run.Out, "") << c.name;
    EXPECT_EQ(run.Err, "vta-cli adev: " + file + ": " + c.error + "\n") << c.name;
  }
  // Large values that stay finite in ps still count.
  EXPECT_EQ(RunAdev({Write("big.txt", "1e290\n1e290\n1e290\n")}).Code, 0);
}

// The program's exit codes, as scripts see them.
TEST_F(AdevCommand, ProcessExitCodes) {
  struct Case {
    const char* name;
    QStringList args;
    int code;
    const char* err;
  };
  const QString good = QString::fromStdString(Write("good.txt", "0\n1e-9\n0\n1e-9\n"));
  const QString few = QString::fromStdString(Write("few.txt", "0\n1e-9\n"));
  const QString huge = QString::fromStdString(Write("huge.txt", "0\n1e300\n0\n"));
  const Case cases[] = {
      {"deviation", {good}, 0, ""},
      {"too few values", {few}, 2, "too few values"},
      {"overflow", {huge}, 2, "overflows"},
      {"bad option", {good, "--bogus"}, 2, "usage: vta-cli adev"},
      {"missing file", {QString::fromStdString(dir.File("none.txt"))}, 2, "cannot open"},
  };
  for (const Case& c : cases) {
    QProcess process;
    process.start(QString(VTA_BINARY_DIR) + "/vta-cli", QStringList{"adev"} + c.args);
    ASSERT_TRUE(process.waitForFinished(10000)) << c.name;
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << c.name;
    EXPECT_EQ(process.exitCode(), c.code) << c.name;
    const QByteArray err = process.readAllStandardError();
    EXPECT_TRUE(err.contains(c.err)) << c.name << ": " << err.toStdString();
    EXPECT_EQ(process.readAllStandardOutput().isEmpty(), c.code != 0) << c.name;
  }
}
