// Runs of the built torvel.exe with Windows names, switches and file sharing.
#ifdef _WIN32

#include "flash/picture_table.h"
#include "picture/bmp_builder.h"
#include "test_util.h"

#include <filesystem>
#include <regex>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

const std::string Config = "[Block1]\r\nAddr=$1000\r\nFFOffset=$200\r\nLength=$100\r\n";
// Picture 0 of one black pixel at the start of Block1.
const std::string Patch = "; Picture #0\r\n00000200: FF ;XX\r\n";

std::string flashImage() {
  std::string Flash(std::size_t(PictureTableOffset) + 8, '\xFF');
  Flash.replace(std::size_t(PictureTableOffset), 8, "\x01\x01\0\0\x00\x10\0\0", 8);
  return Flash;
}

std::vector<std::uint8_t> blackPixel() {
  BmpBuilder B;
  B.row({0, 0, 0});
  return B.build();
}

// Holds a file open the way another program might, until destroyed.
class OpenHandle {
public:
  OpenHandle(const std::string &Name, DWORD Access, DWORD Share)
      : H(::CreateFileA(Name.c_str(), Access, Share, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {
    EXPECT_NE(H, INVALID_HANDLE_VALUE) << Name;
  }
  ~OpenHandle() {
    if (H != INVALID_HANDLE_VALUE)
      ::CloseHandle(H);
  }
  OpenHandle(const OpenHandle &) = delete;
  OpenHandle &operator=(const OpenHandle &) = delete;

private:
  HANDLE H;
};

class WindowsE2E : public ::testing::Test {
protected:
  void SetUp() override {
    // Backslashes throughout, as a Windows user types them.
    Root = fs::path(Dir.path()).make_preferred().string();
    ASSERT_TRUE(Root.size() > 2 && Root[1] == ':') << Root;
    writeFile(at("map.ini"), Config);
    writeFile(at("full.bin"), flashImage());
    writeFile(at("logo.bmp"), blackPixel());
    fs::create_directory(at("elsewhere"));
  }
  std::string at(const std::string &Name) const { return Root + "\\" + Name; }
  RunResult run(const std::vector<std::string> &Args,
                const std::string &Cwd = {}) {
    RunResult R = runTorvel(Args, Cwd.empty() ? Root : Cwd);
    EXPECT_EQ(R.Stderr, "");
    return R;
  }
  ScratchDir Dir;
  std::string Root;
};

TEST_F(WindowsE2E, DriveLettersAndBackslashes) {
  // Absolute names from another folder; the output lands beside the BMP.
  RunResult Abs = run({"-C" + at("map.ini"), at("logo.bmp"), at("full.bin"), "0"},
                      at("elsewhere"));
  EXPECT_EQ(Abs.Stdout, "ERROR: " + at("logo.bmp") + " -> " + at("logo.vkp") +
                            " Converted OK\r\n");
  EXPECT_EQ(Abs.ExitCode, 0);
  EXPECT_EQ(readFile(at("logo.vkp")), Patch);

  // Relative names with backslashes, and a drive-absolute name with '/'.
  fs::create_directory(at("pics"));
  fs::copy_file(at("logo.bmp"), at("pics\\logo.bmp"));
  RunResult Rel = run({"-Cmap.ini", "pics\\logo.bmp", "full.bin", "0"});
  EXPECT_EQ(Rel.Stdout, "ERROR: pics\\logo.bmp -> pics\\logo.vkp Converted OK\r\n");
  EXPECT_EQ(readFile(at("pics\\logo.vkp")), Patch);

  std::string Forward = fs::path(at("pics")).generic_string() + "/logo";
  RunResult Slashed = run({"-C..\\map.ini", Forward + ".bmp", "..\\full.bin", "0"},
                          at("elsewhere"));
  EXPECT_EQ(Slashed.Stdout,
            "ERROR: " + Forward + ".bmp -> " + Forward + ".vkp Converted OK\r\n");
  EXPECT_EQ(Slashed.ExitCode, 0);
}

TEST_F(WindowsE2E, SlashStartsASwitchEvenBeforeAPath) {
  RunResult Help = run({"a.bmp", "/h"});
  EXPECT_EQ(Help.ExitCode, 0);
  EXPECT_EQ(Help.Stdout.substr(0, 38), ".BMP to VKlay .VKP Converter. V. 1.0\r\n");

  const struct {
    std::vector<std::string> Args;
    std::string Report;
  } Cases[] = {
      {{"/Cmy.ini", "logo.bmp", "full.bin", "0"}, "Cannot open my.ini"},
      {{"-Cmap.ini", "/tmp", "logo.bmp", "full.bin", "0"}, "Invalid switch: /tmp"},
      // Unlike on Linux, a path that begins with '/' is still a switch.
      {{"-Cmap.ini", "logo.bmp", "full.bin", "0", "/work/x.vkp"},
       "Invalid switch: /work/x.vkp"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Report);
    RunResult R = run(C.Args);
    EXPECT_EQ(R.Stdout, "ERROR: " + C.Report + "\r\n");
    EXPECT_EQ(R.ExitCode, 1);
  }
}

TEST_F(WindowsE2E, ArgumentsArriveUnchanged) {
  const struct {
    std::vector<std::string> Args;
    std::string Report;
  } Cases[] = {
      {{"-q a \"b\" c\\"}, "Invalid switch: -q a \"b\" c\\"},
      {{"-q\\\\\"x\"\\"}, "Invalid switch: -q\\\\\"x\"\\"},
      {{"-Cmy dir\\", "a.bmp", "full.bin", "0"}, "Cannot open my dir\\"},
      // No wildcard expansion: map.ini would match.
      {{"-Cmap.ini", "logo.bmp", "full.bin", "0", "*.ini"},
       "Couldn't write to *.ini"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Report);
    RunResult R = run(C.Args);
    EXPECT_EQ(R.Stdout, "ERROR: " + C.Report + "\r\n");
    EXPECT_EQ(R.ExitCode, 1);
  }

  // Devices are written to like files.
  RunResult Nul = run({"-Cmap.ini", "-ENUL", "logo.bmp", "full.bin", "0", "NUL"});
  EXPECT_EQ(Nul.Stdout, "");
  EXPECT_EQ(Nul.ExitCode, 0);
}

TEST_F(WindowsE2E, ConfigurationAndModuleNameFromTheCopiedExe) {
  std::string Bin = at("my tools");
  fs::create_directory(Bin);
  std::string Exe = Bin + "\\torvel.exe";
  fs::copy_file(TORVEL_EXE, Exe);

  RunResult Missing = runProgram(Exe, {"logo.bmp", "full.bin", "0"}, Root);
  EXPECT_EQ(Missing.Stdout, "ERROR: Cannot open " + Bin + "\\MARLOW.INI\r\n");
  writeFile(Bin + "\\MARLOW.INI", Config);
  RunResult Found = runProgram(Exe, {"logo.bmp", "full.bin", "0"}, Root);
  EXPECT_EQ(Found.Stdout, "ERROR: logo.bmp -> logo.vkp Converted OK\r\n");
  EXPECT_EQ(Found.ExitCode, 0);

  fs::rename(Exe, Bin + "\\Conv 2.exe");
  RunResult Uncaught = runProgram(Bin + "\\Conv 2.exe", {"a", "b", "abc"}, Root);
  EXPECT_TRUE(std::regex_match(
      Uncaught.Stdout,
      std::regex("Exception EConvertError in module Conv 2\\.exe at "
                 "[0-9A-F]{8}\\.\n'abc' is not a valid integer value\\.\r\n")))
      << Uncaught.Stdout;
  EXPECT_EQ(Uncaught.ExitCode, 1);
}

TEST_F(WindowsE2E, FullflashIsOnlyRead) {
  const std::string Flash = flashImage();
  ASSERT_TRUE(::SetFileAttributesA(at("full.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  RunResult ReadOnly = run({"-Cmap.ini", "logo.bmp", "full.bin", "0"});
  EXPECT_EQ(ReadOnly.Stdout, "ERROR: logo.bmp -> logo.vkp Converted OK\r\n");
  EXPECT_EQ(ReadOnly.ExitCode, 0);
  EXPECT_EQ(readFile(at("logo.vkp")), Patch);
  ASSERT_TRUE(::SetFileAttributesA(at("full.bin").c_str(), FILE_ATTRIBUTE_NORMAL));

  // Other spellings of the writable dump are refused as output and error file.
  std::string Upper = Root + "\\FULL.BIN";
  for (const std::string &Output : {Upper, std::string(".\\full.bin")}) {
    SCOPED_TRACE(Output);
    RunResult R = run({"-Cmap.ini", "logo.bmp", "full.bin", "0", Output});
    EXPECT_EQ(R.Stdout, "ERROR: Couldn't write to " + Output + "\r\n");
    EXPECT_EQ(R.ExitCode, 1);
  }
  RunResult Lost = run({"-Cmap.ini", "-E" + Upper, "logo.bmp", "full.bin", "0"});
  EXPECT_EQ(Lost.Stdout, "");
  EXPECT_EQ(Lost.ExitCode, 1);
  EXPECT_TRUE(readFile(at("full.bin")) == Flash) << "the dump has changed";
}

TEST_F(WindowsE2E, SharingWithOtherPrograms) {
  {
    // The BMP is shared for reading only, so a writer holding it wins.
    OpenHandle Painter(at("logo.bmp"), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE);
    RunResult R = run({"-Cmap.ini", "logo.bmp", "full.bin", "0"});
    EXPECT_EQ(R.Stdout, "ERROR: cannot load logo.bmp\r\n");
    EXPECT_EQ(R.ExitCode, 1);
  }
  {
    // A hex editor holding the dump open for writing does not stop a run.
    OpenHandle Editor(at("full.bin"), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE);
    RunResult R = run({"-Cmap.ini", "logo.bmp", "full.bin", "0"});
    EXPECT_EQ(R.Stdout, "ERROR: logo.bmp -> logo.vkp Converted OK\r\n");
  }
  {
    // A reader that shares its file for reading only keeps the output shut,
    // and the output is not cut on the way.
    OpenHandle Viewer(at("logo.vkp"), GENERIC_READ, FILE_SHARE_READ);
    RunResult R = run({"-Cmap.ini", "logo.bmp", "full.bin", "0"});
    EXPECT_EQ(R.Stdout, "ERROR: Couldn't write to logo.vkp\r\n");
  }
  EXPECT_EQ(readFile(at("logo.vkp")), Patch);
}

} // namespace
} // namespace torvel::test

#endif
