// Whole runs of torvel-pics import and sheet on the example dump: ink where
// the levels say, BMPs that torvel converts to the drawing, sheets whose
// rectangles hold the pictures, pages, and every refusal.
#include "base/byte_source.h"
#include "image/decode.h"
#include "image/grey.h"
#include "image/png.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

// A PNG of W x H pixels, each RGBA from Pixel(X, Y).
template <typename PixelFn> std::string png(std::int32_t W, std::int32_t H, PixelFn Pixel) {
  RgbaImage Image = RgbaImage::allocate(W, H);
  for (std::int32_t I = 0; I < W * H; ++I) {
    const std::array<std::uint8_t, 4> P = Pixel(I % W, I / W);
    std::copy(P.begin(), P.end(), Image.pixels().begin() + 4 * I);
  }
  return writePng(Image);
}

GreyImage readPng(const std::string &Path) {
  const std::string Bytes = readFile(Path).value();
  MemorySource Source({reinterpret_cast<const std::uint8_t *>(Bytes.data()), Bytes.size()});
  std::string Reason;
  return greyLevels(decodeImage(Source, {}, Reason), false);
}

std::vector<std::string> lines(const std::string &Text) {
  std::vector<std::string> Lines;
  std::istringstream In(Text);
  for (std::string Line; std::getline(In, Line);)
    Lines.push_back(Line);
  return Lines;
}

class ImportSheet : public ::testing::Test {
protected:
  void SetUp() override {
    runProgram(TORVEL_MAKE_FLASH_EXE, {"full.bin"}, Dir.path());
    fs::copy_file(TORVEL_EXAMPLES "/MARLOW.INI", Dir / "map.ini");
  }
  RunResult pics(std::vector<std::string> Args) {
    Args.insert(Args.begin(), {"-C", "map.ini"});
    return runProgram(TORVEL_PICS_EXE, Args, Dir.path());
  }
  ScratchDir Dir;
};

TEST_F(ImportSheet, ImportInksBelowTheThresholdOverTheBackground) {
  // Picture 4 is 40 x 24: every grey level, then black and white pixels whose
  // alpha runs from 0 to 255.
  writeFile(Dir / "levels.png", png(40, 24, [](int X, int Y) {
    const auto L = std::uint8_t((Y * 40 + X) % 256);
    return std::array<std::uint8_t, 4>{L, L, L, 255};
  }));
  writeFile(Dir / "alpha.png", png(40, 24, [](int X, int Y) {
    const auto C = std::uint8_t(Y % 2 ? 255 : 0);
    return std::array<std::uint8_t, 4>{C, C, C, std::uint8_t((Y * 40 + X) % 256)};
  }));
  const std::string Header = "Picture 4: 40 x 24, address 00413000, offset 00113000, 120 bytes\n";
  auto expect = [&](const std::vector<std::string> &Args, auto IsInk) {
    SCOPED_TRACE(::testing::PrintToString(Args));
    std::vector<std::string> Run = {"import", "full.bin", "4"};
    Run.insert(Run.end(), Args.begin(), Args.end());
    std::string Drawing = Header;
    for (int Y = 0; Y < 24; ++Y, Drawing += '\n')
      for (int X = 0; X < 40; ++X)
        Drawing += IsInk(X, Y) ? "XX" : "..";
    const RunResult R = pics(Run);
    EXPECT_EQ(std::tuple(R.Stdout, R.Stderr, R.ExitCode), std::tuple(Drawing, "", 0));
  };
  for (int N : {0, 1, 100, 128, 255, 256}) {
    const std::string Threshold = std::to_string(N);
    auto level = [](int X, int Y) { return (Y * 40 + X) % 256; };
    expect({"levels.png", "--fit", "none", "--threshold", Threshold},
           [&](int X, int Y) { return level(X, Y) < N; });
    expect({"levels.png", "--fit=none", "--threshold=" + Threshold, "--invert"},
           [&](int X, int Y) { return level(X, Y) >= N; });
  }
  // Over white, black with alpha A is level 255 - A and white stays white;
  // over black, black stays black and white with alpha A is level A.
  auto alpha = [](int X, int Y) { return (Y * 40 + X) % 256; };
  expect({"alpha.png", "--fit", "none"},
         [&](int X, int Y) { return Y % 2 == 0 && 255 - alpha(X, Y) < 128; });
  expect({"alpha.png", "--fit", "none", "--background", "black"},
         [&](int X, int Y) { return Y % 2 == 0 || alpha(X, Y) < 128; });
  EXPECT_TRUE(fs::exists(Dir / "picture-4.bmp"));
  // Import needs only the table's entry: picture 5 is unmapped.
  EXPECT_EQ(lines(pics({"import", "full.bin", "5", "levels.png"}).Stdout).at(0),
            "Picture 5: 48 x 48, address 00800000, offset unmapped, 288 bytes");
}

