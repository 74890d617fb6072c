#include "picture/bmp.h"

#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

namespace torvel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "refused", else "<width>x<height>:" as loaded and the rows after setting each width
// and height of Sizes (the load keeps the first two), each row ended by '/': a digit for
// colours 0 to 9, '.' for white, else the colour in hex.
std::string shown(const std::string &File, const std::vector<std::int32_t> &Sizes = {}) {
  ScratchDir Dir;
  writeFile(Dir / "p.bmp", File);
  TBitmap P;
  std::string Reason;
  const bool Sized = !Sizes.empty();
  if (!P.loadFromFile(Dir / "p.bmp", Sized ? Sizes[0] : 255, Sized ? Sizes[1] : 255, Reason))
    return "refused";
  std::string Text = std::to_string(P.width()) + "x" + std::to_string(P.height()) + ":";
  for (std::size_t I = 0; I < Sizes.size(); ++I)
    I % 2 ? P.setHeight(Sizes[I]) : P.setWidth(Sizes[I]);
  for (std::int32_t Y = 0; Y < P.height() && Y < 255; ++Y, Text += '/')
    for (std::int32_t X = 0; X < P.width() && X < 255; ++X) {
      char Hex[16];
      std::snprintf(Hex, sizeof Hex, P.pixel(X, Y) < 10 ? "%X" : "<%06X>", P.pixel(X, Y));
      Text += P.pixel(X, Y) == ColourWhite ? "." : Hex;
    }
  return Text;
}

std::string onePixel(std::uint16_t BitCount, Bytes Pixel, std::vector<std::uint32_t> Table = {},
                     std::optional<std::array<std::uint32_t, 3>> Masks = {}) {
  return BmpBuilder{.BitCount = BitCount, .Compression = Masks ? 3u : 0u, .Table = Table,
                    .Masks = Masks}.row(Pixel).build();
}

// 8-bit rows of digits, top row first, each byte the digit's character:
// that index has the digit's colour, any other index (255 too) colour 9.
std::string digits(std::vector<std::string> Rows, std::int32_t Sign = 1) {
  BmpBuilder B{.Width = std::int32_t(Rows[0].size()), .Height = Sign * std::int32_t(Rows.size()),
               .BitCount = 8};
  for (std::uint32_t I = 0; I < 256; ++I)
    B.Table.push_back(I >= '0' && I < '9' ? I - '0' : 9);
  for (std::size_t I = 0; I < Rows.size(); ++I)
    B.row(Bytes(Rows[Sign > 0 ? Rows.size() - 1 - I : I].begin(),
                Rows[Sign > 0 ? Rows.size() - 1 - I : I].end()));
  return B.build();
}

// Base with the little-endian field at Offset set to Value.
std::string patched(std::string Base, std::size_t Offset, std::size_t Size, std::uint32_t Value) {
  for (std::size_t I = 0; I < Size; ++I)
    Base.at(Offset + I) = static_cast<char>(Value >> (8 * I));
  return Base;
}

TEST(BmpLoad, ColoursLayoutsAndTheFillOfNewPixels) {
  const std::string Base = onePixel(8, {0}, {0});
  // Index 1 in both rows; entry 0 shows where zero bytes were read.
  BmpBuilder TwoRows{.Height = 2, .BitCount = 8, .Table = {2, 1}, .Pixels = {1, 0, 0, 0}};
  const std::string Cut = TwoRows.build();
  const std::vector<std::string> Pic = {"012", "345", "678"};
  const std::pair<std::string, std::string> Rows[] = {
      {onePixel(24, {1, 2, 3}), "1x1:<010203>/"},
      {onePixel(32, {0, 0, 0, 0xFF}), "1x1:0/"},
      {onePixel(16, {0x01, 0x80}), "1x1:<080000>/"},
      {onePixel(16, {0x20, 0}, {}, {{0xF800, 0x7E0, 0x1F}}), "1x1:<000400>/"},
      // A wide component keeps a dark colour from reading black.
      {onePixel(32, {1, 0, 0, 0}, {}, {{0x3FF00000, 0xFFC00, 0x3FF}}), "1x1:<010000>/"},
      {digits(Pic, -1), "3x3:012/345/678/"},
      {digits(Pic), "3x3:012/345/678/"},
      // Pixels are read after the table, wherever the offset field points.
      {BmpBuilder{.BitCount = 8, .Table = {ColourWhite, 1}, .Gap = 4}.row({1}).build(), "1x1:1/"},
      {patched(Base, 10, 4, 5000), "1x1:0/"},
      {Cut, "1x2:2/1/"},
      {(TwoRows.ImageSize = 4, TwoRows.row({1}).build()), "1x2:2/1/"},
      {Base.substr(0, 13), "refused"},
      {patched(Base, 1, 1, 'A'), "refused"},
      {patched(patched(Base, 28, 2, 16), 30, 4, 3), "refused"},
  };
  for (const auto &[File, Expected] : Rows) {
    SCOPED_TRACE(Expected);
    EXPECT_EQ(shown(File), Expected);
  }
  // Cut, then extended: new pixels are white, or in uncompressed 1-, 4- and 8-bit pictures
  // the colour of the highest index, black beyond the table.
  auto Suite = [](std::string Name) {
    return readFile(TORVEL_TEST_DATA "/bmpsuite/g/" + Name).value();
  };
  const struct {
    std::string File;
    std::vector<std::int32_t> Sizes;
    const char *Expected;
  } Resized[] = {
      {digits({"012", "345"}), {2, 2, 3, 3}, "3x2:019/349/999/"},
      {digits({"012", "345"}, -1), {2, 1, 3, 1}, "3x2:019/"},
      {Suite("pal1.bmp"), {1, 1, 2, 2}, "127x64:../../"},
      {Suite("pal1wb.bmp"), {1, 1, 2, 2}, "127x64:.0/00/"},
      {Suite("pal4.bmp"), {1, 1, 2, 2}, "127x64:<0000FF>0/00/"},
      {Suite("pal8rle.bmp"), {1, 1, 2, 2}, "127x64:<0000FF>./../"},
      {digits(Pic), {2, 2}, "3x3:01/34/"},
  };
  for (const auto &Case : Resized) {
    SCOPED_TRACE(Case.Expected);
    EXPECT_EQ(shown(Case.File, Case.Sizes), Case.Expected);
  }
}

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
      {"badbitcount", false}, {"badwidth", false}, {"badplanes", false}, {"rletopdown", false},
      {"reallybig", false}, {"badpalettesize", false}, {"shortfile", true}, {"badbitssize", true}};
  int Compared = 0;
  for (const char *Folder : {"g", "q", "b"})
    for (const auto &File : std::filesystem::directory_iterator(
             std::string(TORVEL_TEST_DATA "/bmpsuite/") + Folder)) {
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
      const std::string Ref = TORVEL_TEST_DATA "/bmpsuite/ref/" + Stem + ".pbm";
      if (std::filesystem::exists(Ref) && Stem != "pal8os2sp" && Stem != "rgb24largepal") {
        EXPECT_EQ("P4 " + Mask, refMask(Ref));
        ++Compared;
      }
    }
  EXPECT_EQ(Compared, 51);
}

} // namespace
} // namespace torvel::test
