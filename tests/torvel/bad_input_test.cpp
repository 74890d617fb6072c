// Hostile inputs through the built torvel. Every run must end in time and
// within a small address space, with the exact report and exit code, the
// fullflash untouched and no file created but the ones the stages create.
#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#ifndef _WIN32

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace torvel::test {
namespace {

using Files = std::map<std::string, std::string>;

// ASan reserves terabytes of shadow memory, so it cannot run in 64 MiB.
extern "C" [[gnu::weak]] void __asan_init();
const RunLimits Limits{&__asan_init ? 0 : std::uint64_t(64) << 20, std::chrono::seconds(5)};

// Picture 0 is 16 x 4 pixels at phone address 0x1000, offset 0x200.
const std::string Map = "[Block1]\r\nAddr=$1000\r\nFFOffset=$200\r\nLength=$100\r\n";
const std::vector<std::string> Convert = {"-Cmap.ini", "a.bmp", "full.bin", "0"};
const std::string Converted = "ERROR: a.bmp -> a.vkp Converted OK\r\n";
const std::string Header = "; Picture #0\r\n";
const std::vector<std::uint32_t> Mono = {0x000000, 0xFFFFFF};

// A fullflash whose table holds one 16 x 4 entry, or Length bytes of it.
std::string flash(std::size_t Length = 8) {
  return std::string(0xDDF30, '\0') + std::string("\x10\x04\0\0\0\x10\0\0", Length);
}

// A 16 x 4 patch at Offset whose rows are Pixels: paper, as an empty BMP gives.
std::string patch(unsigned Offset, const char *Pixels = "0000 ;................................") {
  std::string Text = Header;
  char Row[64];
  for (unsigned At = Offset; At < Offset + 8; At += 2)
    Text.append(Row, std::size_t(std::snprintf(Row, sizeof Row, "%08X: %s\r\n", At, Pixels)));
  return Text;
}
const Files Paper = {{"a.vkp", patch(0x200)}};
const std::regex AnyPicture(patch(0x200, "[0-9A-F]{4} ;[.X]{32}"));

// Runs torvel in a new folder on the usual inputs but for Given and checks
// what every run must hold; gives back the files the run created.
std::pair<RunResult, Files> run(const std::vector<std::string> &Args, Files Given = {},
                                bool ReadOnlyFlash = false) {
  ScratchDir Dir;
  Given.insert({{"map.ini", Map}, {"a.bmp", ""}, {"full.bin", flash()}});
  for (const auto &[Name, Bytes] : Given)
    writeFile(Dir / Name, Bytes);
  if (ReadOnlyFlash)
    std::filesystem::permissions(Dir / "full.bin", std::filesystem::perms::owner_read);
  RunResult R = runTorvel(Args, Dir.path(), Limits);
  EXPECT_FALSE(R.TimedOut);
  EXPECT_EQ(R.Stderr, "");
  EXPECT_TRUE(readFile(Dir / "full.bin") == Given["full.bin"]);
  Files Created;
  for (const auto &Entry : std::filesystem::directory_iterator(Dir.path()))
    if (!Given.contains(Entry.path().filename().string()))
      Created[Entry.path().filename().string()] = *readFile(Entry.path().string());
  return {R, Created};
}

struct Case {
  const char *Name;
  std::vector<std::string> Args;
  std::string Stdout;
  int ExitCode;
  Files Created, Given = {};
  bool ReadOnlyFlash = false;
};

void check(const std::vector<Case> &Cases) {
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.Name);
    const auto [R, Created] = run(C.Args, C.Given, C.ReadOnlyFlash);
    EXPECT_EQ(R.Stdout, C.Stdout);
    EXPECT_EQ(R.ExitCode, C.ExitCode);
    EXPECT_EQ(Created, C.Created);
  }
}

// What a BMP gives: refused, which leaves the patch with its header line
// only; any 16 x 4 picture; or these leading rows, the rest paper.
const char *const Refused = nullptr;
const char *const AnyRows = "";

