#include "picture/bmp.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

namespace torvel::test {
namespace {

struct SuiteFile {
  std::string Folder;
  std::string Name;
  bool HasRef = false;
  bool Reliable = true;
};

std::vector<SuiteFile> suiteIndex() {
  std::vector<SuiteFile> Files;
  std::istringstream In(readFile(dataPath("bmpsuite/INDEX.tsv")).value());
  std::string Line;
  std::getline(In, Line); // column names
  while (std::getline(In, Line)) {
    std::vector<std::string> Cells;
    std::istringstream Row(Line);
    for (std::string Cell; std::getline(Row, Cell, '\t');)
      Cells.push_back(Cell);
    Files.push_back({Cells.at(0), Cells.at(1), Cells.at(12) == "yes",
                     Cells.at(13).find("ref unreliable") == std::string::npos});
  }
  return Files;
}

std::string stem(const std::string &Name) {
  return Name.substr(0, Name.rfind('.'));
}

// Compares every pixel's blackness with the P4 mask (1 = black).
void expectMatchesRef(const SuiteFile &File) {
  const std::string Pbm =
      readFile(dataPath("bmpsuite/ref/" + stem(File.Name) + ".pbm")).value();
  std::istringstream Head(Pbm);
  std::string Magic;
  int W = 0;
  int H = 0;
  Head >> Magic >> W >> H;
  const std::size_t BitsAt = static_cast<std::size_t>(Head.tellg()) + 1;
  ASSERT_EQ(Magic, "P4");

  TBitmap Picture;
  std::string Reason;
  ASSERT_TRUE(Picture.loadFromFile(
      dataPath("bmpsuite/" + File.Folder + "/" + File.Name), 255, 255, Reason))
      << Reason;
  ASSERT_EQ(Picture.width(), W);
  ASSERT_EQ(Picture.height(), H);
  const std::size_t RowBytes = static_cast<std::size_t>(W + 7) / 8;
  int Wrong = 0;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const auto Byte = static_cast<unsigned char>(
          Pbm.at(BitsAt + static_cast<std::size_t>(Y) * RowBytes +
                 static_cast<std::size_t>(X / 8)));
      const bool RefBlack = (Byte >> (7 - X % 8) & 1) != 0;
      Wrong += RefBlack != (Picture.pixel(X, Y) == 0);
    }
  EXPECT_EQ(Wrong, 0);
}

TEST(BmpSuite, GoodAndQuestionableFilesMatchTheirMasks) {
  // Our unset run-length pixels read as entry 0, as these masks assume.
  const std::set<std::string> RleWithEntryZero = {
      "pal8rletrns.bmp", "pal4rletrns.bmp", "pal8rlecut.bmp", "pal4rlecut.bmp"};
  int Compared = 0;
  for (const SuiteFile &File : suiteIndex()) {
    if (File.Folder == "b" || !File.HasRef ||
        (!File.Reliable && !RleWithEntryZero.count(File.Name)))
      continue;
    SCOPED_TRACE(File.Folder + "/" + File.Name);
    expectMatchesRef(File);
    ++Compared;
  }
  EXPECT_EQ(Compared, 27 + 24);
}

TEST(BmpSuite, EveryFileLoadsOrFailsCleanly) {
  const std::map<std::string, std::string> Expected = {
      {"badbitcount.bmp", "Bitmap image is not valid"},
      {"badwidth.bmp", "Bitmap image is not valid"},
      {"badplanes.bmp", "Bitmap image is not valid"},
      {"rletopdown.bmp", "Bitmap image is not valid"},
      {"reallybig.bmp", "Bitmap image is not valid"},
      {"badpalettesize.bmp", "Stream read error"},
      {"shortfile.bmp", ""},
      {"badbitssize.bmp", ""},
  };
  for (const SuiteFile &File : suiteIndex()) {
    if (File.Folder == "g")
      continue;
    SCOPED_TRACE(File.Folder + "/" + File.Name);
    TBitmap Picture;
    std::string Reason;
    const bool Loaded = Picture.loadFromFile(
        dataPath("bmpsuite/" + File.Folder + "/" + File.Name), 255, 255,
        Reason);
    if (Loaded) {
      Reason.clear();
      for (int Y = 0; Y < Picture.height(); ++Y)
        for (int X = 0; X < Picture.width(); ++X)
          Picture.pixel(X, Y);
    } else {
      EXPECT_TRUE(Reason == "Bitmap image is not valid" ||
                  Reason == "Stream read error")
          << Reason;
    }
    if (auto It = Expected.find(File.Name); It != Expected.end()) {
      EXPECT_EQ(Reason, It->second);
    }
  }
}

} // namespace
} // namespace torvel::test
