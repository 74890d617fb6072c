// Whole runs of the built torvel-pics on the example dump and on a dump of
// pseudo-random pictures, and its agreement with torvel's patches.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
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

TEST_F(Pics, CommandsAgreeOnEveryPicture) {
  RunResult List = pics({"list", "full.bin"});
  EXPECT_EQ(std::tuple(List.Stdout, List.Stderr, List.ExitCode), std::tuple(Listing, "", 0));
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
    std::snprintf(Header, sizeof Header, "Picture %d: %u x %u, address %08X, offset %08X, %u bytes\n",
                  Index, Width, Height, Address, Offset, Bytes);
    const RunResult Show = pics({"show", "full.bin", N});
    EXPECT_EQ(Show.Stdout.substr(0, Show.Stdout.find('\n') + 1), Header);
    EXPECT_EQ(Show.Stdout.size(), std::strlen(Header) + Height * (2 * Width + 1));

    ASSERT_EQ(pics({"extract", "full.bin", N}).ExitCode, 0);
    const std::string Bmp = readFile(Dir / ("picture-" + N + ".bmp")).value();
    EXPECT_EQ(Bmp.substr(18, 8), std::string({char(Width), 0, 0, 0, char(Height), 0, 0, 0}));

    ASSERT_EQ(pics({"restore", "full.bin", N}).ExitCode, 0);
    const std::string Restore = readFile(Dir / ("restore-" + N + ".vkp")).value();
    EXPECT_TRUE(Restore.starts_with("; Picture #" + N + "\r\n"));
    // Restoring rewrites exactly the picture's bytes, as they are.
    std::string Blank = Dump;
    applyPatch(Blank.replace(Offset, Bytes, std::string(Bytes, '\x11')), Restore);
    EXPECT_EQ(Blank, Dump);
  }
}

TEST_F(Pics, ExtractConvertsBackAndRestoreUndoesThePatch) {
  // Pictures 1, 13 and 101 pixels wide whose bytes, padding bits included,
  // are pseudo-random; phone address 0x10000 lies at offset 0xE0000.
  const int Widths[] = {1, 13, 101};
  std::string Table;
  std::vector<unsigned> Starts;
  unsigned Seed = 7, Address = 0x10000;
  for (int Width : Widths) {
    const unsigned Size = unsigned(Width + 7) / 8 * 9;
    Table += std::string{char(Width), 9, 0, 0, char(Address), char(Address >> 8 & 0x3F),
                         char(Address >> 14), 0};
    Starts.push_back(0xE0000 - 0x10000 + Address);
    for (unsigned I = 0; I < Size; ++I)
      Dump[Starts.back() + I] = char((Seed = Seed * 1103515245 + 12345) >> 16);
    Address += Size;
  }
  Dump.replace(0xDDF30, Table.size() + 8, Table + std::string(8, '\0'));
  writeFile(Dir / "full.bin", Dump);
  writeFile(Dir / "map.ini", "[Block1]\nAddr=$10000\nFFOffset=$E0000\nLength=$10000\n");

  for (std::size_t Index = 0; Index < 3; ++Index) {
    SCOPED_TRACE(Index);
    const std::string N = std::to_string(Index);
    ASSERT_EQ(pics({"extract", "full.bin", N, "p.bmp"}).ExitCode, 0);
    ASSERT_EQ(pics({"restore", "full.bin", N, "undo.vkp"}).ExitCode, 0);
    RunResult R = runTorvel({"-Cmap.ini", "p.bmp", "full.bin", N, "p.vkp"}, Dir.path());
    ASSERT_EQ(R.ExitCode, 0) << R.Stdout;
    const std::string Patch = readFile(Dir / "p.vkp").value();
    // The patch holds the dump's bytes, but for the bits past the width.
    std::string Expected = Dump, Patched = Dump;
    applyPatch(Patched, Patch);
    const unsigned Bytes = unsigned(Widths[Index] + 7) / 8;
    for (unsigned Row = 1; Row <= 9; ++Row)
      Expected[Starts[Index] + Row * Bytes - 1] |= char(0xFF >> (Widths[Index] - 1) % 8 >> 1);
    EXPECT_EQ(Patched, Expected);
    applyPatch(Patched, readFile(Dir / "undo.vkp").value());
    EXPECT_EQ(Patched, Dump);
  }
}

