// Runs the built torvel through the stages that come before the conversion.
#include "test_util.h"
#include "torvel/args.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

const std::string Config = "[Block1]\r\nAddr=0\r\nFFOffset=0\r\nLength=$1000000\r\n";
const std::string Flash(1000, '\x5A');

class RunE2E : public ::testing::Test {
protected:
  void SetUp() override {
    writeFile(Dir / "map.ini", Config);
    writeFile(Dir / "full.bin", Flash);
    writeFile(Dir / "a.bmp", "BM not really");
    fs::create_directory(Dir / "folder");
  }
  // Runs torvel in Dir, checks its report, that the inputs are untouched, and
  // whether the patch a.vkp was created.
  void expectRun(const std::vector<std::string> &Args, const std::string &Stdout, int ExitCode,
                 bool Patch = false) {
    SCOPED_TRACE(::testing::PrintToString(Args));
    fs::remove(Dir / "a.vkp");
    const RunResult R = runTorvel(Args, Dir.path());
    EXPECT_EQ(std::tuple(R.Stdout, R.ExitCode, R.Stderr), std::tuple(Stdout, ExitCode, ""));
    EXPECT_EQ(fileExists(Dir / "a.vkp"), Patch);
    EXPECT_EQ(readFile(Dir / "full.bin").value() + readFile(Dir / "map.ini").value() +
                  readFile(Dir / "a.bmp").value(), Flash + Config + "BM not really");
  }
  ScratchDir Dir;
};

TEST_F(RunE2E, UsageScreenAndUncaughtFailure) {
  expectRun({}, usageScreen(), 2);
  expectRun({"-x", "a.bmp", "full.bin", "1", "/?"}, usageScreen(), 0);
  const RunResult R = runTorvel({"-Cmap.ini", "a.bmp", "full.bin", "abc", "-h"}, Dir.path());
  const std::regex Report("Exception EConvertError in module " +
                          fs::path(TORVEL_EXE).filename().string() +
                          " at [0-9A-F]{8}\\.\n'abc' is not a valid integer value\\.\r\n");
  EXPECT_TRUE(std::regex_match(R.Stdout, Report)) << R.Stdout;
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_FALSE(fileExists(Dir / "a.vkp"));
}

TEST_F(RunE2E, EachStageReportsItsFailureAndNoInputIsOverwritten) {
  const std::pair<std::vector<std::string>, std::string> Rows[] = {
      {{"a.bmp", "full.bin"}, "Incorrect parameters"},
      {{"a.bmp", "full.bin", "$FFFFFFFE"}, "Incorrect parameters"},
      {{"-Cmap.ini", "-z", "a", "b", "1", "c", "d"}, "Invalid command line"},
      {{"-Cnone.ini", "a.bmp", "full.bin", "1"}, "Cannot open none.ini"},
      {{"-Cfolder", "a.bmp", "full.bin", "1"}, "Cannot open folder"},
      {{"-Cmap.ini", "a.bmp", "none.bin", "1"}, "Couldn't open file none.bin"},
      {{"-Cmap.ini", "a.bmp", "folder", "1"}, "Couldn't open file folder"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "1", "folder"}, "Couldn't write to folder"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "./full.bin"}, "Couldn't write to ./full.bin"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "a.bmp"}, "Couldn't write to a.bmp"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "map.ini"}, "Couldn't write to map.ini"}};
  for (const auto &[Args, Status] : Rows)
    expectRun(Args, "ERROR: " + Status + "\r\n", 1);
  // An error file that is an input or the patch is one that cannot be created.
  expectRun({"-Cmap.ini", "-E./full.bin", "a.bmp", "full.bin", "0"}, "", 1, true);
  expectRun({"-Cmap.ini", "-Ea.vkp", "a.bmp", "full.bin", "0"}, "", 1, true);
  expectRun({"-Efolder/none/err.txt", "a.bmp", "full.bin"}, "", 1);
  expectRun({"-Eerr.txt", "a.bmp", "full.bin"}, "", 1);
  EXPECT_EQ(readFile(Dir / "err.txt"), "ERROR: Incorrect parameters\r\n");
}

TEST_F(RunE2E, DefaultConfigurationLiesBesideTheExecutable) {
  const std::string Exe = Dir / "bin/torvel";
  fs::create_directory(Dir / "bin");
  fs::copy_file(TORVEL_EXE, Exe);
  EXPECT_EQ(runProgram(Exe, {"a.bmp", "none.bin", "0"}, Dir.path()).Stdout,
            "ERROR: Cannot open " + (fs::path(Dir.path()) / "bin" / "MARLOW.INI").string() +
                "\r\n");
  writeFile(Dir / "bin/MARLOW.INI", Config);
  EXPECT_EQ(runProgram(Exe, {"a.bmp", "none.bin", "0"}, Dir.path()).Stdout,
            "ERROR: Couldn't open file none.bin\r\n");
}

#ifdef __linux__
TEST_F(RunE2E, FullflashIsOpenedForReadingOnly) {
  // A running program cannot be opened for writing, even by root: the running
  // torvel itself serves as a dump that only a read-only open gets through.
  const RunResult R = runTorvel({"-Cmap.ini", "a.bmp", TORVEL_EXE, "0"}, Dir.path());
  EXPECT_EQ(R.Stdout, "ERROR: cannot load a.bmp\r\n");
}
#endif

} // namespace
} // namespace torvel::test