void check(const std::vector<std::uint8_t> &Bmp, const char *Rows) {
  const auto [R, Created] = run(Convert, {{"a.bmp", std::string(Bmp.begin(), Bmp.end())}});
  EXPECT_EQ(R.Stdout, Rows ? Converted : "ERROR: cannot load a.bmp\r\n");
  EXPECT_EQ(R.ExitCode, Rows ? 0 : 1);
  std::string Patch = Rows ? patch(0x200).replace(Header.size(), std::strlen(Rows), Rows) : Header;
  if (Rows == AnyRows && !Created.empty() && std::regex_match(Created.begin()->second, AnyPicture))
    Patch = Created.begin()->second; // any picture will do
  EXPECT_EQ(Created, (Files{{"a.vkp", Patch}}));
}

void check(const std::vector<std::tuple<const char *, BmpBuilder, const char *>> &Cases) {
  for (const auto &[Name, Bmp, Rows] : Cases) {
    SCOPED_TRACE(Name);
    check(Bmp.build(), Rows);
  }
}

TEST(BadInput, BmpCutAtEveryPartBoundary) {
  const std::vector<BmpBuilder> Layouts = {
      {.HeaderSize = 12, .Width = 8, .Height = 2, .BitCount = 1, .Table = Mono, .Pixels = {0xAA}},
      {.Width = 4, .Height = 2, .BitCount = 8, .Table = Mono, .Pixels = {1, 1, 1, 1, 1, 0, 1}},
      {.BitCount = 16, .Compression = 3, .Masks = {{0xF800, 0x07E0, 0x001F}}, .Pixels = {0xFF}},
      {.HeaderSize = 124, .BitCount = 32, .Compression = 3, .Masks = {{0xFF0000, 0xFF00, 0xFF}}},
  };
  for (const BmpBuilder &B : Layouts) {
    const std::vector<std::uint8_t> Whole = B.build();
    const std::size_t PixelStart = Whole.size() - B.Pixels.size();
    // Around the ends of the file header, header size, header, masks or table. An empty file
    // is an empty picture; once all before the pixels is whole, missing pixels read zero.
    const std::size_t HeaderEnd = 14 + std::size_t(B.HeaderSize);
    for (std::size_t End : {std::size_t(14), std::size_t(18), HeaderEnd, PixelStart})
      for (std::size_t Length : {std::size_t(0), End - 1, End, End + 1})
        if (Length < Whole.size()) {
          SCOPED_TRACE(std::to_string(HeaderEnd) + ", cut at " + std::to_string(Length));
          check({Whole.begin(), Whole.begin() + std::ptrdiff_t(Length)},
                Length == 0 || Length >= PixelStart ? AnyRows : Refused);
        }
  }
}

TEST(BadInput, BmpHostileHeaderFields) {
  // A pixel store beyond 32-bit sizes is refused; below, rows that are not
  // there read as zero bytes. The base is 1 x 1 at 24 bits, without pixels.
  check({
      {"width 2^31-1, 24-bit", {.Width = INT32_MAX}, Refused},
      {"width 2^31-1, 1-bit", {.Width = INT32_MAX, .BitCount = 1, .Table = Mono}, AnyRows},
      {"height -2^31", {.Height = INT32_MIN}, Refused},
      {"core header 65535 x 65535",
       {.HeaderSize = 12, .Width = 65535, .Height = 65535, .BitCount = 1, .Table = Mono}, AnyRows},
      {"width 0", {.Width = 0}, Refused},
      {"height 0", {.Height = 0}, Refused},
      {"colours used 2^32-1", {.BitCount = 8, .ColoursUsed = UINT32_MAX}, Refused},
      {"300 colours", {.BitCount = 8, .Table = std::vector<std::uint32_t>(300, 0xFFFFFF)}, AnyRows},
      {"header size 2^32-1", {.HeaderSize = UINT32_MAX}, Refused},
      {"header size 39", {.HeaderSize = 39}, Refused},
      {"image size 2^32-1", {.ImageSize = UINT32_MAX}, AnyRows},
      {"pixel offset 2^32-1", {.PixelOffset = UINT32_MAX}, AnyRows},
      {"planes 0", {.Planes = 0}, Refused},
      {"bit count 65535", {.BitCount = 65535}, Refused},
      {"compression 2^32-1", {.Compression = UINT32_MAX}, Refused},
      {"bit fields at 24 bits", {.Compression = 3, .Masks = {{0xFF0000, 0xFF00, 0xFF}}}, Refused},
      {"44-byte header, bit fields", {.HeaderSize = 44, .BitCount = 16, .Compression = 3}, Refused},
      {"all-ones masks", {.BitCount = 32, .Compression = 3, .Masks = {{~0u, ~0u, ~0u}}}, AnyRows},
      // No bit lies under a mask, so all 2 x 2 pixels read black.
      {"bit fields, zero masks",
       {.Width = 2, .Height = 2, .BitCount = 16, .Compression = 3, .Masks = {{0, 0, 0}},
        .Pixels = std::vector<std::uint8_t>(8, 0xFF)},
       "00000200: C000 ;XXXX............................\r\n"
       "00000202: C000 ;XXXX............................\r\n"},
      // Only the bottom row arrived: the top row reads zero bytes, black.
      {"pixel data cut after the bottom row",
       {.Width = 4, .Height = 2, .Pixels = std::vector<std::uint8_t>(12, 0xFF)},
       "00000200: F000 ;XXXXXXXX........................\r\n"},
  });
}

