// Whole runs of the built torvel-pics on the example dump, and its agreement
// with torvel's patches.
#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

const std::string Listing =
    "    0   16 x 16   00400000  00100000     32 bytes\n"
    "    1  101 x 80   00401000  00101000   1040 bytes\n"
    "    2    8 x 8    00402000  00102000      8 bytes\n"
    "    3   32 x 16   00412340  00112340     64 bytes\n"
    "    4   40 x 24   00413000  00113000    120 bytes\n"
    "    5   48 x 48   00800000  unmapped    288 bytes\n"
    "    6   64 x 64   006FFF00  003FFF00    512 bytes  past end of dump\n";

// Writes the bytes of every row line of Patch into Dump.
void applyPatch(std::string &Dump, const std::string &Patch) {
  std::istringstream Lines(Patch);
  std::string Line;
  while (std::getline(Lines, Line))
    if (unsigned Offset = 0; Line[0] != ';' && std::sscanf(Line.c_str(), "%X:", &Offset) == 1)
      for (std::size_t I = 10; Line[I] != ' '; I += 2, ++Offset)
        Dump.at(Offset) = char(std::stoi(Line.substr(I, 2), nullptr, 16));
}

class Pics : public ::testing::Test {
protected:
  void SetUp() override {
    runProgram(TORVEL_MAKE_FLASH_EXE, {"full.bin"}, Dir.path());
    fs::copy_file(TORVEL_EXAMPLES "/MARLOW.INI", Dir / "map.ini");
    Dump = readFile(Dir / "full.bin").value();
  }
  RunResult pics(std::vector<std::string> Args) {
    Args.insert(Args.begin(), {"-C", "map.ini"});
    return runProgram(TORVEL_PICS_EXE, Args, Dir.path());
  }
  std::string Dump;
  ScratchDir Dir;
};

TEST_F(Pics, CommandsAgreeAndUndoTorvelsPatch) {
  RunResult List = pics({"list", "full.bin"});
  EXPECT_EQ(std::tuple(List.Stdout, List.Stderr, List.ExitCode), std::tuple(Listing, "", 0));
  // A table that runs to the end of the dump ends there, before the pictures.
  writeFile(Dir / "two.bin", Dump.substr(0, 0xDDF30 + 16));
  List = pics({"list", "two.bin"});
  const std::string Past = std::regex_replace(Listing.substr(0, 100), std::regex("\n"),
                                              "  past end of dump\n");
  EXPECT_EQ(std::tuple(List.Stdout, List.ExitCode), std::tuple(Past, 0));
  EXPECT_EQ(pics({"list", "full.bin", "--first=$5", "-n", "3"}).Stdout,
            Listing.substr(Listing.find("    5")) +
                "    7  255 x 255  3FFFFFFF  unmapped   8160 bytes\n");

  std::istringstream Lines(Listing);
  for (std::string Line; std::getline(Lines, Line);) {
    int Index;
    unsigned Width, Height, Address, Offset, Bytes;
    if (std::sscanf(Line.c_str(), "%d %u x %u %X %X %u", &Index, &Width, &Height, &Address,
                    &Offset, &Bytes) != 6 || Line.find("past") != std::string::npos)
      continue;
    SCOPED_TRACE(Line);
    const std::string N = std::to_string(Index);
    char Header[128];
    std::snprintf(Header, sizeof Header,
                  "Picture %d: %u x %u, address %08X, offset %08X, %u bytes\n", Index, Width,
                  Height, Address, Offset, Bytes);
    const RunResult Show = pics({"show", "full.bin", N});
    EXPECT_EQ(Show.Stdout.substr(0, Show.Stdout.find('\n') + 1), Header);
    EXPECT_EQ(Show.Stdout.size(), std::strlen(Header) + Height * (2 * Width + 1));

    // torvel converts the extracted picture back into the dump's bytes, but for the bits
    // past the width, which it sets.
    ASSERT_EQ(pics({"extract", "full.bin", N}).ExitCode, 0);
    const std::string Bmp = "picture-" + N + ".bmp";
    ASSERT_EQ(runProgram(TORVEL_EXE, {"-Cmap.ini", Bmp, "full.bin", N, "p.vkp"}, Dir.path())
                  .ExitCode, 0);
    std::string Patched = Dump, Expected = Dump;
    applyPatch(Patched, readFile(Dir / "p.vkp").value());
    for (unsigned Row = 1, RowBytes = Bytes / Height; Row <= Height; ++Row)
      Expected[Offset + Row * RowBytes - 1] |= char(0xFF >> (Width - 1) % 8 >> 1);
    EXPECT_EQ(Patched, Expected);

    // The restore patch rewrites exactly the picture's bytes, as they were.
    ASSERT_EQ(pics({"restore", "full.bin", N}).ExitCode, 0);
    const std::string Restore = readFile(Dir / ("restore-" + N + ".vkp")).value();
    applyPatch(Patched, Restore);
    EXPECT_EQ(Patched, Dump);
    applyPatch(Patched.replace(Offset, Bytes, std::string(Bytes, '\x11')), Restore);
    EXPECT_EQ(Patched, Dump);
  }
  // Picture 3, a checkerboard, as a whole file: rows bottom-up, ink black (colour 0).
  BmpBuilder Board{.Width = 32, .Height = 16, .BitCount = 1, .ImageSize = 64,
                   .Table = {0, 0xFFFFFF}};
  for (int Y = 15; Y >= 0; --Y)
    Board.row(std::vector<std::uint8_t>(4, Y % 2 ? 0x55 : 0xAA));
  EXPECT_EQ(readFile(Dir / "picture-3.bmp"), Board.build().replace(50, 1, "\x02"));
}

