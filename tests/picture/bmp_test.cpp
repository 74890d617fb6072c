#include "picture/bmp.h"

#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#ifdef __unix__
#include <sys/resource.h>
#endif

namespace torvel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Shown {
  const char *Name;
  Bytes File;
  // The reason of a failed load, else "<width>x<height>:" as loaded and the rows
  // after setting each width and height of Sizes (the load keeps the first two), at most
  // 255 x 255, each row ended by '/': a digit for colours 0 to 9, '.' for white, else hex.
  std::string Expected;
  std::vector<std::int32_t> Sizes = {};
};

void expectShown(const std::vector<Shown> &Rows) {
  for (const Shown &R : Rows) {
    SCOPED_TRACE(R.Name);
    ScratchDir Dir;
    writeFile(Dir / "p.bmp", R.File);
    TBitmap P;
    std::string Text;
    const bool Sized = !R.Sizes.empty();
    if (P.loadFromFile(Dir / "p.bmp", Sized ? R.Sizes[0] : 255, Sized ? R.Sizes[1] : 255, Text)) {
      Text = std::to_string(P.width()) + "x" + std::to_string(P.height()) + ":";
      for (std::size_t I = 0; I < R.Sizes.size(); ++I)
        I % 2 ? P.setHeight(R.Sizes[I]) : P.setWidth(R.Sizes[I]);
      for (std::int32_t Y = 0; Y < P.height() && Y < 255; ++Y, Text += '/')
        for (std::int32_t X = 0; X < P.width() && X < 255; ++X) {
          const std::uint32_t C = P.pixel(X, Y);
          char Hex[16];
          std::snprintf(Hex, sizeof Hex, C < 10 ? "%X" : "<%06X>", C);
          Text += C == ColourWhite ? "." : Hex;
        }
    }
    EXPECT_EQ(Text, R.Expected);
  }
}

Bytes onePixel(std::uint16_t BitCount, Bytes Pixel, std::vector<std::uint32_t> Table = {}) {
  return BmpBuilder{.BitCount = BitCount, .Table = std::move(Table)}.row(Pixel).build();
}

Bytes masked(std::uint16_t BitCount, Bytes Pixel, std::array<std::uint32_t, 3> Masks,
             std::uint32_t HeaderSize = 40) {
  BmpBuilder B{.HeaderSize = HeaderSize, .BitCount = BitCount, .Compression = 3, .Masks = Masks};
  return B.row(Pixel).build();
}

TEST(BmpColour, EachFormatGivesTheFormatsColour) {
  expectShown({
      {"24-bit B,G,R", onePixel(24, {1, 2, 3}), "1x1:<010203>/"},
      {"24-bit RGB 0,0,1", onePixel(24, {1, 0, 0}), "1x1:<010000>/"},
      {"32-bit fourth byte ignored", onePixel(32, {0, 0, 0, 0xFF}), "1x1:0/"},
      {"32-bit RGB 1,0,0", onePixel(32, {0, 0, 1, 0xFF}), "1x1:1/"},
      {"16-bit bit 15 ignored", onePixel(16, {0x00, 0x80}), "1x1:0/"},
      {"16-bit smallest blue", onePixel(16, {0x01, 0x00}), "1x1:<080000>/"},
      {"5-6-5 smallest green", masked(16, {0x20, 0}, {0xF800, 0x7E0, 0x1F}), "1x1:<000400>/"},
      {"10-10-10 smallest blue stays non-black",
       masked(32, {1, 0, 0, 0}, {0x3FF00000, 0xFFC00, 0x3FF}), "1x1:<010000>/"},
      {"56-byte header", masked(16, {0x1F, 0}, {0x7C00, 0x3E0, 0x1F}, 56), "1x1:<FF0000>/"},
  });
}

