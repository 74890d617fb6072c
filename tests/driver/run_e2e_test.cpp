// Runs the built torvel through the stages that come before the conversion.
#include "test_util.h"

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

const std::string Config = "[Block1]\r\nAddr=0\r\nFFOffset=0\r\nLength=$1000000\r\n";

class RunE2E : public ::testing::Test {
protected:
  void SetUp() override {
    writeFile(Dir / "map.ini", Config);
    writeFile(Dir / "full.bin", std::string(1000, '\x5A'));
  }
  RunResult run(std::vector<std::string> Args) {
    RunResult R = runTorvel(Args, Dir.path());
    EXPECT_EQ(R.Stderr, "");
    return R;
  }
  ScratchDir Dir;
};

TEST_F(RunE2E, UsageScreenAndItsExitCodes) {
  RunResult None = run({});
  EXPECT_EQ(None.ExitCode, 2);
  EXPECT_EQ(None.Stdout.substr(0, 38), ".BMP to VKlay .VKP Converter. V. 1.0\r\n");
  RunResult Help = run({"-x", "a.bmp", "full.bin", "1", "/?"});
  EXPECT_EQ(Help.ExitCode, 0);
  EXPECT_EQ(Help.Stdout, None.Stdout);
  EXPECT_FALSE(fileExists(Dir / "a.vkp"));
}

TEST_F(RunE2E, NonNumericIndexIsAnUncaughtFailure) {
  RunResult R = run({"-Cmap.ini", "a.bmp", "full.bin", "abc", "-h"});
  EXPECT_EQ(R.ExitCode, 1);
  std::string Module = fs::path(TORVEL_EXE).filename().string();
  EXPECT_TRUE(std::regex_match(
      R.Stdout, std::regex("Exception EConvertError in module " + Module +
                           " at [0-9A-F]{8}\\.\n'abc' is not a valid integer "
                           "value\\.\r\n")))
      << R.Stdout;
  EXPECT_FALSE(fileExists(Dir / "a.vkp"));
}

TEST_F(RunE2E, EachStageReportsItsFailure) {
  fs::create_directory(Dir / "folder");
  const struct {
    std::vector<std::string> Args;
    std::string Report;
  } Cases[] = {
      {{"a.bmp", "full.bin"}, "Incorrect parameters"},
      {{"a.bmp", "full.bin", "$FFFFFFFE"}, "Incorrect parameters"},
      {{"-Cmap.ini", "-z", "a.bmp", "full.bin", "1"}, "Invalid switch: -z"},
      {{"-Cmap.ini", "a", "b", "1", "c", "d"}, "Invalid command line"},
      {{"-Cnone.ini", "a.bmp", "full.bin", "1"}, "Cannot open none.ini"},
      {{"-Cfolder", "a.bmp", "full.bin", "1"}, "Cannot open folder"},
      {{"-C", "a.bmp", "full.bin", "1"}, "Cannot open "},
      {{"-Cmap.ini", "a.bmp", "none.bin", "1"}, "Couldn't open file none.bin"},
      {{"-Cmap.ini", "a.bmp", "folder", "1"}, "Couldn't open file folder"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "1", "folder"},
       "Couldn't write to folder"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Report);
    RunResult R = run(C.Args);
    EXPECT_EQ(R.Stdout, "ERROR: " + C.Report + "\r\n");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_FALSE(fileExists(Dir / "a.vkp"));
  }
}

TEST_F(RunE2E, DefaultConfigurationLiesBesideTheExecutable) {
  fs::create_directory(Dir / "bin");
  std::string Exe = Dir / "bin/torvel";
  fs::copy_file(TORVEL_EXE, Exe);
  RunResult Missing = runProgram(Exe, {"a.bmp", "none.bin", "0"}, Dir.path());
  EXPECT_EQ(Missing.Stdout, "ERROR: Cannot open " +
                                (fs::path(Dir.path()) / "bin" / "MARLOW.INI")
                                    .string() +
                                "\r\n");
  writeFile(Dir / "bin/MARLOW.INI", Config);
  RunResult Found = runProgram(Exe, {"a.bmp", "none.bin", "0"}, Dir.path());
  EXPECT_EQ(Found.Stdout, "ERROR: Couldn't open file none.bin\r\n");
}

TEST_F(RunE2E, ReportGoesToTheErrorFile) {
  RunResult R = run({"-Eerr.txt", "a.bmp", "full.bin"});
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(readFile(Dir / "err.txt"), "ERROR: Incorrect parameters\r\n");

  RunResult Lost = run({"-Efolder/none/err.txt", "a.bmp", "full.bin"});
  EXPECT_EQ(Lost.Stdout, "");
  EXPECT_EQ(Lost.ExitCode, 1);
}

TEST_F(RunE2E, InputsAreNeverOverwritten) {
  writeFile(Dir / "a.bmp", "BM not really");
  const std::string Flash = *readFile(Dir / "full.bin");
  const struct {
    std::vector<std::string> Args;
    std::string Stdout;
  } Cases[] = {
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "./full.bin"},
       "ERROR: Couldn't write to ./full.bin\r\n"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "a.bmp"},
       "ERROR: Couldn't write to a.bmp\r\n"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "map.ini"},
       "ERROR: Couldn't write to map.ini\r\n"},
      {{"-Cmap.ini", "-E./full.bin", "a.bmp", "full.bin", "0"}, ""},
      {{"-Cmap.ini", "-Ea.vkp", "a.bmp", "full.bin", "0"}, ""},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Args.back());
    RunResult R = run(C.Args);
    EXPECT_EQ(R.Stdout, C.Stdout);
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_EQ(readFile(Dir / "full.bin"), Flash);
    EXPECT_EQ(readFile(Dir / "a.bmp"), "BM not really");
    EXPECT_EQ(readFile(Dir / "map.ini"), Config);
  }
}

} // namespace
} // namespace torvel::test