BmpBuilder rle(std::uint32_t Compression, std::vector<std::uint8_t> Data, std::int32_t Height = 2) {
  return {.Width = 4, .Height = Height, .BitCount = std::uint16_t(Compression == 1 ? 8 : 4),
          .Compression = Compression, .Table = Mono, .Pixels = std::move(Data)};
}

TEST(BadInput, BmpRunLengthStreamsOutOfBounds) {
  check({
      {"RLE8 run of 200 in a row of 4", rle(1, {200, 1, 0, 0, 200, 1, 0, 1}), AnyRows},
      {"RLE8 end of line past the height", rle(1, std::vector<std::uint8_t>(2000, 0)), AnyRows},
      {"RLE8 delta far past the end", rle(1, {0, 2, 255, 255, 4, 1, 0, 1}), AnyRows},
      {"RLE8 delta cut short", rle(1, {0, 2, 1}), AnyRows},
      {"RLE8 absolute run past the data", rle(1, {0, 64, 1, 0, 1}), AnyRows},
      {"RLE8 ends inside a run", rle(1, {5}), AnyRows},
      {"RLE8 of height 2^28 that ends at once", rle(1, {0, 1}, 1 << 28), AnyRows},
      {"RLE8 top-down", rle(1, {4, 1, 0, 1}, -2), Refused},
      {"RLE4 run of 255 in a row of 4", rle(2, {255, 0x10, 0, 0, 255, 0x01}), AnyRows},
      {"RLE4 absolute run past the data", rle(2, {0, 255, 0x10}), AnyRows},
      {"RLE4 odd absolute run without padding", rle(2, {0, 3, 0x10}), AnyRows},
  });
}

// Deterministic junk bytes.
std::string junk(std::size_t Size, std::uint32_t Seed) {
  std::string Bytes(Size, '\0');
  for (char &C : Bytes)
    C = static_cast<char>((Seed = Seed * 1103515245u + 12345u) >> 16);
  return Bytes;
}

TEST(BadInput, ConfigurationFiles) {
  std::string Many, Block1s, OverBudget;
  for (int N = 1; N <= 5000; ++N) {
    const int Addr = N == 5000 ? 0x1000 : 0x10000 + N;
    Many += "[Block" + std::to_string(N) + "]\nAddr=" + std::to_string(Addr) +
            "\nFFOffset=$200\nLength=$100\n";
    Block1s += "[Block1]\nAddr=$1000\nFFOffset=$" + std::to_string(N + 299) + "\nLength=$100\n";
  }
  // 15 MB of one-key sections: refused before the map could fill memory.
  for (int N = 0; OverBudget.size() < (15u << 20); ++N)
    OverBudget += "[s" + std::to_string(N) + "]\nk=v\n";
  const std::string Huge(10 << 20, 'k');
  auto ini = [](const char *Name, std::string Text, const std::string &Stdout, Files Created) {
    return Case{Name, Convert, Stdout, Stdout == Converted ? 0 : 1, Created, {{"map.ini", Text}}};
  };
  check(std::vector<Case>{
      ini("binary junk", junk(64 << 10, 1), "ERROR: Unmapped picture address 00001000\r\n",
          {{"a.vkp", Header}}),
      ini("junk with zero bytes around a valid map",
          junk(4096, 2) + "\n" + Map + std::string(100, '\0') + junk(4096, 3), Converted, Paper),
      ini("a 10 MB value inside Block1", Map + "Junk=" + Huge + "\r\n", Converted, Paper),
      ini("5000 sections, the last one maps", Many, Converted, Paper),
      ini("Block1 5000 times, the first answers", Block1s, Converted, {{"a.vkp", patch(0x300)}}),
      ini("beyond the size budget", OverBudget, "ERROR: Cannot open map.ini\r\n", {}),
  });
}