// 8-bit rows of digits, top row first, each byte the digit's character:
// that index has the digit's colour, any other index (255 too) colour 9.
Bytes digits(std::vector<std::string> Rows, std::int32_t Sign = 1, std::uint32_t Header = 40) {
  BmpBuilder B{.HeaderSize = Header, .Width = std::int32_t(Rows[0].size()),
               .Height = Sign * std::int32_t(Rows.size()), .BitCount = 8};
  for (std::uint32_t I = 0; I < 256; ++I)
    B.Table.push_back(I >= '0' && I < '9' ? I - '0' : 9);
  for (std::size_t I = 0; I < Rows.size(); ++I)
    B.row(Bytes(Rows[Sign > 0 ? Rows.size() - 1 - I : I].begin(),
                Rows[Sign > 0 ? Rows.size() - 1 - I : I].end()));
  return B.build();
}

// 5 x 3, unset pixels at entry 0 (colour 5): bottom row a run of 1s and an absolute
// 2,3,2 cut at the row end; a delta over the middle row; top row 3, a delta, 3s cut.
Bytes runLength(std::uint16_t BitCount) {
  const Bytes Data = BitCount == 8
      ? Bytes{3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 0, 1, 1, 3, 0, 2, 1, 0, 9, 3, 0, 1}
      : Bytes{3, 0x11, 0, 3, 0x23, 0x20, 0, 0, 0, 2, 0, 1, 1, 0x33, 0, 2, 1, 0, 9, 0x33, 0, 1};
  return BmpBuilder{.Width = 5, .Height = 3, .BitCount = BitCount,
                    .Compression = BitCount == 8 ? 1u : 2u, .ImageSize = std::uint32_t(Data.size()),
                    .Table = {5, 1, 2, 3}, .Pixels = Data}.build();
}

// Base with the little-endian field at Offset set to Value.
Bytes patched(Bytes Base, std::size_t Offset, std::size_t Size, std::uint32_t Value) {
  for (std::size_t I = 0; I < Size; ++I)
    Base.at(Offset + I) = static_cast<std::uint8_t>(Value >> (8 * I));
  return Base;
}

TEST(BmpLayout, RowsAndPixelDataAreReadWhereTheFilePutsThem) {
  // Index 1 after a gap of filler that reads black, as an index beyond the table.
  const Bytes Gap =
      BmpBuilder{.BitCount = 8, .Table = {ColourWhite, 1}, .Gap = 4}.row({1}).build();
  // Index 1 in both rows; entry 0 shows where zero bytes were read.
  BmpBuilder TwoRows{.Height = 2, .BitCount = 8, .Table = {2, 1}, .Pixels = {1, 0, 0, 0}};
  const Bytes Cut = TwoRows.build();
  TwoRows.ImageSize = 4;
  const std::vector<std::string> Pic = {"012", "345", "678"};
  expectShown({
      {"bottom-up", digits(Pic), "3x3:012/345/678/"},
      {"top-down", digits(Pic, -1), "3x3:012/345/678/"},
      {"core header", digits(Pic, 1, 12), "3x3:012/345/678/"},
      {"region only", digits(Pic), "3x3:01/34/", {2, 2}},
      {"run-length 8", runLength(8), "5x3:35333/55555/11123/"},
      {"run-length 8, region only", runLength(8), "5x3:35/55/", {2, 2}},
      {"run-length 4", runLength(4), "5x3:35333/55555/11123/"},
      {"gap honoured", Gap, "1x1:1/"},
      {"offset inside the headers", patched(Gap, 10, 4, 20), "1x1:0/"},
      {"offset past the end", patched(Gap, 10, 4, 5000), "1x1:0/"},
      {"file ends inside the data", Cut, "1x2:2/1/"},
      {"image size below the data", TwoRows.row({1}).build(), "1x2:2/1/"},
  });
}

TEST(BmpResize, NewPixelsTakeTheFillAndCutPixelsStayLost) {
  expectShown({
      {"8-bit", digits({"012", "345"}), "3x2:019/349/999/", {2, 2, 3, 3}},
      {"top-down", digits({"012", "345"}, -1), "3x2:019/", {2, 1, 3, 1}},
      {"16-bit", onePixel(16, {0, 0}), "1x1:0./../", {2, 2}},
      {"1-bit (white, black)", onePixel(1, {0}, {ColourWhite, 0}), "1x1:.0/00/", {2, 2}},
      {"1-bit (black, white)", onePixel(1, {0}, {0, ColourWhite}), "1x1:0./../", {2, 2}},
      {"4-bit, fill beyond the table", onePixel(4, {0}, {ColourWhite}), "1x1:.0/00/", {2, 2}},
      {"run-length", runLength(8), "5x3:35333./55555./11123./", {6, 3}},
  });
}

