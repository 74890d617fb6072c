#include "picture/bmp.h"

#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

#ifdef __unix__
#include <sys/resource.h>
#endif

namespace torvel::test {
namespace {

struct Loaded {
  bool Ok = false;
  std::string Reason;
  TBitmap Picture;
};

Loaded load(const std::vector<std::uint8_t> &Bytes, std::int32_t KeepWidth = 255,
            std::int32_t KeepHeight = 255) {
  ScratchDir Dir;
  writeFile(Dir / "p.bmp", Bytes);
  Loaded L;
  L.Ok = L.Picture.loadFromFile(Dir / "p.bmp", KeepWidth, KeepHeight, L.Reason);
  return L;
}

BmpBuilder onePixel(std::uint16_t BitCount, std::vector<std::uint8_t> Pixel,
                    std::vector<std::uint32_t> Table = {}) {
  BmpBuilder B;
  B.BitCount = BitCount;
  B.Table = std::move(Table);
  B.row(std::move(Pixel));
  return B;
}

BmpBuilder withMasks(BmpBuilder B, std::array<std::uint32_t, 3> Masks) {
  B.Compression = 3;
  B.Masks = Masks;
  return B;
}

TEST(BmpColour, EachFormatGivesTheFormatsColour) {
  BmpBuilder Core = onePixel(8, {1}, {0x123456, 0x0000FF});
  Core.HeaderSize = 12;
  Core.Table.resize(256); // a core header cannot say how many entries
  BmpBuilder InHeader = withMasks(onePixel(16, {0x1F, 0}), {0x7C00, 0x3E0, 0x1F});
  InHeader.HeaderSize = 56;
  const struct {
    const char *Name;
    BmpBuilder File;
    std::uint32_t Colour;
  } Cases[] = {
      {"24-bit B,G,R", onePixel(24, {1, 2, 3}), 0x010203},
      {"24-bit RGB 0,0,1", onePixel(24, {1, 0, 0}), 0x010000},
      {"32-bit fourth byte ignored", onePixel(32, {0, 0, 0, 0xFF}), 0},
      {"32-bit RGB 1,0,0", onePixel(32, {0, 0, 1, 0xFF}), 0x000001},
      {"16-bit bit 15 ignored", onePixel(16, {0x00, 0x80}), 0},
      {"16-bit smallest blue", onePixel(16, {0x01, 0x00}), 0x080000},
      {"5-6-5 smallest green",
       withMasks(onePixel(16, {0x20, 0}), {0xF800, 0x7E0, 0x1F}), 0x000400},
      {"10-10-10 smallest blue stays non-black",
       withMasks(onePixel(32, {1, 0, 0, 0}), {0x3FF00000, 0xFFC00, 0x3FF}),
       0x010000},
      {"bits outside the masks",
       withMasks(onePixel(32, {0, 0, 0, 0xFF}), {0xFF0000, 0xFF00, 0xFF}), 0},
      {"zero blue mask",
       withMasks(onePixel(16, {0x1F, 0}), {0xF800, 0x7E0, 0}), 0},
      {"masks inside a 56-byte header", InHeader, 0xFF0000},
      {"8-bit near-black entry", onePixel(8, {1}, {0, 0x010000}), 0x010000},
      {"8-bit index beyond the table", onePixel(8, {5}, {0xFFFFFF}), 0},
      {"core header, 3-byte entries", Core, 0x0000FF},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Loaded L = load(Case.File.build());
    ASSERT_TRUE(L.Ok) << L.Reason;
    EXPECT_EQ(L.Picture.pixel(0, 0), Case.Colour);
  }
}

// A 24-bit 20 x 10 picture whose pixel (X, Y) as displayed is X | Y << 8 | 1 << 16.
BmpBuilder numbered(std::int32_t Height, std::uint32_t HeaderSize = 40) {
  BmpBuilder B;
  B.HeaderSize = HeaderSize;
  B.Width = 20;
  B.Height = Height;
  for (int Stored = 0; Stored < 10; ++Stored) {
    const int Y = Height < 0 ? Stored : 9 - Stored;
    std::vector<std::uint8_t> Row;
    for (int X = 0; X < 20; ++X)
      Row.insert(Row.end(), {1, static_cast<std::uint8_t>(Y),
                             static_cast<std::uint8_t>(X)});
    B.row(Row);
  }
  return B;
}

TEST(BmpLayout, KeepsTheTopLeftRegionInEitherRowOrder) {
  const struct {
    const char *Name;
    BmpBuilder File;
    std::int32_t Keep;
  } Cases[] = {{"bottom-up", numbered(10), 255},
               {"top-down", numbered(-10), 255},
               {"core header", numbered(10, 12), 255},
               {"bottom-up, region only", numbered(10), 8},
               {"top-down, region only", numbered(-10), 4}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Loaded L = load(Case.File.build(), Case.Keep, Case.Keep);
    ASSERT_TRUE(L.Ok) << L.Reason;
    EXPECT_EQ(L.Picture.width(), 20);
    EXPECT_EQ(L.Picture.height(), 10);
    L.Picture.setWidth(8);
    L.Picture.setHeight(4);
    for (int Y = 0; Y < 4; ++Y)
      for (int X = 0; X < std::min(8, Case.Keep); ++X)
        EXPECT_EQ(L.Picture.pixel(X, Y), std::uint32_t(X | Y << 8 | 1 << 16))
            << X << "," << Y;
  }
}

TEST(BmpResize, NewPixelsTakeTheFill) {
  BmpBuilder Rle = onePixel(8, {1, 0, 0, 1}, {0});
  Rle.Compression = 1;
  const struct {
    const char *Name;
    std::vector<std::uint8_t> File;
    std::uint32_t Fill;
  } Cases[] = {
      {"empty file", {}, ColourWhite},
      {"24-bit", onePixel(24, {0, 0, 0}).build(), ColourWhite},
      {"16-bit", onePixel(16, {0, 0}).build(), ColourWhite},
      {"1-bit (white, black)", onePixel(1, {0}, {0xFFFFFF, 0}).build(), 0},
      {"1-bit (black, white)", onePixel(1, {0}, {0, 0xFFFFFF}).build(),
       ColourWhite},
      {"4-bit, index 15 beyond the table",
       onePixel(4, {0}, {0xFFFFFF, 0xFFFFFF}).build(), 0},
      {"run-length, all-black table", Rle.build(), ColourWhite}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Loaded L = load(Case.File);
    ASSERT_TRUE(L.Ok) << L.Reason;
    L.Picture.setWidth(8);
    L.Picture.setHeight(8);
    EXPECT_EQ(L.Picture.pixel(7, 0), Case.Fill);
    EXPECT_EQ(L.Picture.pixel(0, 7), Case.Fill);
  }
}

TEST(BmpResize, SizesFollowTheCallsAndCutPixelsStayLost) {
  Loaded L = load(numbered(10).build());
  L.Picture.setWidth(0);
  L.Picture.setHeight(5);
  EXPECT_EQ(L.Picture.width(), 0);
  EXPECT_EQ(L.Picture.height(), 5);

  L = load(numbered(10).build());
  L.Picture.setHeight(0);
  EXPECT_EQ(L.Picture.height(), 0);
  L.Picture.setHeight(10);
  EXPECT_EQ(L.Picture.pixel(0, 0), ColourWhite);

  L = load(numbered(10).build());
  L.Picture.setWidth(2);
  L.Picture.setWidth(20);
  EXPECT_EQ(L.Picture.pixel(1, 0), 0x10001u);
  EXPECT_EQ(L.Picture.pixel(2, 0), ColourWhite);
}

TEST(BmpPixelData, StartAtTheOffsetWhenItLeavesAGap) {
  const struct {
    const char *Name;
    std::uint32_t Gap;
    std::optional<std::uint32_t> Offset;
  } Cases[] = {{"gap honoured", 4, std::nullopt},
               {"offset inside the table", 0, 20},
               {"offset past the end", 0, 5000}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    BmpBuilder B = onePixel(8, {1}, {0xFFFFFF, 0x0000FF});
    B.Gap = Case.Gap;
    B.PixelOffset = Case.Offset;
    Loaded L = load(B.build());
    ASSERT_TRUE(L.Ok) << L.Reason;
    EXPECT_EQ(L.Picture.pixel(0, 0), 0x0000FFu);
  }
}

TEST(BmpPixelData, BytesNotPresentReadAsZero) {
  // Two rows of index 1; entry 0 shows where zero bytes were read.
  BmpBuilder Small = onePixel(8, {1}, {0x00FF00, 0x0000FF});
  Small.Height = 2;
  Small.row({1});
  Small.ImageSize = 4;
  BmpBuilder Cut = Small;
  Cut.ImageSize = 0;
  Cut.Pixels.resize(4);
  for (const BmpBuilder &B : {Small, Cut}) {
    Loaded L = load(B.build());
    ASSERT_TRUE(L.Ok) << L.Reason;
    EXPECT_EQ(L.Picture.pixel(0, 1), 0x0000FFu);
    EXPECT_EQ(L.Picture.pixel(0, 0), 0x00FF00u);
  }
}

TEST(BmpRunLength, ClipsAtRowEndsAndLeavesSkippedPixelsAtEntryZero) {
  // Bottom row: run of 1s, absolute 2,3,2 clipped after two; then a delta
  // over the middle row; top row: a run of 3s clipped at the row end.
  BmpBuilder Rle8;
  Rle8.BitCount = 8;
  Rle8.Compression = 1;
  Rle8.Pixels = {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 2, 1, 9, 3, 0, 1};
  BmpBuilder Rle4 = Rle8;
  Rle4.BitCount = 4;
  Rle4.Compression = 2;
  Rle4.Pixels = {3, 0x11, 0, 3, 0x23, 0x20, 0, 0, 0, 2, 2, 1, 9, 0x33, 0, 1};
  const char *Expected[] = {"00333", "00000", "11123"};
  const std::uint32_t Table[] = {0x111111, 0x222222, 0x333333, 0x444444};
  for (BmpBuilder B : {Rle8, Rle4}) {
    B.Width = 5;
    B.Height = 3;
    // Left at 0 it would mean stride x height, too few bytes for RLE4 here.
    B.ImageSize = static_cast<std::uint32_t>(B.Pixels.size());
    B.Table.assign(std::begin(Table), std::end(Table));
    for (std::int32_t Keep : {255, 4, 1}) {
      SCOPED_TRACE(std::to_string(B.BitCount) + " bits, keep " +
                   std::to_string(Keep));
      Loaded L = load(B.build(), Keep, Keep);
      ASSERT_TRUE(L.Ok) << L.Reason;
      for (int Y = 0; Y < std::min(3, Keep); ++Y)
        for (int X = 0; X < std::min(5, Keep); ++X)
          EXPECT_EQ(L.Picture.pixel(X, Y), Table[Expected[Y][X] - '0'])
              << X << "," << Y;
    }
  }
}

// Base with the little-endian field at Offset set to Value.
std::vector<std::uint8_t> patched(std::vector<std::uint8_t> Base,
                                  std::size_t Offset, std::size_t Bytes,
                                  std::uint32_t Value) {
  for (std::size_t I = 0; I < Bytes; ++I)
    Base.at(Offset + I) = static_cast<std::uint8_t>(Value >> (8 * I));
  return Base;
}

TEST(BmpLoad, FailsWithTheReason) {
  const std::string Stream = "Stream read error";
  const std::string Invalid = "Bitmap image is not valid";
  const std::vector<std::uint8_t> Base = onePixel(8, {0}, {0}).build();
  auto Cut = [](std::vector<std::uint8_t> File, std::size_t Length) {
    File.resize(Length);
    return File;
  };
  const struct {
    const char *Name;
    std::vector<std::uint8_t> File;
    std::string Reason;
  } Cases[] = {
      {"one byte", Cut(Base, 1), Stream},
      {"13 bytes", Cut(Base, 13), Stream},
      {"BA", patched(Base, 1, 1, 'A'), Invalid},
      {"header size 16", patched(Base, 14, 4, 16), Invalid},
      {"header size 39", patched(Base, 14, 4, 39), Invalid},
      {"header size 0xFFFFFFFF", patched(Base, 14, 4, 0xFFFFFFFF), Stream},
      {"header cut off", Cut(Base, 40), Stream},
      {"width 0", patched(Base, 18, 4, 0), Invalid},
      {"width -1", patched(Base, 18, 4, 0xFFFFFFFF), Invalid},
      {"height 0", patched(Base, 22, 4, 0), Invalid},
      {"planes 0", patched(Base, 26, 2, 0), Invalid},
      {"planes 2", patched(Base, 26, 2, 2), Invalid},
      {"bit count 2", patched(Base, 28, 2, 2), Invalid},
      {"bit count 64", patched(Base, 28, 2, 64), Invalid},
      {"run-length 4 on 8 bits", patched(Base, 30, 4, 2), Invalid},
      {"bit fields on 8 bits", patched(Base, 30, 4, 3), Invalid},
      {"compression 4", patched(Base, 30, 4, 4), Invalid},
      {"compression 6", patched(Base, 30, 4, 6), Invalid},
      {"top-down run-length",
       patched(patched(Base, 30, 4, 1), 22, 4, 0xFFFFFFFF), Invalid},
      {"pixel store of 4 GiB",
       patched(patched(Base, 18, 4, 65536), 22, 4, 65536), Invalid},
      {"masks cut off",
       Cut(withMasks(onePixel(16, {0, 0}), {0xF800, 0x7E0, 0x1F}).build(), 60),
       Stream},
      {"table cut off", Cut(Base, 57), Stream},
      {"colours used 0xFFFFFFFF", patched(Base, 46, 4, 0xFFFFFFFF), Stream},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Loaded L = load(Case.File);
    EXPECT_FALSE(L.Ok);
    EXPECT_EQ(L.Reason, Case.Reason);
  }

  ScratchDir Dir;
  for (const std::string &Name : {Dir / "missing.bmp", Dir.path()}) {
    TBitmap Picture;
    std::string Reason;
    EXPECT_FALSE(Picture.loadFromFile(Name, 255, 255, Reason));
    EXPECT_EQ(Reason, "Cannot open file " + Name);
  }
}

TEST(BmpLoad, HostileSizesLoadQuickly) {
  BmpBuilder Wide = onePixel(1, {0}, {0x0000FF, 0});
  Wide.Width = 0x7FFFFFFF;
  BmpBuilder HugeImageSize = onePixel(24, {1, 1, 1});
  HugeImageSize.ImageSize = 0xFFFFFFFF;
  BmpBuilder CoreWide = onePixel(24, {1, 1, 1});
  CoreWide.HeaderSize = 12;
  CoreWide.Width = 40000;
  const struct {
    const char *Name;
    BmpBuilder File;
    std::int32_t Width;
    std::uint32_t TopLeft;
  } Cases[] = {{"width 2^31 - 1", Wide, 0x7FFFFFFF, 0x0000FF},
               {"image size 0xFFFFFFFF", HugeImageSize, 1, 0x010101},
               {"core width 40000", CoreWide, 40000, 0x010101}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Loaded L = load(Case.File.build());
    ASSERT_TRUE(L.Ok) << L.Reason;
    EXPECT_EQ(L.Picture.width(), Case.Width);
    EXPECT_EQ(L.Picture.pixel(0, 0), Case.TopLeft);
  }
}

// The process's peak memory, which only grows: a load that held the whole
// file would show in it.
#ifdef __unix__
long peakKib() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return Usage.ru_maxrss;
}
#else
long peakKib() { return 0; }
#endif

TEST(BmpLoad, HugeBottomUpFileReadsOnlyTheRowsShown) {
  BmpBuilder B;
  B.Width = B.Height = 20000;
  ScratchDir Dir;
  const std::string Path = Dir / "huge.bmp";
  writeFile(Path, B.build());
  const std::uint64_t Stride = 60000;
  // Sparse: the 1.2 GB of pixel rows take no disk space.
  std::filesystem::resize_file(Path, 54 + Stride * 20000);
  {
    std::fstream Out(Path, std::ios::in | std::ios::out | std::ios::binary);
    // Top-left pixel: last stored row; (254, 254): stored row 19745.
    Out.seekp(static_cast<std::streamoff>(54 + Stride * 19999));
    Out.write("\x01\x02\x03", 3);
    Out.seekp(static_cast<std::streamoff>(54 + Stride * 19745 + 254 * 3));
    Out.write("\x04\x05\x06", 3);
    ASSERT_TRUE(Out.good());
  }
  const long PeakBefore = peakKib();
  const auto Start = std::chrono::steady_clock::now();
  TBitmap Picture;
  std::string Reason;
  ASSERT_TRUE(Picture.loadFromFile(Path, 255, 255, Reason)) << Reason;
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
  EXPECT_LT(peakKib() - PeakBefore, 16 * 1024);
  Picture.setWidth(255);
  Picture.setHeight(255);
  EXPECT_EQ(Picture.pixel(0, 0), 0x010203u);
  EXPECT_EQ(Picture.pixel(254, 254), 0x040506u);
  EXPECT_EQ(Picture.pixel(1, 0), 0u);
}

} // namespace
} // namespace torvel::test
