// One whole run of the built torvel for each kind of hostile input, under a
// 64 MiB address space and a 5 s kill: the exact report and exit code, no
// stderr, the fullflash untouched and no file but the patch created.
#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#ifndef _WIN32

#include <filesystem>
#include <fstream>
#include <map>

namespace torvel::test {
namespace {

// ASan reserves terabytes of shadow memory, so it cannot run in 64 MiB.
extern "C" [[gnu::weak]] void __asan_init();

RunResult limitedRun(const std::vector<std::string> &Args, const std::string &Cwd) {
  std::vector<std::string> Words = {"-s", "KILL", "5"};
  if (!&__asan_init)
    Words.insert(Words.end(), {"prlimit", "--as=" + std::to_string(64 << 20), "--"});
  Words.push_back(TORVEL_EXE);
  Words.insert(Words.end(), Args.begin(), Args.end());
  RunResult R = runProgram("/usr/bin/timeout", Words, Cwd);
  // The code location of the uncaught report differs from build to build.
  if (R.Stdout.starts_with("Exception EConvertError in module torvel at "))
    R.Stdout.replace(44, 8, "XXXXXXXX");
  return R;
}

TEST(BadInput, EachKindOfHostileInputEndsCleanly) {
  const std::string Map = "[Block1]\nAddr=$1000\nFFOffset=$200\nLength=$100\n";
  const std::string Ok = "ERROR: a.bmp -> a.vkp Converted OK\r\n";
  const std::string Long(100 << 10, 'n');
  std::string Sections, OverBudget;
  for (int N = 1; N <= 5000; ++N)
    Sections += "[Block" + std::to_string(N) + "]\nAddr=" + std::to_string(N < 5000 ? 9 : 4096) +
                "\nFFOffset=$200\nLength=$100\n";
  for (int N = 0; OverBudget.size() < (15u << 20); ++N)
    OverBudget += "[s" + std::to_string(N) + "]\nk=v\n";
  auto Rle = [](std::int32_t Width, std::int32_t Height, std::string Data) {
    return BmpBuilder{.Width = Width, .Height = Height, .BitCount = 8, .Compression = 1,
                      .Table = {0, 0xFFFFFF}, .Pixels = {Data.begin(), Data.end()}}.build();
  };
  const struct {
    std::map<std::string, std::string> Files;
    std::vector<std::string> Args;
    std::string Stdout;
    int ExitCode;
  } Cases[] = {
      {{{"a.bmp", BmpBuilder{.Width = INT32_MAX, .BitCount = 1, .Table = {0}}.build()}}, {}, Ok, 0},
      {{{"a.bmp", BmpBuilder{.HeaderSize = 12, .Width = 65535, .Height = 65535, .BitCount = 1,
                              .Table = {0, 0}}.build()}}, {}, Ok, 0},
      {{{"a.bmp", BmpBuilder{.ImageSize = UINT32_MAX, .PixelOffset = UINT32_MAX}.build()}}, {}, Ok, 0},
      {{{"a.bmp", BmpBuilder{.BitCount = 8, .ColoursUsed = UINT32_MAX}.build()}},
       {}, "ERROR: cannot load a.bmp\r\n", 1},
      {{{"a.bmp", Rle(4, 1 << 28, {0, 1})}}, {}, Ok, 0},
      // Run-length data that end early in a very tall picture, without an end code.
      {{{"a.bmp", Rle(16, 1000000, {4, 1})}}, {}, Ok, 0},
      {{{"map.ini", std::string(1 << 16, '\x9C')}}, {}, "ERROR: Unmapped picture address 00001000\r\n", 1},
      {{{"map.ini", Map + "Junk=" + std::string(10 << 20, 'k') + "\n"}}, {}, Ok, 0},
      {{{"map.ini", Sections}}, {}, Ok, 0},
      {{{"map.ini", OverBudget}}, {}, "ERROR: Cannot open map.ini\r\n", 1},
      {{{"full.bin", ""}}, {}, "ERROR: Bad FF file full.bin\r\n", 1},
      {{}, {"-Cmap.ini", "a.bmp", "full.bin", "268321818"}, "ERROR: Bad FF file full.bin\r\n", 1},
      {{}, {"-Cmap.ini", "a.bmp", Long, "0"}, "ERROR: Couldn't open file " + Long + "\r\n", 1},
      {{}, {"-Cmap.ini", "a.bmp", "full.bin", Long},
       "Exception EConvertError in module torvel at XXXXXXXX.\n'" + Long +
           "' is not a valid integer value.\r\n", 1},
      // The run stops before it opens the dump, which is still an input.
      {{}, {"-Efull.bin", "a.bmp", "full.bin"}, "", 1},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(&Case - Cases);
    ScratchDir Dir;
    std::map<std::string, std::string> Files = Case.Files;
    Files.insert({{"map.ini", Map}, {"a.bmp", ""},
                  {"full.bin", std::string(0xDDF30, '\0') + std::string("\x10\x04\0\0\0\x10\0\0", 8)}});
    for (const auto &[Name, Bytes] : Files)
      writeFile(Dir / Name, Bytes);

    const std::vector<std::string> Convert = {"-Cmap.ini", "a.bmp", "full.bin", "0"};
    const RunResult R = limitedRun(Case.Args.empty() ? Convert : Case.Args, Dir.path());
    EXPECT_EQ(std::tuple(R.Stdout.substr(0, 300), R.ExitCode, R.Stderr),
              std::tuple(Case.Stdout.substr(0, 300), Case.ExitCode, ""));
    EXPECT_EQ(R.Stdout.size(), Case.Stdout.size());
    EXPECT_TRUE(readFile(Dir / "full.bin") == Files["full.bin"]);

    Files.insert({"a.vkp", ""});
    for (const auto &Entry : std::filesystem::directory_iterator(Dir.path()))
      EXPECT_TRUE(Files.contains(Entry.path().filename().string())) << Entry.path();
  }
}

TEST(BadInput, HugeBottomUpBmpReadsOnlyTheRowsShown) {
  // 1.2 GB of sparse 24-bit rows, black; the top row, stored last, starts with 2 white pixels.
  ScratchDir Dir;
  writeFile(Dir / "map.ini", "[Block1]\nAddr=0\nFFOffset=0\nLength=$10000000\n");
  writeFile(Dir / "full.bin", std::string(0xDDF30, '\0') + std::string("\x08\x02\0\0\0\x10\0\0", 8));
  writeFile(Dir / "a.bmp", BmpBuilder{.Width = 20000, .Height = 20000}.build());
  std::filesystem::resize_file(Dir / "a.bmp", 54 + 60000ull * 20000);
  std::fstream(Dir / "a.bmp", std::ios::in | std::ios::out | std::ios::binary)
      .seekp(54 + 60000ll * 19999).write("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
  EXPECT_EQ(limitedRun({"-Cmap.ini", "a.bmp", "full.bin", "0"}, Dir.path()).ExitCode, 0);
  EXPECT_EQ(readFile(Dir / "a.vkp"), "; Picture #0\r\n00001000: 3F ;....XXXXXXXXXXXX\r\n"
                                     "00001001: FF ;XXXXXXXXXXXXXXXX\r\n");
}

} // namespace
} // namespace torvel::test

#endif
