#include "picture/bmp.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

// "<width>x<height>" and rows of 'X' where Black(X, Y) holds, else '.', up to 255 x 255.
std::string mask(std::int32_t W, std::int32_t H, auto Black) {
  std::string Text = std::to_string(W) + "x" + std::to_string(H) + "\n";
  for (std::int32_t Y = 0; Y < H && Y < 255; ++Y, Text += '\n')
    for (std::int32_t X = 0; X < W && X < 255; ++X)
      Text += Black(X, Y) ? 'X' : '.';
  return Text;
}

// A reference mask: a P4 bitmap, 1 = black.
std::string refMask(const std::string &Path) {
  const std::string Pbm = readFile(Path).value();
  std::istringstream Head(Pbm);
  std::string Magic;
  std::int32_t W = 0, H = 0;
  Head >> Magic >> W >> H;
  const std::size_t Bits = static_cast<std::size_t>(Head.tellg()) + 1;
  return Magic + " " + mask(W, H, [&](std::int32_t X, std::int32_t Y) {
           const std::size_t At = Bits + std::size_t(Y * ((W + 7) / 8) + X / 8);
           return (std::uint8_t(Pbm.at(At)) >> (7 - X % 8) & 1) != 0;
         });
}

TEST(BmpSuite, EveryFileLoadsOrFailsCleanlyAndGoodOnesMatchTheirMasks) {
  const std::map<std::string, bool> Loads = {
      {"badbitcount", false}, {"badwidth", false},  {"badplanes", false},      {"rletopdown", false},
      {"reallybig", false},   {"shortfile", true},  {"badpalettesize", false}, {"badbitssize", true}};
  int Compared = 0;
  for (const char *Folder : {"g", "q", "b"})
    for (const fs::directory_entry &File : fs::directory_iterator(dataPath("bmpsuite/") + Folder)) {
      const std::string Stem = File.path().stem().string();
      SCOPED_TRACE(Stem);
      TBitmap P;
      std::string Reason;
      const bool Loaded = P.loadFromFile(File.path().string(), 255, 255, Reason);
      EXPECT_EQ(Loaded, Loads.contains(Stem) ? Loads.at(Stem) : Loaded);
      // Reading the pixels must not crash either.
      const std::string Mask = mask(P.width(), P.height(), [&](std::int32_t X, std::int32_t Y) {
        return P.pixel(X, Y) == 0;
      });
      // Two references rest on choices the format leaves open: a short core table, 300 colours.
      const std::string Ref = dataPath("bmpsuite/ref/" + Stem + ".pbm");
      if (fs::exists(Ref) && Stem != "pal8os2sp" && Stem != "rgb24largepal") {
        EXPECT_EQ("P4 " + Mask, refMask(Ref));
        ++Compared;
      }
    }
  EXPECT_EQ(Compared, 51);
}

} // namespace
} // namespace torvel::test
