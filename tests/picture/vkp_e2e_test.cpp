// Whole conversions through the built torvel: packing, row lines and what
// the patch holds after each failure.
#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace torvel::test {
namespace {

const std::string Converted = "ERROR: a.bmp -> a.vkp Converted OK\r\n0\n; Picture #2\r\n";

// 24-bit rows from text, top row first: 'X' black, anything else white.
std::vector<std::uint8_t> picture24(const std::vector<std::string> &Rows) {
  BmpBuilder B{.Width = std::int32_t(Rows.front().size()), .Height = std::int32_t(Rows.size())};
  for (auto Row = Rows.rbegin(); Row != Rows.rend(); ++Row) {
    std::vector<std::uint8_t> Bytes;
    for (char C : *Row)
      Bytes.insert(Bytes.end(), 3, C == 'X' ? 0x00 : 0xFF);
    B.row(Bytes);
  }
  return B.build();
}

class Convert : public ::testing::Test {
protected:
  void SetUp() override {
    // Address 0x1000 lies at offset 0x200; 0x2000 at 0x1A2B3C; 0x3000 at
    // FFFFFFFE, so rows run across the 32-bit end.
    writeFile(Dir / "map.ini", "[Block1]\nAddr=$1000\nFFOffset=$200\nLength=$100\n"
                               "[Block2]\nAddr=$2000\nFFOffset=$1A2B3C\nLength=$100\n"
                               "[Block3]\nAddr=$3000\nFFOffset=$FFFFFFFE\nLength=$100\n");
  }
  // Writes a fullflash whose picture Index is Width x Height at Address.
  void writeFlash(int Index, int Width, int Height, int Address) {
    const char Entry[8] = {char(Width), char(Height), 0, 0, char(Address), char(Address >> 8)};
    std::string Flash(0xDDF30 + 8 * std::size_t(Index + 1), '\xFF');
    writeFile(Dir / "full.bin", Flash.replace(0xDDF30 + 8 * std::size_t(Index), 8, Entry, 8));
  }
  // Converts Bmp as picture 2: the report, exit code and patch.
  std::string convert(const std::vector<std::uint8_t> &Bmp, int Width, int Height,
                      int Address = 0x1000, const std::string &Index = "2") {
    writeFile(Dir / "a.bmp", Bmp);
    writeFlash(2, Width, Height, Address);
    const RunResult R = runTorvel({"-Cmap.ini", "a.bmp", "full.bin", Index}, Dir.path());
    return R.Stdout + R.Stderr + std::to_string(R.ExitCode) + "\n" +
           readFile(Dir / "a.vkp").value_or("<none>");
  }
  ScratchDir Dir;
};

TEST_F(Convert, PacksRowsAndCutsOrExtendsAtTheTopLeft) {
  const struct {
    std::vector<std::uint8_t> Bmp;
    int Width, Height, Address;
    std::string Rows;
  } Cases[] = {
      {picture24({"."}), 1, 1, 0x1000, "00000200: 7F ;..\r\n"},
      {picture24({"XXXXXXXX"}), 8, 1, 0x1000, "00000200: FF ;XXXXXXXXXXXXXXXX\r\n"},
      {picture24({"X.X.X.X.XX", ".........."}), 10, 2, 0x2000,
       "001A2B3C: AAFF ;XX..XX..XX..XX..XXXX\r\n001A2B3E: 003F ;....................\r\n"},
      // Offsets wrap at 32 bits.
      {picture24({"X", "X"}), 9, 2, 0x3000,
       "FFFFFFFE: 807F ;XX................\r\n00000000: 807F ;XX................\r\n"},
      {picture24({"X"}), 0, 3, 0x1000, "00000200:  ;\r\n00000200:  ;\r\n00000200:  ;\r\n"},
      {picture24({"X"}), 5, 0, 0x1000, ""},
      // An empty BMP is all paper.
      {{}, 12, 2, 0x1000,
       "00000200: 000F ;........................\r\n00000202: 000F ;........................\r\n"},
      {picture24({"XX.XX", "X.X.X", ".XXX.", "XXXXX"}), 3, 2, 0x1000,
       "00000200: DF ;XXXX..\r\n00000201: BF ;XX..XX\r\n"},
      {picture24({"XX", "X."}), 4, 3, 0x1000,
       "00000200: CF ;XXXX....\r\n00000201: 8F ;XX......\r\n00000202: 0F ;........\r\n"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Rows);
    EXPECT_EQ(convert(Case.Bmp, Case.Width, Case.Height, Case.Address), Converted + Case.Rows);
  }
}

TEST_F(Convert, FailuresAndWhatThePatchHolds) {
  // A BMP that does not load, or an address in no block: the header line only.
  EXPECT_EQ(convert({'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4, 4),
            "ERROR: cannot load a.bmp\r\n1\n; Picture #2\r\n");
  EXPECT_EQ(convert(picture24({"X"}), 1, 1, 0x9234),
            "ERROR: Unmapped picture address 00009234\r\n1\n; Picture #2\r\n");
  // A table entry past the end of the dump, or at a position that wraps negative.
  EXPECT_EQ(convert(picture24({"X"}), 1, 1, 0x1000, "$0FFE441A"),
            "ERROR: Bad FF file full.bin\r\n1\n");
  writeFile(Dir / "full.bin", std::string(100, '\0'));
  const RunResult Short = runTorvel({"-Cmap.ini", "a.bmp", "full.bin", "2"}, Dir.path());
  EXPECT_EQ(std::tuple(Short.Stdout, Short.ExitCode),
            std::tuple("ERROR: Bad FF file full.bin\r\n", 1));
  EXPECT_EQ(readFile(Dir / "a.vkp"), "");
}

TEST_F(Convert, ReportInTheErrorFileAndAFullDisk) {
  writeFile(Dir / "a.bmp", picture24({"X"}));
  writeFlash(0, 1, 1, 0x1000);
  RunResult R =
      runTorvel({"-Cmap.ini", "-Elog.txt", "a.bmp", "full.bin", "0", "out.vkp"}, Dir.path());
  EXPECT_EQ(std::tuple(R.Stdout, R.ExitCode), std::tuple("", 0));
  EXPECT_EQ(readFile(Dir / "log.txt"), "ERROR: a.bmp -> out.vkp Converted OK\r\n");
  EXPECT_EQ(readFile(Dir / "out.vkp"), "; Picture #0\r\n00000200: FF ;XX\r\n");
#ifdef __linux__
  // A write that fails only when the patch is flushed is still a failure.
  R = runTorvel({"-Cmap.ini", "a.bmp", "full.bin", "0", "/dev/full"}, Dir.path());
  EXPECT_EQ(std::tuple(R.Stdout, R.ExitCode), std::tuple("ERROR: Cannot save to /dev/full\r\n", 1));
#endif
}

} // namespace
} // namespace torvel::test
