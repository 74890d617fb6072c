#include "picture/bmp.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace torvel::test {
namespace {

struct SuiteFile {
  std::string Path, Stem;
  bool Reliable; // its mask, if any, rests on no choice of ours
};

std::vector<SuiteFile> suiteIndex() {
  std::vector<SuiteFile> Files;
  std::istringstream In(readFile(dataPath("bmpsuite/INDEX.tsv")).value());
  std::string Folder, Name, Rest;
  std::getline(In, Rest); // column names
  while (std::getline(In, Folder, '\t') && std::getline(In, Name, '\t') && std::getline(In, Rest))
    Files.push_back({Folder + "/" + Name, Name.substr(0, Name.size() - 4),
                     Rest.find("ref unreliable") == std::string::npos});
  return Files;
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
      {"badbitcount", false}, {"badwidth", false},       {"badplanes", false},
      {"rletopdown", false},  {"reallybig", false},      {"badpalettesize", false},
      {"shortfile", true},    {"badbitssize", true}};
  // Our unset run-length pixels read as entry 0, as these masks assume.
  const std::set<std::string> RleWithEntryZero = {"pal8rletrns", "pal4rletrns", "pal8rlecut",
                                                  "pal4rlecut"};
  int Compared = 0;
  for (const SuiteFile &File : suiteIndex()) {
    SCOPED_TRACE(File.Path);
    TBitmap P;
    std::string Reason;
    const bool Loaded = P.loadFromFile(dataPath("bmpsuite/" + File.Path), 255, 255, Reason);
    EXPECT_EQ(Loaded, Loads.contains(File.Stem) ? Loads.at(File.Stem) : Loaded);
    // Reading the pixels must not crash either.
    const std::string Mask = mask(P.width(), P.height(), [&](std::int32_t X, std::int32_t Y) {
      return P.pixel(X, Y) == 0;
    });
    const std::string Ref = dataPath("bmpsuite/ref/" + File.Stem + ".pbm");
    if (std::filesystem::exists(Ref) && (File.Reliable || RleWithEntryZero.contains(File.Stem))) {
      EXPECT_EQ("P4 " + Mask, refMask(Ref));
      ++Compared;
    }
  }
  EXPECT_EQ(Compared, 27 + 24);
}

} // namespace
} // namespace torvel::test