TEST_F(Pics, BadInputsFailWithoutLeavingFiles) {
  writeFile(Dir / "short.bin", std::string(0xDDF30 + 4, '\x01'));
  // Entry 7, where the table ended, now a picture 0 pixels wide.
  writeFile(Dir / "zero.bin",
            std::string(Dump).replace(0xDDF30 + 56, 8, "\0\x08\0\0\0\x10\0\x01", 8));
  const std::string Try = "Try 'torvel-pics --help' for more information.\n";
  const std::string Input = "it is one of the inputs\n";
  // Usage errors (exit code 2) end with the hint; other failures have exit code 1.
  const std::pair<std::vector<std::string>, std::string> Cases[] = {
      {{"show", "short.bin", "0"}, "short.bin ends before entry 0 of the picture table\n"},
      {{"list", "short.bin"}, "short.bin ends before entry 0 of the picture table\n"},
      {{"show", "full.bin", "7"},
       "picture 7 is past the end of the picture table, which holds 7 pictures\n"},
      {{"show", "full.bin", "--", "-1"}, "picture index -1 is out of range (0 to 268321817)\n"},
      {{"extract", "zero.bin", "7"}, "picture 7 has no pixels (0 x 8)\n"},
      {{"restore", "zero.bin", "7"}, "picture 7 has no pixels (0 x 8)\n"},
      {{"extract", "full.bin", "5"}, "picture 5: address 00800000 lies in no block of map.ini\n"},
      {{"restore", "full.bin", "6"},
       "picture 6: its 512 bytes at offset 003FFF00 run past the end of full.bin\n"},
      {{"-Cnone.ini", "list", "full.bin"}, "cannot open configuration file none.ini\n"},
      {{"list", "none.bin"}, "cannot open fullflash file none.bin\n"},
      {{"extract", "full.bin", "3", "full.bin"}, "will not write full.bin: " + Input},
      {{"restore", "full.bin", "3", "./map.ini"}, "will not write ./map.ini: " + Input},
      {{"restore", "full.bin", "3", "none/x.vkp"}, "cannot write none/x.vkp\n"},
      {{}, "no command given\n" + Try},
      {{"draw", "full.bin"}, "unknown command 'draw'\n" + Try},
      {{"show", "full.bin", "-1"}, "unknown option '-1'\n" + Try},
      {{"show", "full.bin", "abc"}, "'abc' is not a picture index\n" + Try},
      {{"show", "full.bin", "1", "x"}, "too many arguments\n" + Try},
      {{"show", "full.bin", "1", "--count", "2"}, "--first and --count belong to list and sheet\n" + Try},
      {{"list", "full.bin", "--first"}, "option '--first' needs a value\n" + Try},
      {{"list", "full.bin", "-n", "-1"}, "'-1' is not a count of pictures\n" + Try},
  };
  for (const auto &[Args, Stderr] : Cases) {
    SCOPED_TRACE(::testing::PrintToString(Args));
    const RunResult R = pics(Args);
    EXPECT_EQ(std::tuple(R.Stdout, R.Stderr, R.ExitCode),
              std::tuple("", "torvel-pics: " + Stderr, Stderr.ends_with(Try) ? 2 : 1));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.path()), {}), 4);
  }
  EXPECT_EQ(readFile(Dir / "full.bin"), Dump);
  EXPECT_EQ(pics({"--version"}).Stdout, "torvel-pics " TORVEL_VERSION "\n");
  EXPECT_TRUE(pics({"list", "-h"}).Stdout.starts_with("Usage: torvel-pics [OPTIONS] COMMAND"));
}

} // namespace
} // namespace torvel::test
