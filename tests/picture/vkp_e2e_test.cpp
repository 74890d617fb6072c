// Whole conversions through the built torvel: packing, row lines and what
// the patch holds after each failure.
#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace torvel::test {
namespace {

// A fullflash image holding one picture-table entry.
std::string flashWithEntry(int Index, std::uint8_t Width, std::uint8_t Height,
                           std::uint16_t Word, std::uint16_t Page) {
  std::string Flash(std::size_t(0xDDF30 + 8 * (Index + 1)), '\xFF');
  const char Entry[8] = {char(Width), char(Height), 0, 0,
                         char(Word),  char(Word >> 8), char(Page),
                         char(Page >> 8)};
  Flash.replace(0xDDF30 + 8 * std::size_t(Index), 8, Entry, 8);
  return Flash;
}

// 24-bit rows from text: 'X' black, anything else white; top row first.
BmpBuilder picture24(const std::vector<std::string> &Rows) {
  BmpBuilder B;
  B.Width = std::int32_t(Rows.front().size());
  B.Height = std::int32_t(Rows.size());
  for (auto Row = Rows.rbegin(); Row != Rows.rend(); ++Row) {
    std::vector<std::uint8_t> Bytes;
    for (char C : *Row)
      Bytes.insert(Bytes.end(), 3, C == 'X' ? 0x00 : 0xFF);
    B.row(Bytes);
  }
  return B;
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
  // Converts BmpBytes as picture 2 of size Width x Height at Address.
  RunResult convert(const std::vector<std::uint8_t> &BmpBytes, std::uint8_t Width,
                    std::uint8_t Height, std::uint16_t Address = 0x1000) {
    writeFile(Dir / "a.bmp", BmpBytes);
    writeFile(Dir / "full.bin", flashWithEntry(2, Width, Height, Address, 0));
    RunResult R = runTorvel({"-Cmap.ini", "a.bmp", "full.bin", "2"}, Dir.path());
    EXPECT_EQ(R.Stderr, "");
    return R;
  }
  std::string patch() { return readFile(Dir / "a.vkp").value_or("<none>"); }
  void expectConverted(const RunResult &R) {
    EXPECT_EQ(R.Stdout, "ERROR: a.bmp -> a.vkp Converted OK\r\n");
    EXPECT_EQ(R.ExitCode, 0);
  }
  ScratchDir Dir;
};

TEST_F(Convert, PacksRowsLeftmostPixelInTheTopBit) {
  expectConverted(convert(picture24({"."}).build(), 1, 1));
  EXPECT_EQ(patch(), "; Picture #2\r\n00000200: 7F ;..\r\n");

  expectConverted(convert(picture24({"XXXXXXXX"}).build(), 8, 1));
  EXPECT_EQ(patch(), "; Picture #2\r\n00000200: FF ;XXXXXXXXXXXXXXXX\r\n");

  expectConverted(
      convert(picture24({"X.X.X.X.XX", ".........."}).build(), 10, 2, 0x2000));
  EXPECT_EQ(patch(), "; Picture #2\r\n"
                     "001A2B3C: AAFF ;XX..XX..XX..XX..XXXX\r\n"
                     "001A2B3E: 003F ;....................\r\n");
}

TEST_F(Convert, OffsetsWrapAtThirtyTwoBits) {
  expectConverted(convert(picture24({"X", "X"}).build(), 9, 2, 0x3000));
  EXPECT_EQ(patch(), "; Picture #2\r\n"
                     "FFFFFFFE: 807F ;XX................\r\n"
                     "00000000: 807F ;XX................\r\n");
}

TEST_F(Convert, EmptySizes) {
  expectConverted(convert(picture24({"X"}).build(), 0, 3));
  EXPECT_EQ(patch(), "; Picture #2\r\n00000200:  ;\r\n00000200:  ;\r\n"
                     "00000200:  ;\r\n");
  expectConverted(convert(picture24({"X"}).build(), 5, 0));
  EXPECT_EQ(patch(), "; Picture #2\r\n");
}

TEST_F(Convert, EmptyBmpBecomesAllPaper) {
  expectConverted(convert({}, 12, 2));
  EXPECT_EQ(patch(), "; Picture #2\r\n"
                     "00000200: 000F ;........................\r\n"
                     "00000202: 000F ;........................\r\n");
}

TEST_F(Convert, CutsAndExtendsAtTheTopLeft) {
  expectConverted(convert(picture24({"XX.XX", "X.X.X", ".XXX.", "XXXXX"}).build(), 3, 2));
  EXPECT_EQ(patch(), "; Picture #2\r\n"
                     "00000200: DF ;XXXX..\r\n"
                     "00000201: BF ;XX..XX\r\n");

  expectConverted(convert(picture24({"XX", "X."}).build(), 4, 3));
  EXPECT_EQ(patch(), "; Picture #2\r\n"
                     "00000200: CF ;XXXX....\r\n"
                     "00000201: 8F ;XX......\r\n"
                     "00000202: 0F ;........\r\n");
}

TEST_F(Convert, FailuresAndWhatThePatchHolds) {
  // The BMP cannot be loaded: the header line stays.
  RunResult Bad = convert({'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4, 4);
  EXPECT_EQ(Bad.Stdout, "ERROR: cannot load a.bmp\r\n");
  EXPECT_EQ(Bad.ExitCode, 1);
  EXPECT_EQ(patch(), "; Picture #2\r\n");

  // No block holds the address: no row lines at all.
  RunResult Unmapped = convert(picture24({"X"}).build(), 1, 1, 0x9234);
  EXPECT_EQ(Unmapped.Stdout, "ERROR: Unmapped picture address 00009234\r\n");
  EXPECT_EQ(Unmapped.ExitCode, 1);
  EXPECT_EQ(patch(), "; Picture #2\r\n");

  // The table entry lies beyond the end of the dump: nothing is written.
  writeFile(Dir / "full.bin", std::string(100, '\0'));
  RunResult Short = runTorvel({"-Cmap.ini", "a.bmp", "full.bin", "2"}, Dir.path());
  EXPECT_EQ(Short.Stdout, "ERROR: Bad FF file full.bin\r\n");
  EXPECT_EQ(Short.ExitCode, 1);
  EXPECT_EQ(patch(), "");

  RunResult Wrapped =
      runTorvel({"-Cmap.ini", "a.bmp", "full.bin", "$0FFE441A"}, Dir.path());
  EXPECT_EQ(Wrapped.Stdout, "ERROR: Bad FF file full.bin\r\n");
}

#ifdef __linux__
TEST_F(Convert, FullDiskIsNotConverted) {
  writeFile(Dir / "a.bmp", picture24({"X"}).build());
  writeFile(Dir / "full.bin", flashWithEntry(0, 1, 1, 0x1000, 0));
  RunResult R = runTorvel({"-Cmap.ini", "a.bmp", "full.bin", "0", "/dev/full"},
                          Dir.path());
  EXPECT_EQ(R.Stdout, "ERROR: Cannot save to /dev/full\r\n");
  EXPECT_EQ(R.ExitCode, 1);
}
#endif

TEST_F(Convert, ReportInTheErrorFile) {
  writeFile(Dir / "a.bmp", picture24({"X"}).build());
  writeFile(Dir / "full.bin", flashWithEntry(0, 1, 1, 0x1000, 0));
  RunResult R = runTorvel({"-Cmap.ini", "-Elog.txt", "a.bmp", "full.bin", "0",
                           "out.vkp"},
                          Dir.path());
  EXPECT_EQ(R.Stdout, "");
  EXPECT_EQ(R.ExitCode, 0);
  EXPECT_EQ(readFile(Dir / "log.txt"), "ERROR: a.bmp -> out.vkp Converted OK\r\n");
  EXPECT_EQ(readFile(Dir / "out.vkp"), "; Picture #0\r\n00000200: FF ;XX\r\n");
}

} // namespace
} // namespace torvel::test
