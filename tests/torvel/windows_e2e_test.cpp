// Runs of the built torvel.exe with Windows names, switches and file sharing.
#ifdef _WIN32

#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>

#include <windows.h>

namespace torvel::test {
namespace {

const std::string Config = "[Block1]\r\nAddr=$1000\r\nFFOffset=$200\r\nLength=$100\r\n";
// Picture 0 of one black pixel at the start of Block1.
const std::string Patch = "; Picture #0\r\n00000200: FF ;XX\r\n";
const std::vector<std::string> Convert = {"-Cmap.ini", "pics\\logo.bmp", "full.bin", "0"};
const std::string Converted = "ERROR: pics\\logo.bmp -> pics\\logo.vkp Converted OK\r\n";

const std::string Flash = std::string(0xDDF30, '\xFF') + std::string("\x01\x01\0\0\x00\x10\0\0", 8);

std::string report(const std::string &Status) { return "ERROR: " + Status + "\r\n"; }

// Holds Name open as another program that reads, or writes too, until the handle goes.
auto openBy(const std::string &Name, bool Writer) {
  HANDLE H = ::CreateFileA(Name.c_str(), GENERIC_READ | (Writer ? GENERIC_WRITE : 0),
                           FILE_SHARE_READ | (Writer ? FILE_SHARE_WRITE : 0), nullptr,
                           OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(H, INVALID_HANDLE_VALUE) << Name;
  return std::unique_ptr<void, decltype(&::CloseHandle)>(H, &::CloseHandle);
}

class WindowsE2E : public ::testing::Test {
protected:
  void SetUp() override {
    Root = std::filesystem::path(Dir.path()).make_preferred().string();
    ASSERT_TRUE(Root.size() > 2 && Root[1] == ':') << Root;
    writeFile(at("full.bin"), Flash);
    writeFile(at("map.ini"), Config);
    std::filesystem::create_directory(at("pics"));
    writeFile(at("pics\\logo.bmp"), BmpBuilder().row({0, 0, 0}).build());
  }
  std::string at(const std::string &Name) const { return Root + "\\" + Name; }
  // Runs torvel in Cwd, by default Root, and checks what it reports.
  void expectRun(const std::vector<std::string> &Args, const std::string &Stdout, int ExitCode,
                 const std::string &Cwd = {}) {
    SCOPED_TRACE(::testing::PrintToString(Args));
    const RunResult R = runTorvel(Args, Cwd.empty() ? Root : Cwd);
    EXPECT_EQ(std::tuple(R.Stdout, R.ExitCode, R.Stderr), std::tuple(Stdout, ExitCode, ""));
  }
  ScratchDir Dir;
  std::string Root;
};

TEST_F(WindowsE2E, NamesAndSwitchesAsWindowsUsersWriteThem) {
  const std::string Slashed = std::filesystem::path(at("pics")).generic_string() + "/logo";
  const std::string Caps = Root + "\\FULL.BIN";
  // Names with a drive, absolute or relative, '\\' or '/': the output lands beside the BMP.
  expectRun({"-C" + at("map.ini"), at("pics\\logo.bmp"), at("full.bin"), "0"},
            report(at("pics\\logo.bmp") + " -> " + at("pics\\logo.vkp") + " Converted OK"), 0);
  expectRun({"-C..\\map.ini", Slashed + ".bmp", "..\\full.bin", "0"},
            report(Slashed + ".bmp -> " + Slashed + ".vkp Converted OK"), 0, at("pics"));
  // Unlike on Linux, a '/' starts a switch even before a path.
  expectRun({"/Cmy.ini", "a.bmp", "full.bin", "0"}, report("Cannot open my.ini"), 1);
  expectRun({"-Cmap.ini", "/tmp", "a.bmp", "full.bin", "0"}, report("Invalid switch: /tmp"), 1);
  expectRun({"-Cmap.ini", "a.bmp", "full.bin", "0", "/x/y"}, report("Invalid switch: /x/y"), 1);
  // Words arrive unchanged: quotes, backslashes, spaces, no wildcard expansion.
  expectRun({"-q\\\\\"x\"\\"}, report("Invalid switch: -q\\\\\"x\"\\"), 1);
  expectRun({"-Cmy dir\\", "a.bmp", "full.bin", "0"}, report("Cannot open my dir\\"), 1);
  expectRun({"-Cmap.ini", "a.bmp", "full.bin", "0", "*.ini"}, report("Couldn't write to *.ini"), 1);
  expectRun({"-Cmap.ini", "-ENUL", "pics\\logo.bmp", "full.bin", "0", "NUL"}, "", 0);
  // Another spelling of the dump is refused as output and as error file.
  expectRun({"-Cmap.ini", "a.bmp", "full.bin", "0", Caps}, report("Couldn't write to " + Caps), 1);
  expectRun({"-Cmap.ini", "-E" + Caps, "a.bmp", "full.bin", "0"}, "", 1);
  EXPECT_TRUE(readFile(at("full.bin")) == Flash) << "the dump has changed";
}

TEST_F(WindowsE2E, ConfigurationAndModuleNameFromTheCopiedExe) {
  const std::string Exe = at("my tools\\Conv 2.exe");
  std::filesystem::create_directory(at("my tools"));
  std::filesystem::copy_file(TORVEL_EXE, Exe);
  EXPECT_EQ(runProgram(Exe, {"pics\\logo.bmp", "full.bin", "0"}, Root).Stdout,
            report("Cannot open " + at("my tools\\MARLOW.INI")));
  writeFile(at("my tools\\MARLOW.INI"), Config);
  EXPECT_EQ(runProgram(Exe, {"pics\\logo.bmp", "full.bin", "0"}, Root).Stdout, Converted);
  const RunResult Uncaught = runProgram(Exe, {"a", "b", "abc"}, Root);
  const std::regex Report("Exception EConvertError in module Conv 2\\.exe at [0-9A-F]{8}\\.\n"
                          "'abc' is not a valid integer value\\.\r\n");
  EXPECT_TRUE(std::regex_match(Uncaught.Stdout, Report)) << Uncaught.Stdout;
  EXPECT_EQ(Uncaught.ExitCode, 1);
}

TEST_F(WindowsE2E, FilesOpenWithTheirAccessAndSharing) {
  // The dump is only read, and shared for writing: it converts when marked read-only and held
  // by a reader that lets nobody write, and while a hex editor has it open for writing.
  ASSERT_TRUE(::SetFileAttributesA(at("full.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  auto Reader = openBy(at("full.bin"), false);
  expectRun(Convert, Converted, 0);
  Reader.reset();
  ASSERT_TRUE(::SetFileAttributesA(at("full.bin").c_str(), FILE_ATTRIBUTE_NORMAL));
  auto Editor = openBy(at("full.bin"), true);
  expectRun(Convert, Converted, 0);
  // A reader sharing the output for reading only keeps it shut, and uncut.
  auto Viewer = openBy(at("pics\\logo.vkp"), false);
  expectRun(Convert, report("Couldn't write to pics\\logo.vkp"), 1);
  EXPECT_EQ(readFile(at("pics\\logo.vkp")), Patch);
  // The BMP is shared for reading only, so a writer holding it wins.
  auto Painter = openBy(at("pics\\logo.bmp"), true);
  expectRun({"-Cmap.ini", "pics\\logo.bmp", "full.bin", "0", "b.vkp"},
            report("cannot load pics\\logo.bmp"), 1);
}

} // namespace
} // namespace torvel::test

#endif