TEST(BmpLoad, FailsWithTheReasonOrLoadsHostileSizesQuickly) {
  const std::string Stream = "Stream read error", Invalid = "Bitmap image is not valid";
  const Bytes Base = onePixel(8, {0}, {0});
  expectShown({
      {"13 bytes", Bytes(Base.begin(), Base.begin() + 13), Stream},
      {"BA", patched(Base, 1, 1, 'A'), Invalid},
      {"header size 39", patched(Base, 14, 4, 39), Invalid},
      {"header size 2^32 - 1", patched(Base, 14, 4, 0xFFFFFFFF), Stream},
      {"width 0", patched(Base, 18, 4, 0), Invalid},
      {"height 0", patched(Base, 22, 4, 0), Invalid},
      {"planes 2", patched(Base, 26, 2, 2), Invalid},
      {"bit count 2", patched(Base, 28, 2, 2), Invalid},
      {"run-length 4 on 8 bits", patched(Base, 30, 4, 2), Invalid},
      {"bit fields on 8 bits", patched(Base, 30, 4, 3), Invalid},
      {"compression 4", patched(Base, 30, 4, 4), Invalid},
      {"top-down run-length", patched(patched(Base, 30, 4, 1), 22, 4, 0xFFFFFFFF), Invalid},
      {"pixel store of 4 GiB", patched(patched(Base, 18, 4, 65536), 22, 4, 65536), Invalid},
      {"masks cut off", patched(patched(Base, 28, 2, 16), 30, 4, 3), Stream},
      {"table cut off", Bytes(Base.begin(), Base.begin() + 57), Stream},
      {"colours used 2^32 - 1", patched(Base, 46, 4, 0xFFFFFFFF), Stream},
      {"width 2^31 - 1", patched(onePixel(1, {0}, {1, 0}), 18, 4, 0x7FFFFFFF),
       "2147483647x1:1/", {1, 1}},
      {"image size 2^32 - 1", patched(onePixel(24, {0, 0, 5}), 34, 4, 0xFFFFFFFF), "1x1:5/"},
      {"core width 40000", BmpBuilder{.HeaderSize = 12, .Width = 40000}.row({0, 0, 5}).build(),
       "40000x1:5/", {1, 1}},
  });
  ScratchDir Dir;
  for (const std::string &Name : {Dir / "missing.bmp", Dir.path()}) {
    std::string Reason;
    TBitmap().loadFromFile(Name, 255, 255, Reason);
    EXPECT_EQ(Reason, "Cannot open file " + Name);
  }
}

TEST(BmpLoad, HugeBottomUpFileReadsOnlyTheRowsShown) {
  // 1.2 GB of 24-bit rows, sparse; the top-left pixel is in the last stored row.
  ScratchDir Dir;
  const std::string Path = Dir / "huge.bmp";
  writeFile(Path, BmpBuilder{.Width = 20000, .Height = 20000}.build());
  std::filesystem::resize_file(Path, 54 + 60000ull * 20000);
  std::fstream(Path, std::ios::in | std::ios::out | std::ios::binary)
      .seekp(54 + 60000ll * 19999).write("\x01\x02\x03", 3)
      .seekp(54 + 60000ll * 19745 + 254 * 3).write("\x04\x05\x06", 3);
#ifdef __unix__
  rusage Usage{};
  auto Peak = [&Usage] { return getrusage(RUSAGE_SELF, &Usage) == 0 ? Usage.ru_maxrss : 0; };
#else
  auto Peak = [] { return 0L; };
#endif
  const long PeakBefore = Peak();
  const auto Start = std::chrono::steady_clock::now();
  TBitmap P;
  std::string Reason;
  ASSERT_TRUE(P.loadFromFile(Path, 255, 255, Reason)) << Reason;
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
  EXPECT_LT(Peak() - PeakBefore, 16 * 1024);
  EXPECT_EQ(std::pair(P.pixel(0, 0), P.pixel(254, 254)), std::pair(0x010203u, 0x040506u));
}

} // namespace
} // namespace torvel::test