TEST_F(Pics, BadInputsFailWithoutLeavingFiles) {
  writeFile(Dir / "short.bin", std::string(0xDDF30 + 4, '\x01'));
  // Entry 7, where the table ended, now a picture 0 pixels wide.
  writeFile(Dir / "zero.bin", std::string(Dump).replace(0xDDF30 + 56, 8, "\0\x08\0\0\0\x10\0\x01", 8));
  const std::string Try = "Try 'torvel-pics --help' for more information.\n";
  const struct {
    std::vector<std::string> Args;
    std::string Stderr;
    int ExitCode;
  } Cases[] = {
      {{"show", "short.bin", "0"}, "short.bin ends before entry 0 of the picture table\n", 1},
      {{"list", "short.bin"}, "short.bin ends before entry 0 of the picture table\n", 1},
      {{"show", "full.bin", "7"},
       "picture 7 is past the end of the picture table, which holds 7 pictures\n", 1},
      {{"show", "full.bin", "--", "-1"}, "picture index -1 is out of range (0 to 268321817)\n", 1},
      {{"extract", "zero.bin", "7"}, "picture 7 has no pixels (0 x 8)\n", 1},
      {{"extract", "full.bin", "5"}, "picture 5: address 00800000 lies in no block of map.ini\n", 1},
      {{"restore", "full.bin", "6"},
       "picture 6: its 512 bytes at offset 003FFF00 run past the end of full.bin\n", 1},
      {{"-Cnone.ini", "list", "full.bin"}, "cannot open configuration file none.ini\n", 1},
      {{"list", "none.bin"}, "cannot open fullflash file none.bin\n", 1},
      {{"extract", "full.bin", "3", "full.bin"}, "will not write full.bin: it is one of the inputs\n", 1},
      {{"restore", "full.bin", "3", "./map.ini"}, "will not write ./map.ini: it is one of the inputs\n", 1},
      {{"restore", "full.bin", "3", "none/x.vkp"}, "cannot write none/x.vkp\n", 1},
      {{}, "no command given\n" + Try, 2},
      {{"draw", "full.bin"}, "unknown command 'draw'\n" + Try, 2},
      {{"show", "full.bin", "-1"}, "unknown option '-1'\n" + Try, 2},
      {{"show", "full.bin", "abc"}, "'abc' is not a picture index\n" + Try, 2},
      {{"show", "full.bin", "1", "x"}, "too many arguments\n" + Try, 2},
      {{"show", "full.bin", "1", "--count", "2"}, "--first and --count belong to list\n" + Try, 2},
      {{"list", "full.bin", "--first"}, "option '--first' needs a value\n" + Try, 2},
      {{"list", "full.bin", "-n", "-1"}, "'-1' is not a count of pictures\n" + Try, 2},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(::testing::PrintToString(Case.Args));
    const RunResult R = pics(Case.Args);
    EXPECT_EQ(std::tuple(R.Stdout, R.Stderr, R.ExitCode),
              std::tuple("", "torvel-pics: " + Case.Stderr, Case.ExitCode));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.path()), {}), 4);
  }
  EXPECT_EQ(readFile(Dir / "full.bin"), Dump);
  EXPECT_EQ(pics({"--version"}).Stdout, "torvel-pics " TORVEL_VERSION "\n");
  EXPECT_TRUE(pics({"list", "-h"}).Stdout.starts_with("Usage: torvel-pics [OPTIONS] COMMAND"));
}

} // namespace
} // namespace torvel::test
