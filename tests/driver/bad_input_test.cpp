// Hostile inputs through the built torvel. Every run must end in time and
// within a small address space, with the exact report and exit code, the
// fullflash untouched and no file created but the ones the stages create.
#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#ifndef _WIN32

#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

// ASan reserves terabytes of shadow memory, so it cannot run in 64 MiB.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

const RunLimits Limits{Sanitized ? 0 : std::uint64_t(64) << 20,
                       std::chrono::seconds(5)};

// Picture 0 is 16 x 4 pixels at phone address 0x1000, offset 0x200.
const std::string Map = "[Block1]\r\nAddr=$1000\r\nFFOffset=$200\r\nLength=$100\r\n";
const std::vector<std::string> Convert = {"-Cmap.ini", "a.bmp", "full.bin", "0"};
const std::string Converted = "ERROR: a.bmp -> a.vkp Converted OK\r\n";
const std::string NotLoaded = "ERROR: cannot load a.bmp\r\n";
const std::string Header = "; Picture #0\r\n";

// A sparse fullflash whose table holds one entry, or only Length bytes of it.
void writeFlash(const std::string &Path, std::uint8_t Width,
                std::uint8_t Height, std::uint64_t Length = 8) {
  const char Entry[8] = {char(Width), char(Height), 0, 0, 0x00, 0x10, 0, 0};
  writeFile(Path, "");
  fs::resize_file(Path, 0xDDF30);
  std::string Bytes(Entry, 8);
  std::ofstream(Path, std::ios::binary | std::ios::app)
      .write(Bytes.data(), static_cast<std::streamsize>(Length));
}