TEST(BadInput, FullflashFiles) {
  const std::string Bad = "ERROR: Bad FF file full.bin\r\n";
  // Nothing is written to the patch, not even its header.
  check(std::vector<Case>{
      {"empty", Convert, Bad, 1, {{"a.vkp", ""}}, {{"full.bin", ""}}},
      {"ends before the table", Convert, Bad, 1, {{"a.vkp", ""}}, {{"full.bin", flash(0)}}},
      {"ends inside the entry", Convert, Bad, 1, {{"a.vkp", ""}}, {{"full.bin", flash(5)}}},
      {"an index whose position wraps negative",
       {"-Cmap.ini", "a.bmp", "full.bin", "268321818"}, Bad, 1, {{"a.vkp", ""}}},
      {"read-only", Convert, Converted, 0, Paper, {}, true},
  });
}

TEST(BadInput, CommandLines) {
  const std::string Long(100 << 10, 'n');
  const std::string Cut(255, 'n');
  check(std::vector<Case>{
      {"100 KB BMP name", {"-Cmap.ini", Long, "full.bin", "0"},
       "ERROR: Couldn't write to " + Long + ".vkp\r\n", 1, {}},
      {"100 KB fullflash name", {"-Cmap.ini", "a.bmp", Long, "0"},
       "ERROR: Couldn't open file " + Long + "\r\n", 1, {}},
      {"100 KB configuration switch is cut", {"-C" + Long, "a.bmp", "full.bin", "0"},
       "ERROR: Cannot open " + Cut + "\r\n", 1, {}},
      {"100 KB error-file switch is cut", {"-Cmap.ini", "-E" + Long, "a.bmp", "full.bin", "0"},
       "", 0, {{"a.vkp", patch(0x200)}, {Cut, Converted}}},
      {"empty words fill no slot", {"", "-Cmap.ini", "", "a.bmp", "", "full.bin", "0", ""},
       Converted, 0, Paper},
      {"only empty words", {"", "", ""}, "ERROR: Incorrect parameters\r\n", 1, {}},
      {"empty switch values", {"-C", "-E", "a.bmp", "full.bin", "0"},
       "ERROR: Cannot open \r\n", 1, {}},
  });
}

TEST(BadInput, NonNumericIndexOfAnyLength) {
  for (const std::string &Index : {std::string(), std::string("12a"), std::string(102400, '1')}) {
    SCOPED_TRACE(Index.substr(0, 10));
    const auto [R, Left] = run({"-Cmap.ini", "a.bmp", "full.bin", Index});
    // The report's code location differs from build to build.
    EXPECT_TRUE(R.Stdout.starts_with("Exception EConvertError in module ") &&
                R.Stdout.ends_with(".\n'" + Index + "' is not a valid integer value.\r\n"))
        << R.Stdout.substr(0, 200);
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_EQ(Left, Files{});
  }
}

TEST(BadInput, ErrorFileNeverTruncatesTheFullflash) {
  // The run stops before it opens the fullflash; the dump is still an input.
  check(std::vector<Case>{
      {"too few words", {"-Efull.bin", "a.bmp", "full.bin"}, "", 1, {}},
      {"no map", {"-Efull.bin", "-Cnone.ini", "a.bmp", "full.bin", "0"}, "", 1, {}}});
}

} // namespace
} // namespace torvel::test

#endif