TEST_F(ImportSheet, TorvelConvertsTheImportedBmpToTheDrawing) {
  writeFile(Dir / "photo.png", png(150, 100, [](int X, int Y) {
    const int D = (X - 60) * (X - 60) + (Y - 45) * (Y - 45);
    const auto L = std::uint8_t(D < 900 ? D * 255 / 900 : (X + Y) * 255 / 250);
    return std::array<std::uint8_t, 4>{L, std::uint8_t(255 - L / 2), std::uint8_t(X), 255};
  }));
  for (const char *Fit : {"contain", "cover", "stretch"})
    for (const char *Dither : {"none", "floyd-steinberg", "atkinson", "bayer"}) {
      SCOPED_TRACE(std::string(Fit) + " " + Dither);
      const RunResult Import = pics({"import", "full.bin", "1", "photo.png", "p.bmp", "--fit", Fit, "--dither", Dither});
      ASSERT_EQ(Import.ExitCode, 0);
      ASSERT_EQ(runProgram(TORVEL_EXE, {"-Cmap.ini", "p.bmp", "full.bin", "1", "p.vkp"}, Dir.path()).ExitCode, 0);
      // Each patch line's bytes, bit by bit, against import's drawing of that row.
      std::vector<std::string> Drawn = lines(Import.Stdout), Patch = lines(readFile(Dir / "p.vkp").value());
      ASSERT_EQ(std::pair(Drawn.size(), Patch.size()), std::pair(std::size_t(81), std::size_t(81)));
      for (std::size_t Row = 1; Row <= 80; ++Row) {
        std::string Bits;
        for (int X = 0; X < 101; ++X)
          Bits += std::stoi(Patch[Row].substr(std::size_t(10 + X / 8 * 2), 2), nullptr, 16) & (0x80 >> X % 8) ? "XX" : "..";
        EXPECT_EQ(Bits, Drawn[Row]) << "row " << Row - 1;
      }
    }
}

TEST_F(ImportSheet, SheetRectanglesHoldThePicturesAtEachScale) {
  EXPECT_EQ(pics({"sheet", "full.bin"}).Stdout,
            "0 2 2 32 32 sheet.png\n1 44 2 202 160 sheet.png\n2 256 2 16 16 sheet.png\n"
            "3 282 2 64 32 sheet.png\n4 356 2 80 48 sheet.png\n5 446 2 96 96 sheet.png\n"
            "6 552 2 128 128 sheet.png\n");
  std::map<int, std::vector<std::string>> Shown;
  for (int N = 0; N <= 4; ++N)
    Shown[N] = lines(pics({"show", "full.bin", std::to_string(N)}).Stdout);
  for (int K = 1; K <= 4; ++K) {
    SCOPED_TRACE(K);
    const RunResult R = pics({"sheet", "full.bin", "s.png", "--scale", std::to_string(K)});
    ASSERT_EQ(R.ExitCode, 0);
    const GreyImage Page = readPng(Dir / "s.png");
    for (const std::string &Line : lines(R.Stdout)) {
      int N, X, Y, W, H;
      ASSERT_EQ(std::sscanf(Line.c_str(), "%d %d %d %d %d s.png", &N, &X, &Y, &W, &H), 5) << Line;
      std::string Seen;
      for (int PY = Y - 1; PY <= Y + H; ++PY)
        for (int PX = X - 1; PX <= X + W; ++PX) {
          const int Level = Page.at(PX, PY);
          const bool Frame = PX < X || PY < Y || PX == X + W || PY == Y + H;
          // Frame and cross are grey: neither ink nor paper.
          if (Frame || !Shown.contains(N))
            Seen += Level == 0 || (Frame && Level == 255) ? '!' : '.';
          else
            Seen += Level == (Shown[N].at(std::size_t((PY - Y) / K + 1))[std::size_t((PX - X) / K * 2)] == 'X' ? 0 : 255) ? '.' : '!';
        }
      EXPECT_EQ(Seen.find('!'), std::string::npos) << Line;
      if (!Shown.contains(N)) { // the empty cell is crossed through
        EXPECT_EQ(Page.at(X, Y), 160) << Line;
      }
    }
  }
}

TEST_F(ImportSheet, LargeSheetIsCutIntoPagesBetweenRows) {
  // Entries 7 on are erased flash: 255 x 255 pictures, one to a row at scale 4.
  const RunResult R = pics({"sheet", "full.bin", "pages.png", "--count", "40", "--scale", "4"});
  ASSERT_EQ(std::tuple(R.Stderr, R.ExitCode), std::tuple("", 0));
  std::map<std::string, std::vector<std::array<int, 4>>> Pages;
  int Next = 0;
  for (const std::string &Line : lines(R.Stdout)) {
    int N, X, Y, W, H;
    char Name[32];
    ASSERT_EQ(std::sscanf(Line.c_str(), "%d %d %d %d %d %31s", &N, &X, &Y, &W, &H, Name), 6);
    EXPECT_EQ(N, Next++);
    for (const auto &[OX, OY, OW, OH] : Pages[Name])
      EXPECT_TRUE(X >= OX + OW || OX >= X + W || Y >= OY + OH || OY >= Y + H) << Line;
    Pages[Name].push_back({X, Y, W, H});
  }
  EXPECT_EQ(Next, 40);
  std::set<std::string> Names;
  for (const auto &[Name, Cells] : Pages) {
    Names.insert(Name);
    const GreyImage Page = readPng(Dir / Name);
    EXPECT_TRUE(Page.Width <= 1024 && Page.Height <= 8192) << Name;
    for (const auto &[X, Y, W, H] : Cells)
      EXPECT_TRUE(X >= 1 && Y >= 1 && X + W < Page.Width && Y + H < Page.Height) << Name;
  }
  EXPECT_EQ(Names, (std::set<std::string>{"pages-1.png", "pages-2.png", "pages-3.png",
                                          "pages-4.png", "pages-5.png"}));
  EXPECT_FALSE(fs::exists(Dir / "pages.png"));
}