// The bytes of a file in one read; a debug build's stream iterators take
// long over a fullflash.
std::string wholeFile(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  std::string Bytes(static_cast<std::size_t>(fs::file_size(Path)), '\0');
  In.read(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  return In ? Bytes : "<unreadable>";
}

// A 16 x 4 patch whose rows are all paper: what an empty BMP gives.
std::string paperPatch() {
  std::string Text = Header;
  for (const char *Offset : {"00000200", "00000202", "00000204", "00000206"})
    Text += std::string(Offset) + ": 0000 ;" + std::string(32, '.') + "\r\n";
  return Text;
}

class BadInput : public ::testing::Test {
protected:
  void SetUp() override {
    put("map.ini", Map);
    writeFlash(Dir / "full.bin", 16, 4);
    Inputs.insert("full.bin");
    put("a.bmp", "");
  }

  // Writes an input file of the next run.
  void put(const std::string &Name, std::string_view Bytes) {
    writeFile(Dir / Name, Bytes);
    Inputs.insert(Name);
  }
  void put(const std::string &Name, const std::vector<std::uint8_t> &Bytes) {
    put(Name, std::string_view(reinterpret_cast<const char *>(Bytes.data()),
                               Bytes.size()));
  }

  std::set<std::string> folder() const {
    std::set<std::string> Names;
    for (const auto &Entry : fs::directory_iterator(Dir.path()))
      Names.insert(Entry.path().filename().string());
    return Names;
  }

  // Runs torvel once what the last run left is removed, and checks what every
  // run must hold; Created lists the files the run may leave, and a missing
  // Stdout is for the caller to check.
  RunResult run(const std::vector<std::string> &Args,
                const std::optional<std::string> &Stdout, int ExitCode,
                const std::set<std::string> &Created = {"a.vkp"}) {
    for (const std::string &Name : folder())
      if (!Inputs.contains(Name))
        fs::remove(Dir / Name);
    const std::string Flash = wholeFile(Dir / "full.bin");
    RunResult R = runTorvel(Args, Dir.path(), Limits);
    EXPECT_FALSE(R.TimedOut);
    EXPECT_EQ(R.Stderr, "");
    if (Stdout) {
      EXPECT_EQ(R.Stdout, *Stdout);
    }
    EXPECT_EQ(R.ExitCode, ExitCode);
    EXPECT_TRUE(wholeFile(Dir / "full.bin") == Flash);
    std::set<std::string> Left;
    for (const std::string &Name : folder())
      if (!Inputs.contains(Name))
        Left.insert(Name);
    EXPECT_EQ(Left, Created);
    return R;
  }

  // A BMP that does not load leaves the patch with its header line only.
  void expectNotLoaded(const std::vector<std::uint8_t> &Bmp) {
    put("a.bmp", Bmp);
    run(Convert, NotLoaded, 1);
    EXPECT_EQ(patch(), Header);
  }

  // A BMP that loads gives a patch of 4 rows of 16 pixels.
  void expectConverted(const std::vector<std::uint8_t> &Bmp) {
    put("a.bmp", Bmp);
    run(Convert, Converted, 0);
    const std::string Text = patch();
    std::size_t Lines = 0;
    for (std::size_t At = 0; (At = Text.find("\r\n", At)) != std::string::npos;
         At += 2)
      ++Lines;
    EXPECT_EQ(Lines, 5u) << Text;
    EXPECT_EQ(Text.size(), Header.size() + 4 * (8 + 2 + 4 + 2 + 32 + 2)) << Text;
  }

  std::string patch() const { return readFile(Dir / "a.vkp").value_or("<none>"); }

  ScratchDir Dir;
  std::set<std::string> Inputs;
};

// Core, info, info with masks after it, and V5 with masks inside it, with
// where each part of the file ends: file header, header size, header, masks
// or colour table, pixel data.
struct Layout {
  const char *Name;
  BmpBuilder Bmp;
  std::vector<std::size_t> Ends;
  std::size_t PixelStart;
};

std::vector<Layout> layouts() {
  BmpBuilder Pal8;
  Pal8.BitCount = 8;
  Pal8.ColoursUsed = 2;
  Pal8.Table = {0x000000, 0xFFFFFF};
  Pal8.Width = 4;
  Pal8.Height = 2;
  Pal8.row({1, 1, 1, 1}).row({1, 0, 1, 0});

  BmpBuilder Core;
  Core.HeaderSize = 12;
  Core.BitCount = 1;
  Core.Table = {0x000000, 0xFFFFFF};
  Core.Width = 8;
  Core.Height = 2;
  Core.row({0xAA}).row({0x55});

  BmpBuilder Masked;
  Masked.BitCount = 16;
  Masked.Compression = 3;
  Masked.Masks = {{0xF800, 0x07E0, 0x001F}};
  Masked.Width = 2;
  Masked.Height = 2;
  Masked.row({0xFF, 0xFF, 0, 0}).row({0, 0, 0xFF, 0xFF});

  BmpBuilder V5;
  V5.HeaderSize = 124;
  V5.BitCount = 32;
  V5.Compression = 3;
  V5.Masks = {{0xFF0000, 0xFF00, 0xFF}};
  V5.Width = 2;
  V5.Height = 1;
  V5.row({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0});

  return {{"core header, 3-byte table", Core, {14, 18, 26, 32, 40}, 32},
          {"info header, 4-byte table", Pal8, {14, 18, 54, 62, 70}, 62},
          {"info header, masks after it", Masked, {14, 18, 54, 66, 74}, 66},
          {"V5 header, masks inside it", V5, {14, 18, 138, 146}, 138}};
}

// Lengths at, around and between the ends of the parts, below the whole.
std::set<std::size_t> cutLengths(const Layout &L) {
  std::set<std::size_t> Lengths = {0, 1};
  std::size_t Start = 0;
  for (std::size_t End : L.Ends) {
    Lengths.insert({Start + (End - Start) / 2, End - 1, End, End + 1});
    Start = End;
  }
  std::erase_if(Lengths, [&](std::size_t N) { return N >= L.Ends.back(); });
  return Lengths;
}

TEST_F(BadInput, BmpCutInEveryPart) {
  for (const Layout &L : layouts()) {
    const std::vector<std::uint8_t> Whole = L.Bmp.build();
    ASSERT_EQ(Whole.size(), L.Ends.back()) << L.Name;
    for (std::size_t Length : cutLengths(L)) {
      SCOPED_TRACE(std::string(L.Name) + ", cut at " + std::to_string(Length));
      const std::vector<std::uint8_t> Cut(Whole.begin(),
                                          Whole.begin() + std::ptrdiff_t(Length));
      // Without its headers, masks or table the file cannot load; once they
      // are whole, missing pixel data read as zero bytes.
      if (Length == 0 || Length >= L.PixelStart)
        expectConverted(Cut);
      else
        expectNotLoaded(Cut);
    }
  }
}

TEST_F(BadInput, BmpCutInsidePixelsKeepsWhatArrived) {
  // Only the bottom row arrived: the top row reads zero bytes, black.
  BmpBuilder B;
  B.Width = 4;
  B.Height = 2;
  B.row(std::vector<std::uint8_t>(12, 0xFF)).row(std::vector<std::uint8_t>(12, 0xFF));
  std::vector<std::uint8_t> Bmp = B.build();
  Bmp.resize(14 + 40 + 12);
  put("a.bmp", Bmp);
  run(Convert, Converted, 0);
  EXPECT_EQ(patch(), Header +
                         "00000200: F000 ;XXXXXXXX........................\r\n"
                         "00000202: 0000 ;................................\r\n"
                         "00000204: 0000 ;................................\r\n"
                         "00000206: 0000 ;................................\r\n");
}

BmpBuilder small24() {
  BmpBuilder B;
  B.Width = 2;
  B.Height = 2;
  B.row({0, 0, 0, 0xFF, 0xFF, 0xFF}).row({0xFF, 0xFF, 0xFF, 0, 0, 0});
  return B;
}

TEST_F(BadInput, BmpHostileHeaderFields) {
  struct Row {
    const char *Name;
    void (*Change)(BmpBuilder &);
    bool Loads;
  } Rows[] = {
      // A pixel store beyond 32-bit sizes is refused; below, rows that are
      // not there read as zero bytes.
      {"width 2^31-1, 24-bit", [](BmpBuilder &B) { B.Width = INT32_MAX; }, false},
      {"width 2^31-1, 1-bit",
       [](BmpBuilder &B) {
         B.BitCount = 1;
         B.Width = INT32_MAX;
       },
       true},
      {"height -2^31", [](BmpBuilder &B) { B.Height = INT32_MIN; }, false},
      {"height 2^31-1", [](BmpBuilder &B) { B.Height = INT32_MAX; }, false},
      {"height -2^28, 1-bit",
       [](BmpBuilder &B) {
         B.BitCount = 1;
         B.Height = -(1 << 28);
       },
       true},
      {"core header 65535 x 65535",
       [](BmpBuilder &B) {
         B.HeaderSize = 12;
         B.BitCount = 1;
         B.Width = B.Height = 65535;
         B.Table = {0, 0xFFFFFF};
       },
       true},
      {"width 0", [](BmpBuilder &B) { B.Width = 0; }, false},
      {"width -1", [](BmpBuilder &B) { B.Width = -1; }, false},
      {"height 0", [](BmpBuilder &B) { B.Height = 0; }, false},
      {"colours used 2^32-1",
       [](BmpBuilder &B) {
         B.BitCount = 8;
         B.ColoursUsed = UINT32_MAX;
       },
       false},
      {"colours used 300, all present",
       [](BmpBuilder &B) {
         B.BitCount = 8;
         B.ColoursUsed = 300;
         B.Table.assign(300, 0x00FFFFFF);
       },
       true},
      {"header size 2^32-1", [](BmpBuilder &B) { B.HeaderSize = UINT32_MAX; }, false},
      {"header size 2^31", [](BmpBuilder &B) { B.HeaderSize = 1u << 31; }, false},
      {"header size 0", [](BmpBuilder &B) { B.HeaderSize = 0; }, false},
      {"header size 39", [](BmpBuilder &B) { B.HeaderSize = 39; }, false},
      {"header size 41", [](BmpBuilder &B) { B.HeaderSize = 41; }, true},
      {"image size 2^32-1", [](BmpBuilder &B) { B.ImageSize = UINT32_MAX; }, true},
      {"image size 1", [](BmpBuilder &B) { B.ImageSize = 1; }, true},
      {"pixel offset 2^32-1", [](BmpBuilder &B) { B.PixelOffset = UINT32_MAX; }, true},
      {"pixel offset 0", [](BmpBuilder &B) { B.PixelOffset = 0; }, true},
      {"planes 0", [](BmpBuilder &B) { B.Planes = 0; }, false},
      {"bit count 0", [](BmpBuilder &B) { B.BitCount = 0; }, false},
      {"bit count 2", [](BmpBuilder &B) { B.BitCount = 2; }, false},
      {"bit count 64", [](BmpBuilder &B) { B.BitCount = 64; }, false},
      {"bit count 65535", [](BmpBuilder &B) { B.BitCount = 65535; }, false},
      {"compression 4", [](BmpBuilder &B) { B.Compression = 4; }, false},
      {"compression 2^32-1", [](BmpBuilder &B) { B.Compression = UINT32_MAX; }, false},
      {"bit fields at 24 bits",
       [](BmpBuilder &B) {
         B.Compression = 3;
         B.Masks = {{0xFF0000, 0xFF00, 0xFF}};
       },
       false},
      {"bit fields, zero masks, 16-bit",
       [](BmpBuilder &B) {
         B.BitCount = 16;
         B.Compression = 3;
         B.Masks = {{0, 0, 0}};
       },
       true},
      {"bit fields, zero masks, 32-bit V4",
       [](BmpBuilder &B) {
         B.HeaderSize = 108;
         B.BitCount = 32;
         B.Compression = 3;
         B.Masks = {{0, 0, 0}};
       },
       true},
      {"bit fields, all-ones masks, 32-bit",
       [](BmpBuilder &B) {
         B.BitCount = 32;
         B.Compression = 3;
         B.Masks = {{UINT32_MAX, UINT32_MAX, UINT32_MAX}};
       },
       true},
      {"bit fields, header 44 without room for masks",
       [](BmpBuilder &B) {
         B.HeaderSize = 44;
         B.BitCount = 16;
         B.Compression = 3;
       },
       false},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    BmpBuilder B = small24();
    R.Change(B);
    if (R.Loads)
      expectConverted(B.build());
    else
      expectNotLoaded(B.build());
  }
}

TEST_F(BadInput, BmpZeroMasksReadBlack) {
  // No bit of any pixel lies under a mask, so the file's 2 x 2 pixels are ink.
  BmpBuilder B = small24();
  B.BitCount = 16;
  B.Compression = 3;
  B.Masks = {{0, 0, 0}};
  put("a.bmp", B.build());
  run(Convert, Converted, 0);
  EXPECT_EQ(patch().substr(Header.size(), 2 * 50),
            "00000200: C000 ;XXXX............................\r\n"
            "00000202: C000 ;XXXX............................\r\n");
}

BmpBuilder runLength(std::uint32_t Compression, std::vector<std::uint8_t> Data) {
  BmpBuilder B;
  B.BitCount = Compression == 1 ? 8 : 4;
  B.Compression = Compression;
  B.Width = 4;
  B.Height = 2;
  B.ColoursUsed = 2;
  B.Table = {0x000000, 0xFFFFFF};
  B.Pixels = std::move(Data);
  return B;
}

TEST_F(BadInput, BmpRunLengthStreamsOutOfBounds) {
  struct Row {
    const char *Name;
    BmpBuilder Bmp;
  } Rows[] = {
      {"RLE8 run of 200 in a row of 4", runLength(1, {200, 1, 0, 0, 200, 1, 0, 1})},
      {"RLE8 runs past the last row", runLength(1, {4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0, 4, 1})},
      {"RLE8 delta far past the end", runLength(1, {0, 2, 255, 255, 4, 1, 0, 1})},
      {"RLE8 delta cut short", runLength(1, {0, 2, 1})},
      {"RLE8 absolute run past the data", runLength(1, {0, 64, 1, 0, 1})},
      {"RLE8 ends inside a run", runLength(1, {5})},
      {"RLE8 without an end code", runLength(1, {2, 1, 2, 0})},
      {"RLE8 end of line past the height",
       runLength(1, std::vector<std::uint8_t>(2000, 0))},
      {"RLE4 run of 255 in a row of 4", runLength(2, {255, 0x10, 0, 0, 255, 0x01})},
      {"RLE4 absolute run past the data", runLength(2, {0, 255, 0x10})},
      {"RLE4 odd absolute run without padding", runLength(2, {0, 3, 0x10})},
  };
  for (Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    expectConverted(R.Bmp.build());
  }
  BmpBuilder Tall = runLength(1, {0, 1});
  Tall.Height = 1 << 28;
  {
    SCOPED_TRACE("RLE8 of height 2^28 that ends at once");
    expectConverted(Tall.build());
  }
  BmpBuilder TopDown = runLength(1, {4, 1, 0, 1});
  TopDown.Height = -2;
  {
    SCOPED_TRACE("RLE8 top-down");
    expectNotLoaded(TopDown.build());
  }
  BmpBuilder Mismatch = runLength(1, {4, 1, 0, 1});
  Mismatch.BitCount = 4;
  {
    SCOPED_TRACE("RLE8 with 4 bits per pixel");
    expectNotLoaded(Mismatch.build());
  }
}

// Deterministic junk bytes.
std::string junk(std::size_t Size, std::uint32_t Seed) {
  std::string Bytes(Size, '\0');
  for (char &C : Bytes) {
    Seed = Seed * 1103515245u + 12345u;
    C = static_cast<char>(Seed >> 16);
  }
  return Bytes;
}

TEST_F(BadInput, ConfigurationFiles) {
  const std::string Unmapped = "ERROR: Unmapped picture address 00001000\r\n";
  std::string ManySections;
  for (int N = 1; N <= 5000; ++N)
    ManySections += "[Block" + std::to_string(N) + "]\nAddr=" +
                    std::to_string(N == 5000 ? 0x1000 : 0x10000 + N) +
                    "\nFFOffset=$200\nLength=$100\n";
  std::string RepeatedBlock1;
  for (int N = 0; N < 5000; ++N)
    RepeatedBlock1 += "[Block1]\nAddr=$1000\nFFOffset=$" + std::to_string(N + 300) +
                      "\nLength=$100\n";
  const std::string HugeLine(10 << 20, 'k');
  struct Row {
    const char *Name;
    std::string Ini;
    std::string Stdout;
    std::string FirstRow; // the patch's first row line, or none
  } Rows[] = {
      {"binary junk", junk(64 << 10, 1), Unmapped, ""},
      {"junk with zero bytes around a valid map",
       junk(4096, 2) + "\n" + Map + std::string(100, '\0') + junk(4096, 3), Converted,
       "00000200: "},
      {"a 10 MB line alone", HugeLine, Unmapped, ""},
      {"a 10 MB line before the map", HugeLine + "\r\n" + Map, Converted, "00000200: "},
      {"a 10 MB value inside Block1", Map + "Junk=" + HugeLine + "\r\n", Converted,
       "00000200: "},
      {"a 10 MB section name", "[" + HugeLine + "]\r\n" + Map, Converted,
       "00000200: "},
      {"5000 sections, the last one maps", ManySections, Converted, "00000200: "},
      {"Block1 5000 times, the first one answers", RepeatedBlock1, Converted,
       "00000300: "},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    put("map.ini", R.Ini);
    run(Convert, R.Stdout, R.Stdout == Converted ? 0 : 1);
    const std::string Text = patch();
    EXPECT_EQ(Text.substr(0, Header.size()), Header);
    EXPECT_EQ(Text.substr(Header.size(), R.FirstRow.size()), R.FirstRow);
    if (R.FirstRow.empty()) {
      EXPECT_EQ(Text, Header);
    }
  }
}

TEST_F(BadInput, ConfigurationBeyondItsBudgetIsRefused) {
  // 15 MB of one-key sections: refused before the map could fill memory.
  std::string Ini;
  for (int N = 0; Ini.size() < (15u << 20); ++N)
    Ini += "[s" + std::to_string(N) + "]\nk=v\n";
  put("map.ini", Ini);
  run(Convert, "ERROR: Cannot open map.ini\r\n", 1, {});
}

TEST_F(BadInput, FullflashFiles) {
  const std::string Bad = "ERROR: Bad FF file full.bin\r\n";
  struct Row {
    const char *Name;
    std::uint64_t Length; // bytes of the 8-byte entry present
    bool Empty;
  } Rows[] = {
      {"empty", 0, true},
      {"ends before the table", 0, false},
      {"ends inside the entry", 5, false},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    if (R.Empty)
      writeFile(Dir / "full.bin", "");
    else
      writeFlash(Dir / "full.bin", 16, 4, R.Length);
    // Nothing is written to the patch, not even its header.
    run(Convert, Bad, 1);
    EXPECT_EQ(patch(), "");
  }

  writeFlash(Dir / "full.bin", 16, 4);
  {
    SCOPED_TRACE("an index whose position wraps negative");
    run({"-Cmap.ini", "a.bmp", "full.bin", "268321818"}, Bad, 1);
  }
  {
    SCOPED_TRACE("read-only");
    fs::permissions(Dir / "full.bin", fs::perms::owner_read |
                                          fs::perms::group_read |
                                          fs::perms::others_read);
    run(Convert, Converted, 0);
    EXPECT_EQ(patch(), paperPatch());
  }
}

TEST_F(BadInput, CommandLines) {
  const std::string Long(100 << 10, 'n');
  const std::string Cut(255, 'n');
  struct Row {
    const char *Name;
    std::vector<std::string> Args;
    std::string Stdout;
    int ExitCode;
    std::set<std::string> Created;
  } Rows[] = {
      {"100 KB BMP name", {"-Cmap.ini", Long, "full.bin", "0"},
       "ERROR: Couldn't write to " + Long + ".vkp\r\n", 1, {}},
      {"100 KB output name", {"-Cmap.ini", "a.bmp", "full.bin", "0", Long},
       "ERROR: Couldn't write to " + Long + "\r\n", 1, {}},
      {"100 KB fullflash name", {"-Cmap.ini", "a.bmp", Long, "0"},
       "ERROR: Couldn't open file " + Long + "\r\n", 1, {}},
      {"100 KB configuration switch is cut",
       {"-C" + Long, "a.bmp", "full.bin", "0"}, "ERROR: Cannot open " + Cut + "\r\n",
       1, {}},
      {"100 KB invalid switch", {"-Cmap.ini", "-z" + Long, "a.bmp", "full.bin", "0"},
       "ERROR: Invalid switch: -z" + Long + "\r\n", 1, {}},
      {"empty words fill no slot",
       {"", "-Cmap.ini", "", "a.bmp", "", "full.bin", "0", ""}, Converted, 0,
       {"a.vkp"}},
      {"only empty words", {"", "", ""}, "ERROR: Incorrect parameters\r\n", 1, {}},
      {"empty switch values", {"-C", "-E", "a.bmp", "full.bin", "0"},
       "ERROR: Cannot open \r\n", 1, {}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Name);
    run(R.Args, R.Stdout, R.ExitCode, R.Created);
  }
  SCOPED_TRACE("100 KB error-file switch is cut");
  run({"-Cmap.ini", "-E" + Long, "a.bmp", "full.bin", "0"}, "", 0, {"a.vkp", Cut});
  EXPECT_EQ(readFile(Dir / Cut), Converted);
}

TEST_F(BadInput, NonNumericIndexOfAnyLength) {
  std::string Huge(100 << 10, '0');
  Huge.front() = '1';
  for (const std::string &Index : {std::string(), Huge}) {
    SCOPED_TRACE(Index.size());
    RunResult R =
        run({"-Cmap.ini", "a.bmp", "full.bin", Index}, std::nullopt, 1, {});
    // The report's code location differs from build to build.
    EXPECT_TRUE(R.Stdout.starts_with("Exception EConvertError in module "));
    std::string Tail = ".\n'" + Index + "' is not a valid integer value.\r\n";
    EXPECT_TRUE(R.Stdout.ends_with(Tail)) << R.Stdout.substr(0, 200);
  }
}

TEST_F(BadInput, ErrorFileNeverTruncatesTheFullflash) {
  // The run stops before it opens the fullflash; the dump is still an input.
  run({"-Efull.bin", "a.bmp", "full.bin"}, "", 1, {});
  run({"-Efull.bin", "-Cnone.ini", "a.bmp", "full.bin", "0"}, "", 1, {});
}

} // namespace
} // namespace torvel::test

#endif
