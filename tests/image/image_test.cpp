// The import pipeline and the sheet on plain values: every kind of picture
// and its refusals, fitting, ink and dithering, the bits every platform must
// agree on, and the sheet's layout.
#include "base/byte_source.h"
#include "image/decode.h"
#include "image/fit.h"
#include "image/grey.h"
#include "image/ink.h"
#include "image/png.h"
#include "image/sheet.h"
#include "picture/bmp.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>

namespace torvel::test {
namespace {

RgbaImage decodeBytes(const std::string &Bytes, std::string &Reason,
                      const DecodeLimits &Limits = {}) {
  MemorySource Source({reinterpret_cast<const std::uint8_t *>(Bytes.data()), Bytes.size()});
  return decodeImage(Source, Limits, Reason);
}

std::string picture(const std::string &Name) {
  return readFile(TORVEL_TEST_DATA "/images/" + Name).value();
}

template <typename LevelFn> GreyImage greyImage(std::int32_t W, std::int32_t H, LevelFn Level) {
  GreyImage Image{W, H, {}};
  for (std::int32_t Y = 0; Y < H; ++Y)
    for (std::int32_t X = 0; X < W; ++X)
      Image.Levels.push_back(static_cast<std::uint8_t>(Level(X, Y)));
  return Image;
}

// Packed rows as text: '#' for ink, '.' for paper, a line a row.
std::string drawing(const std::vector<std::uint8_t> &Rows, std::int32_t W, std::int32_t H) {
  std::string Text;
  const std::size_t RowBytes = (std::size_t(W) + 7) / 8;
  for (std::int32_t Y = 0; Y < H; ++Y, Text += '\n')
    for (std::int32_t X = 0; X < W; ++X)
      Text += Rows[std::size_t(Y) * RowBytes + std::size_t(X) / 8] & (0x80 >> X % 8) ? '#' : '.';
  return Text;
}

std::vector<std::uint8_t> ink(const GreyImage &Source, std::int32_t W, std::int32_t H, Fit Mode,
                              Dither D = Dither::None) {
  ImportOptions Options;
  Options.Dithering = D;
  return inkRows(fitImage(Source, W, H, Mode).value(), W, H, Options);
}

TEST(ImageDecode, EveryKindGivesItsQuarters) {
  const std::pair<const char *, int> Files[] = {
      {"quad.png", 0}, {"quad-rgba16.png", 0}, {"quad-palette.png", 0}, {"quad-grey.png", 0},
      {"quad.jpg", 3}, {"quad-progressive.jpg", 16}, {"quad-grey.jpg", 3}, {"quad.gif", 0},
      {"quad.bmp", 0}, {"quad.ppm", 0}, {"quad.pgm", 0}};
  for (const auto &[Name, Tolerance] : Files) {
    SCOPED_TRACE(Name);
    std::string Reason;
    const RgbaImage Image = decodeBytes(picture(Name), Reason);
    ASSERT_EQ(std::tuple(Image.width(), Image.height(), Reason), std::tuple(32, 16, ""));
    // Black, red, green, blue; the GIF's white second frame never shows.
    const GreyImage Grey = greyLevels(Image, false);
    const int Quarters[2][2] = {{0, 76}, {150, 29}};
    int Worst = 0;
    for (int Y = 0; Y < 16; ++Y)
      for (int X = 0; X < 32; ++X)
        Worst = std::max(Worst, std::abs(Grey.at(X, Y) - Quarters[Y / 8][X / 16]));
    EXPECT_LE(Worst, Tolerance);
  }
}

TEST(ImageDecode, BmpsStbRefusesReadAsTorvelReadsThem) {
  for (const char *Name : {"g/pal8rle.bmp", "g/pal4rle.bmp", "q/pal8rletrns.bmp", "b/shortfile.bmp"}) {
    SCOPED_TRACE(Name);
    const std::string Bytes = readFile(TORVEL_TEST_DATA "/bmpsuite/" + std::string(Name)).value();
    std::string Reason;
    const RgbaImage Image = decodeBytes(Bytes, Reason);
    MemorySource Source({reinterpret_cast<const std::uint8_t *>(Bytes.data()), Bytes.size()});
    TBitmap Bitmap;
    ASSERT_TRUE(Bitmap.load(Source, 1000, 1000, Reason));
    ASSERT_EQ(std::pair(Image.width(), Image.height()), std::pair(Bitmap.width(), Bitmap.height()));
    for (std::int32_t I = 0; I < Image.width() * Image.height(); ++I) {
      const std::uint8_t *P = &Image.pixels()[std::size_t(I) * 4];
      ASSERT_EQ(P[0] | P[1] << 8 | P[2] << 16 | P[3] << 24,
                Bitmap.pixel(I % Image.width(), I / Image.width()) | 0xFF000000u);
    }
  }
}

TEST(ImageDecode, RefusalsSayWhy) {
  const std::string Png = picture("quad.png");
  // A header that claims 20000 x 20000; stb_image itself refuses that size.
  std::string Huge = Png;
  std::memcpy(&Huge[16], "\0\0\x4E\x20\0\0\x4E\x20", 8);
  // 16 MiB of white squeezed by zlib, with a header that claims 8 x 8.
  std::string Bomb = writePng(greyImage(4096, 4096, [](int, int) { return 255; }));
  std::memcpy(&Bomb[16], "\0\0\0\x08\0\0\0\x08", 8);
  const std::string Noise = writePng(greyImage(64, 64, [](int X, int Y) { return X * 7 ^ Y * 13; }));
  std::string BadZlib = Png;
  BadZlib[41] = '\x7F';
  const std::string Big = writePng(greyImage(1024, 512, [](int, int) { return 0; }));
  const char *Large = " pixels is too large: at most ";
  const struct {
    const char *Name;
    std::string Bytes;
    DecodeLimits Limits;
    std::string Reason;
  } Cases[] = {
      {"text", "hello, world\n", {}, "not a PNG, JPEG, GIF, BMP or PNM picture"},
      {"empty", "", {}, "not a PNG, JPEG, GIF, BMP or PNM picture"},
      {"pbm", "P4\n1 1\n\x80", {}, "a P4 PNM file, which is not read (only P5 and P6 are)"},
      {"huge", Huge, {}, "20000 x 20000" + (Large + std::string("16384 on a side and 256 MiB decoded (4 bytes a pixel)"))},
      {"side", Png, {16, 1 << 20}, "32 x 16" + (Large + std::string("16 on a side and 1 MiB decoded (4 bytes a pixel)"))},
      {"bytes", Big, {16384, 1 << 20}, "1024 x 512" + (Large + std::string("16384 on a side and 1 MiB decoded (4 bytes a pixel)"))},
      {"cut png", Noise.substr(0, Noise.size() / 2), {}, "truncated PNG (the file ends too soon)"},
      {"cut header", Png.substr(0, 20), {}, "truncated PNG (the file ends too soon)"},
      {"cut jpeg", picture("quad.jpg").substr(0, 200), {}, "truncated JPEG (the file ends too soon)"},
      {"cut progressive", picture("quad-progressive.jpg").substr(0, 400), {}, "truncated JPEG (the file ends too soon)"},
      {"cut ppm", picture("quad.ppm").substr(0, 800), {}, "truncated PNM (the file ends too soon)"},
      {"zlib", BadZlib, {}, "corrupt PNG (bad zlib header)"},
      {"bomb", Bomb, {}, "corrupt PNG (it decodes to more data than its size holds)"},
      {"jpeg bmp", readFile(TORVEL_TEST_DATA "/bmpsuite/q/rgb24jpeg.bmp").value(), {}, "a BMP of a kind not read, or corrupt"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    std::string Reason;
    EXPECT_TRUE(decodeBytes(Case.Bytes, Reason, Case.Limits).empty());
    EXPECT_EQ(Reason, Case.Reason);
  }
}

TEST(ImageFit, FramedPictureLandsWhereEachModeSays) {
  // A 2-pixel black frame on white, 80 x 40: halving it leaves a 1-pixel frame.
  const GreyImage Framed = greyImage(80, 40, [](int X, int Y) {
    return X < 2 || Y < 2 || X >= 78 || Y >= 38 ? 0 : 255;
  });
  // An outline of '#' from (Left, Top) to (Right, Bottom), each side Thick x Thick high.
  auto box = [](int W, int H, int Left, int Top, int Right, int Bottom, int ThickX, int ThickY) {
    std::string Text;
    for (int Y = 0; Y < H; ++Y, Text += '\n')
      for (int X = 0; X < W; ++X) {
        const bool In = X >= Left && X <= Right && Y >= Top && Y <= Bottom;
        const bool Edge = X < Left + ThickX || X > Right - ThickX || Y < Top + ThickY || Y > Bottom - ThickY;
        Text += In && Edge ? '#' : '.';
      }
    return Text;
  };
  // Contain: 40 x 20 in the middle of 40 x 40.
  EXPECT_EQ(drawing(ink(Framed, 40, 40, Fit::Contain), 40, 40), box(40, 40, 0, 10, 39, 29, 1, 1));
  // Cover: the 40 x 40 window in the middle, halved; its sides fall outside.
  EXPECT_EQ(drawing(ink(Framed, 20, 20, Fit::Cover), 20, 20), box(20, 20, -1, 0, 20, 19, 0, 1));
  // Stretch: halved across, doubled down (2 rows grow to 4).
  EXPECT_EQ(drawing(ink(Framed, 40, 80, Fit::Stretch), 40, 80), box(40, 80, 0, 0, 39, 79, 1, 4));
  // None: the top-left 30 x 30, and paper below the image.
  EXPECT_EQ(drawing(ink(Framed, 30, 50, Fit::None), 30, 50), box(30, 50, 0, 0, 40, 39, 2, 2));
  // The same proportions at the same size: never resampled, in any mode; a
  // cover of an image as wide but taller only cuts it.
  const GreyImage Dots = greyImage(8, 6, [](int X, int Y) { return (X * 5 + Y * 3) % 7 * 40; });
  for (Fit Mode : {Fit::Contain, Fit::Cover, Fit::Stretch, Fit::None})
    EXPECT_EQ(fitImage(Dots, 8, 6, Mode)->Image.Levels, Dots.Levels);
  const GreyImage Cut = fitImage(Dots, 8, 3, Fit::Cover)->Image;
  EXPECT_EQ(Cut.Levels, std::vector(Dots.Levels.begin() + 8, Dots.Levels.begin() + 32));
  // Contain keeps at least one pixel of a very thin image.
  const Placement Thin = fitImage(greyImage(1000, 1, [](int, int) { return 0; }), 10, 10, Fit::Contain).value();
  EXPECT_EQ(std::tuple(Thin.Image.Width, Thin.Image.Height, Thin.Left, Thin.Top), std::tuple(10, 1, 0, 4));
}

TEST(ImageInk, DithersKeepTheGreyShareAndTheEnds) {
  // Atkinson passes on six eighths of the error: only greys near the middle keep their share.
  const std::tuple<Dither, int, int> Modes[] = {
      {Dither::FloydSteinberg, 0, 255}, {Dither::Bayer, 0, 255}, {Dither::Atkinson, 108, 148}};
  for (const auto &[Mode, Lightest, Darkest] : Modes)
    for (int L = Lightest; L <= Darkest; ++L) {
      SCOPED_TRACE(::testing::Message() << "dither " << int(Mode) << ", level " << L);
      int Ink = 0;
      for (std::uint8_t Byte : ink(greyImage(64, 64, [&](int, int) { return L; }), 64, 64, Fit::None, Mode))
        Ink += std::popcount(Byte);
      EXPECT_NEAR(Ink / 4096.0, (255 - L) / 255.0, 0.03);
      if (L == 0 || L == 255) {
        EXPECT_EQ(Ink, L == 0 ? 4096 : 0);
      }
    }
  // Less ink as a gradient lightens, band by band.
  for (Dither Mode : {Dither::FloydSteinberg, Dither::Atkinson, Dither::Bayer}) {
    SCOPED_TRACE(int(Mode));
    const std::string Text = drawing(ink(greyImage(256, 32, [](int X, int) { return X; }), 256, 32, Fit::None, Mode), 256, 32);
    int Previous = 32 * 64 + 1;
    for (std::size_t Band = 0; Band < 4; ++Band) {
      int Ink = 0;
      for (std::size_t I = 0; I < Text.size(); ++I)
        Ink += Text[I] == '#' && I % 257 / 64 == Band;
      EXPECT_LT(Ink, Previous);
      Previous = Ink;
    }
  }
}

// Every platform must give these bits: decoding, resampling and inking are
// built to agree bit for bit.
TEST(ImageInk, SameBitsOnEveryPlatform) {
  RgbaImage Colour = RgbaImage::allocate(97, 61);
  for (std::size_t I = 0; I < Colour.byteSize(); ++I)
    Colour.pixels()[I] = static_cast<std::uint8_t>(I % 4 == 3 ? (I / 4 % 97) * 5 / 2 + 15 : (I * 37 / 5) ^ (I / 388));
  std::string Reason;
  const RgbaImage Decoded = decodeBytes(writePng(Colour), Reason);
  const GreyImage Sources[] = {greyLevels(Decoded, false), greyLevels(decodeBytes(picture("quad-progressive.jpg"), Reason), true)};
  const std::tuple<Fit, Dither, std::uint64_t> Rows[] = {
      {Fit::Contain, Dither::None, 949174386423430786u},
      {Fit::Contain, Dither::FloydSteinberg, 7195216265979453200u},
      {Fit::Contain, Dither::Atkinson, 12184921102177669457u},
      {Fit::Contain, Dither::Bayer, 10495225288066013387u},
      {Fit::Cover, Dither::None, 2038890078941972760u},
      {Fit::Cover, Dither::FloydSteinberg, 18007065714522392302u},
      {Fit::Cover, Dither::Atkinson, 18306419060421245908u},
      {Fit::Cover, Dither::Bayer, 12399609169645802084u},
      {Fit::Stretch, Dither::None, 3092816655757041663u},
      {Fit::Stretch, Dither::FloydSteinberg, 9612337286916927853u},
      {Fit::Stretch, Dither::Atkinson, 2545261841952908563u},
      {Fit::Stretch, Dither::Bayer, 12022580895890387900u},
      {Fit::None, Dither::None, 2618641765560819001u},
      {Fit::None, Dither::FloydSteinberg, 5927690197699035249u},
      {Fit::None, Dither::Atkinson, 6792706210452447714u},
      {Fit::None, Dither::Bayer, 3345051565640161540u},
  };
  for (const auto &[Mode, D, Expected] : Rows) {
    SCOPED_TRACE(::testing::Message() << "fit " << int(Mode) << ", dither " << int(D));
    // FNV-1a over the rows of both images in a smaller and a larger picture.
    std::uint64_t Hash = 14695981039346656037u;
    for (const GreyImage &Source : Sources)
      for (auto [W, H] : {std::pair(40, 24), std::pair(101, 80)})
        for (std::uint8_t Byte : ink(Source, W, H, Mode, D))
          Hash = (Hash ^ Byte) * 1099511628211u;
    EXPECT_EQ(Hash, Expected);
  }
}

TEST(SheetLayout, CellsFitTheirPagesApartInTableOrder) {
  // Frame and label: left, top, right and bottom edges, the last two outside.
  auto area = [](const SheetCell &C) {
    const int Label = int(std::to_string(C.Index).size()) * 8 - 2;
    return std::tuple(std::min(C.X - 1, C.LabelX), C.Y - 1,
                      std::max(C.X + C.ScaledWidth + 1, C.LabelX + Label), C.LabelY + 10);
  };
  for (std::int32_t Scale = 1; Scale <= SheetMaxScale; ++Scale) {
    SCOPED_TRACE(Scale);
    SheetLayout Layout(Scale);
    std::vector<SheetPage> Pages;
    const std::int64_t Count = 300;
    for (std::int64_t I = 0; I < Count; ++I) {
      const std::int64_t Index = I * 997 + (I % 5 == 0 ? 268321000 : 0);
      const auto W = std::int32_t(I % 7 == 0 ? 255 : I * 37 % 256);
      const auto H = std::int32_t(I % 11 == 0 ? 255 : I * 91 % 256);
      if (std::optional<SheetPage> Page = Layout.add(Index, W, H))
        Pages.push_back(std::move(*Page));
    }
    for (SheetPage &Page : Layout.finish())
      Pages.push_back(std::move(Page));
    EXPECT_GT(Pages.size(), 1u);
    std::int64_t Next = 0;
    for (std::size_t P = 0; P < Pages.size(); ++P) {
      const SheetPage &Page = Pages[P];
      EXPECT_LE(Page.Width, SheetMaxWidth);
      EXPECT_LE(Page.Height, SheetMaxHeight);
      for (std::size_t A = 0; A < Page.Cells.size(); ++A, ++Next) {
        const SheetCell &Cell = Page.Cells[A];
        EXPECT_EQ(Cell.Index, Next * 997 + (Next % 5 == 0 ? 268321000 : 0));
        EXPECT_EQ(std::pair(Cell.ScaledWidth, Cell.ScaledHeight), std::pair(Cell.Width * Scale, Cell.Height * Scale));
        // Frame and label lie inside the page's padding, the label 3 rows under the frame.
        const auto [X0, Y0, X1, Y1] = area(Cell);
        EXPECT_TRUE(X0 >= 1 && Y0 >= 1 && X1 + 1 <= Page.Width && Y1 + 1 <= Page.Height);
        EXPECT_EQ(Cell.LabelY, Cell.Y + Cell.ScaledHeight + 4);
        for (std::size_t B = 0; B < A; ++B) {
          const auto [U0, V0, U1, V1] = area(Page.Cells[B]);
          EXPECT_TRUE(X1 <= U0 || U1 <= X0 || Y1 <= V0 || V1 <= Y0) << Cell.Index << " meets " << Page.Cells[B].Index;
        }
      }
      // A page ends only where the next row does not fit under it.
      if (P + 1 < Pages.size()) {
        const SheetCell &First = Pages[P + 1].Cells.front();
        std::int32_t RowHeight = 0;
        for (const SheetCell &Cell : Pages[P + 1].Cells)
          if (Cell.Y == First.Y)
            RowHeight = std::max(RowHeight, Cell.LabelY + 10 - Cell.Y + 1);
        EXPECT_GT(Page.Height + SheetLayout::Gap + RowHeight, SheetMaxHeight);
      }
    }
    EXPECT_EQ(Next, Count);
  }
  // The largest picture at the largest scale fills a page's width.
  SheetLayout Layout(4);
  EXPECT_FALSE(Layout.add(0, 255, 255));
  const std::vector<SheetPage> Pages = Layout.finish();
  ASSERT_EQ(Pages.size(), 1u);
  EXPECT_EQ(std::tuple(Pages[0].Width, Pages[0].Height, Pages[0].Cells[0].X, Pages[0].Cells[0].Y), std::tuple(1024, 1037, 2, 2));
}

} // namespace
} // namespace torvel::test