TEST_F(ImportSheet, BadInputsFailWithoutLeavingFiles) {
  const std::string Dump = readFile(Dir / "full.bin").value();
  // The table to entry 19, then the end of the dump.
  writeFile(Dir / "short.bin", Dump.substr(0, 0xDDF30 + 20 * 8));
  writeFile(Dir / "zero.bin", std::string(Dump).replace(0xDDF30 + 56, 8, "\0\x08\0\0\0\x10\0\x01", 8));
  const std::string Quad = readFile(TORVEL_TEST_DATA "/images/quad.png").value();
  writeFile(Dir / "quad.png", Quad);
  writeFile(Dir / "text.png", "not a picture\n");
  writeFile(Dir / "huge.png", std::string(Quad).replace(16, 8, "\0\0\x4E\x20\0\0\x4E\x20", 8));
  writeFile(Dir / "cut.png", Quad.substr(0, 60));
  writeFile(Dir / "cut.jpg", readFile(TORVEL_TEST_DATA "/images/quad.jpg").value().substr(0, 200));
  const std::string Try = "Try 'torvel-pics --help' for more information.\n";
  const std::pair<std::vector<std::string>, std::string> Cases[] = {
      {{"import", "full.bin", "4", "text.png"},
       "cannot read image text.png: not a PNG, JPEG, GIF, BMP or PNM picture\n"},
      {{"import", "full.bin", "4", "huge.png"},
       "cannot read image huge.png: 20000 x 20000 pixels is too large: at most 16384 on a side "
       "and 256 MiB decoded (4 bytes a pixel)\n"},
      {{"import", "full.bin", "4", "cut.png"}, "cannot read image cut.png: truncated PNG (the file ends too soon)\n"},
      {{"import", "full.bin", "4", "cut.jpg"}, "cannot read image cut.jpg: truncated JPEG (the file ends too soon)\n"},
      {{"import", "full.bin", "4", "none.png"}, "cannot open image none.png\n"},
      {{"import", "zero.bin", "7", "quad.png"}, "picture 7 has no pixels (0 x 8)\n"},
      {{"import", "full.bin", "7", "quad.png"},
       "picture 7 is past the end of the picture table, which holds 7 pictures\n"},
      {{"import", "full.bin", "4", "quad.png", "quad.png"}, "will not write quad.png: it is one of the inputs\n"},
      {{"import", "full.bin", "4", "quad.png", "map.ini"}, "will not write map.ini: it is one of the inputs\n"},
      {{"sheet", "full.bin", "full.bin"}, "will not write full.bin: it is one of the inputs\n"},
      {{"sheet", "full.bin", "--first", "7"}, "no pictures to draw from picture 7 on\n"},
      {{"sheet", "short.bin", "--count", "21"}, "short.bin ends before entry 20 of the picture table\n"},
      {{"sheet", "full.bin", "--scale", "5"}, "'5' is not a scale (1 to 4)\n" + Try},
      {{"import", "full.bin", "4", "quad.png", "--scale", "2"}, "--scale belongs to sheet\n" + Try},
      {{"import", "full.bin", "4", "quad.png", "--threshold", "257"}, "'257' is not a threshold (0 to 256)\n" + Try},
      {{"import", "full.bin", "4", "quad.png", "--fit", "fill"}, "'fill' is not a fit: contain, cover, stretch or none\n" + Try},
      {{"import", "full.bin", "4"}, "no image file given\n" + Try},
  };
  const auto Before = std::distance(fs::directory_iterator(Dir.path()), {});
  for (const auto &[Args, Stderr] : Cases) {
    SCOPED_TRACE(::testing::PrintToString(Args));
    const RunResult R = pics(Args);
    EXPECT_EQ(std::tuple(R.Stdout, R.Stderr, R.ExitCode),
              std::tuple("", "torvel-pics: " + Stderr, Stderr.ends_with(Try) ? 2 : 1));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.path()), {}), Before);
  }
  // A dump that ends within the pages' pictures: the lines of pages already
  // named come out, but no page stays.
  const RunResult R = pics({"sheet", "short.bin", "--count", "21", "--scale", "4"});
  EXPECT_EQ(std::tuple(lines(R.Stdout).size(), R.ExitCode), std::tuple(std::size_t(14), 1));
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir.path()), {}), Before);
  EXPECT_EQ(readFile(Dir / "full.bin"), Dump);
}

} // namespace
} // namespace torvel::test
