// Whole runs of the built torvel: the stages' reports, the packed rows and
// what the patch holds after each failure.
#include "picture/bmp_builder.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <memory>

#include <windows.h>
#endif

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const bool Sanitized = false;
#else
extern "C" [[gnu::weak]] void __asan_init();
const bool Sanitized = &__asan_init;
#endif

// 24-bit rows from text, top row first: 'X' black, anything else white.
std::string picture24(const std::vector<std::string> &Rows) {
  BmpBuilder B{.Width = std::int32_t(Rows.front().size()), .Height = std::int32_t(Rows.size())};
  for (auto Row = Rows.rbegin(); Row != Rows.rend(); ++Row) {
    std::vector<std::uint8_t> Bytes;
    for (char C : *Row)
      Bytes.insert(Bytes.end(), 3, C == 'X' ? 0x00 : 0xFF);
    B.row(Bytes);
  }
  return B.build();
}

class RunE2E : public ::testing::Test {
protected:
  void SetUp() override {
    // Address 0x1000 lies at offset 0x200; 0x2000 at 0x1A2B3C; 0x3000 at
    // FFFFFFFE, so rows run across the 32-bit end.
    writeFile(Dir / "map.ini", "[Block1]\nAddr=$1000\nFFOffset=$200\nLength=$100\n"
                               "[Block2]\nAddr=$2000\nFFOffset=$1A2B3C\nLength=$100\n"
                               "[Block3]\nAddr=$3000\nFFOffset=$FFFFFFFE\nLength=$100\n");
    writeFlash(1, 1, 0x1000);
    writeFile(Dir / "a.bmp", picture24({"X"}));
    fs::create_directory(Dir / "folder");
  }
  // Writes a fullflash whose picture 2 is Width x Height at Address.
  void writeFlash(int Width, int Height, int Address) {
    const char Entry[8] = {char(Width), char(Height), 0, 0, char(Address), char(Address >> 8)};
    Flash = std::string(0xDDF30 + 24, '\xFF').replace(0xDDF30 + 16, 8, Entry, 8);
    writeFile(Dir / "full.bin", Flash);
  }
  // Runs torvel in Dir, Limited to a 64 MiB address space and 5 s: the report (its code
  // location as XXXXXXXX), exit code and patch a.vkp. The inputs must not change.
  std::string run(const std::vector<std::string> &Args, bool Limited = false) {
    fs::remove(Dir / "a.vkp");
    const std::string Map = readFile(Dir / "map.ini").value();
    const auto Bmp = std::pair(fs::file_size(Dir / "a.bmp"), fs::last_write_time(Dir / "a.bmp"));
    std::vector<std::string> Words = {"-s", "KILL", "5", "prlimit", "--as=67108864", "--",
                                      TORVEL_EXE};
    // ASan reserves terabytes of shadow memory, so it cannot run in 64 MiB.
    Words.erase(Words.begin() + (Sanitized ? 3 : 6), Words.end() - 1);
    Words.insert(Words.end(), Args.begin(), Args.end());
    RunResult R = Limited ? runProgram("/usr/bin/timeout", Words, Dir.path())
                          : runProgram(TORVEL_EXE, Args, Dir.path());
    EXPECT_TRUE(readFile(Dir / "full.bin") == Flash && readFile(Dir / "map.ini") == Map &&
                std::pair(fs::file_size(Dir / "a.bmp"), fs::last_write_time(Dir / "a.bmp")) == Bmp)
        << "an input has changed";
    const std::string Module = fs::path(TORVEL_EXE).filename().string();
    if (R.Stdout.starts_with("Exception EConvertError in module " + Module + " at "))
      R.Stdout.replace(38 + Module.size(), 8, "XXXXXXXX");
    return R.Stdout + R.Stderr + std::to_string(R.ExitCode) + "\n" +
           readFile(Dir / "a.vkp").value_or("<none>");
  }
  // Converts Bmp as picture 2 of that size at Address.
  std::string convert(const std::string &Bmp, int Width, int Height, int Address = 0x1000) {
    writeFile(Dir / "a.bmp", Bmp);
    writeFlash(Width, Height, Address);
    return run({"-Cmap.ini", "a.bmp", "full.bin", "2"});
  }
  std::string Flash;
  ScratchDir Dir;
};

TEST_F(RunE2E, UsageScreenAndUncaughtFailure) {
  const std::string Usage = ".BMP to VKlay .VKP Converter. V. 1.0\r\n";
  EXPECT_EQ(run({}).substr(0, Usage.size()), Usage);
  EXPECT_TRUE(run({}).ends_with("\r\n2\n<none>"));
  EXPECT_TRUE(run({"-x", "a.bmp", "full.bin", "1", "/?"}).ends_with("\r\n0\n<none>"));
  EXPECT_EQ(run({"-Cmap.ini", "a.bmp", "full.bin", "abc", "-h"}),
            "Exception EConvertError in module " + fs::path(TORVEL_EXE).filename().string() +
                " at XXXXXXXX.\n'abc' is not a valid integer value.\r\n1\n<none>");
}

TEST_F(RunE2E, EachStageReportsItsFailureAndNoInputIsOverwritten) {
  const std::pair<std::vector<std::string>, std::string> Rows[] = {
      {{"a.bmp", "full.bin"}, "Incorrect parameters"},
      {{"a.bmp", "full.bin", "$FFFFFFFE"}, "Incorrect parameters"},
      {{"-Cmap.ini", "-z", "a", "b", "1", "c", "d"}, "Invalid command line"},
      {{"-Cnone.ini", "a.bmp", "full.bin", "1"}, "Cannot open none.ini"},
      {{"-Cfolder", "a.bmp", "full.bin", "1"}, "Cannot open folder"},
      {{"-Cmap.ini", "a.bmp", "none.bin", "1"}, "Couldn't open file none.bin"},
      {{"-Cmap.ini", "a.bmp", "folder", "1"}, "Couldn't open file folder"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "1", "folder"}, "Couldn't write to folder"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "./full.bin"}, "Couldn't write to ./full.bin"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "a.bmp"}, "Couldn't write to a.bmp"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "0", "map.ini"}, "Couldn't write to map.ini"}};
  for (const auto &[Args, Status] : Rows)
    EXPECT_EQ(run(Args), "ERROR: " + Status + "\r\n1\n<none>");
  // An error file that is an input or the patch is one that cannot be created.
  const std::string Patch = "; Picture #2\r\n00000200: FF ;XX\r\n";
  EXPECT_EQ(run({"-Cmap.ini", "-E./full.bin", "a.bmp", "full.bin", "2"}), "1\n" + Patch);
  EXPECT_EQ(run({"-Cmap.ini", "-Ea.vkp", "a.bmp", "full.bin", "2"}), "1\n" + Patch);
  EXPECT_EQ(run({"-Efolder/none/err.txt", "a.bmp", "full.bin"}), "1\n<none>");
  EXPECT_EQ(run({"-Eerr.txt", "a.bmp", "full.bin"}), "1\n<none>");
  EXPECT_EQ(readFile(Dir / "err.txt"), "ERROR: Incorrect parameters\r\n");
  // A BMP that does not load, or an address in no block: the header line only.
  EXPECT_EQ(convert("BA" + std::string(13, '\0'), 4, 4),
            "ERROR: cannot load a.bmp\r\n1\n; Picture #2\r\n");
  EXPECT_EQ(convert(picture24({"X"}), 1, 1, 0x9234),
            "ERROR: Unmapped picture address 00009234\r\n1\n; Picture #2\r\n");
  // A dump that ends inside the entry: not even the header.
  Flash.resize(Flash.size() - 1);
  writeFile(Dir / "full.bin", Flash);
  EXPECT_EQ(run({"-Cmap.ini", "a.bmp", "full.bin", "2"}), "ERROR: Bad FF file full.bin\r\n1\n");
}

TEST_F(RunE2E, PacksRowsAndCutsOrExtendsAtTheTopLeft) {
  const struct {
    std::string Bmp;
    int Width, Height, Address;
    std::string Rows;
  } Cases[] = {
      {picture24({"."}), 1, 1, 0x1000, "00000200: 7F ;..\r\n"},
      {picture24({"XXXXXXXX"}), 8, 1, 0x1000, "00000200: FF ;XXXXXXXXXXXXXXXX\r\n"},
      {picture24({"X.X.X.X.XX", ".........."}), 10, 2, 0x2000,
       "001A2B3C: AAFF ;XX..XX..XX..XX..XXXX\r\n001A2B3E: 003F ;....................\r\n"},
      // Offsets wrap at 32 bits.
      {picture24({"X", "X"}), 9, 2, 0x3000,
       "FFFFFFFE: 807F ;XX................\r\n00000000: 807F ;XX................\r\n"},
      {picture24({"X"}), 0, 3, 0x1000, "00000200:  ;\r\n00000200:  ;\r\n00000200:  ;\r\n"},
      {picture24({"X"}), 5, 0, 0x1000, ""},
      // An empty BMP is all paper.
      {"", 12, 2, 0x1000,
       "00000200: 000F ;........................\r\n00000202: 000F ;........................\r\n"},
      {picture24({"XX.XX", "X.X.X", ".XXX.", "XXXXX"}), 3, 2, 0x1000,
       "00000200: DF ;XXXX..\r\n00000201: BF ;XX..XX\r\n"},
      {picture24({"XX", "X."}), 4, 3, 0x1000,
       "00000200: CF ;XXXX....\r\n00000201: 8F ;XX......\r\n00000202: 0F ;........\r\n"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Rows);
    EXPECT_EQ(convert(Case.Bmp, Case.Width, Case.Height, Case.Address),
              "ERROR: a.bmp -> a.vkp Converted OK\r\n0\n; Picture #2\r\n" + Case.Rows);
  }
}

TEST_F(RunE2E, ReportInTheErrorFileAndAFullDisk) {
  EXPECT_EQ(run({"-Cmap.ini", "-Elog.txt", "a.bmp", "full.bin", "2", "out.vkp"}), "0\n<none>");
  EXPECT_EQ(readFile(Dir / "log.txt"), "ERROR: a.bmp -> out.vkp Converted OK\r\n");
  EXPECT_EQ(readFile(Dir / "out.vkp"), "; Picture #2\r\n00000200: FF ;XX\r\n");
#ifdef __linux__
  // A write that fails only when the patch is flushed is still a failure.
  EXPECT_EQ(run({"-Cmap.ini", "a.bmp", "full.bin", "2", "/dev/full"}),
            "ERROR: Cannot save to /dev/full\r\n1\n<none>");
  // A running program cannot be opened for writing, even by root: the running
  // torvel itself serves as a dump that only a read-only open gets through.
  EXPECT_FALSE(run({"-Cmap.ini", "a.bmp", TORVEL_EXE, "0"}).starts_with("ERROR: Couldn't open"));
#endif
}

TEST_F(RunE2E, ConfigurationLiesBesideACopiedExecutableWhoseNameTheReportGives) {
  const std::string Name = "Conv 2" + fs::path(TORVEL_EXE).extension().string();
  const fs::path Exe = fs::path(Dir.path()).make_preferred() / "my tools" / Name;
  fs::create_directory(Dir / "my tools");
  fs::copy_file(TORVEL_EXE, Exe);
  EXPECT_EQ(runProgram(Exe.string(), {"a.bmp", "full.bin", "2"}, Dir.path()).Stdout,
            "ERROR: Cannot open " + (Exe.parent_path() / "MARLOW.INI").string() + "\r\n");
  fs::copy_file(Dir / "map.ini", Dir / "my tools/MARLOW.INI");
  EXPECT_EQ(runProgram(Exe.string(), {"a.bmp", "full.bin", "2"}, Dir.path()).Stdout,
            "ERROR: a.bmp -> a.vkp Converted OK\r\n");
  std::string Uncaught = runProgram(Exe.string(), {"a", "b", "abc"}, Dir.path()).Stdout;
  EXPECT_EQ(Uncaught.replace(38 + Name.size(), 8, "XXXXXXXX"),
            "Exception EConvertError in module " + Name +
                " at XXXXXXXX.\n'abc' is not a valid integer value.\r\n");
}

#ifndef _WIN32
TEST_F(RunE2E, EachKindOfHostileInputEndsCleanlyInLittleMemoryAndTime) {
  const std::string Ok = "ERROR: a.bmp -> a.vkp Converted OK\r\n0\n; Picture #2\r\n00000200: ";
  const std::string Long(100 << 10, 'n'), Map = readFile(Dir / "map.ini").value();
  std::string Sections, OverBudget;
  for (int N = 1; N <= 5000; ++N)
    Sections += "[Block" + std::to_string(N) + "]\nAddr=" + std::to_string(N < 5000 ? 9 : 4096) +
                "\nFFOffset=$200\nLength=$100\n";
  while (OverBudget.size() < (15u << 20))
    OverBudget += "[s" + std::to_string(OverBudget.size()) + "]\nk=v\n";
  auto Rle = [](std::int32_t Width, std::int32_t Height, std::vector<std::uint8_t> Data) {
    return BmpBuilder{.Width = Width, .Height = Height, .BitCount = 8, .Compression = 1,
                      .Table = {0, 0xFFFFFF}, .Pixels = Data}.build();
  };
  const struct {
    const char *File;
    std::string Bytes;
    std::vector<std::string> Args;
    std::string Expected;
  } Cases[] = {
      {"a.bmp", BmpBuilder{.Width = INT32_MAX, .BitCount = 1, .Table = {0}}.build(), {},
       Ok + "FF ;XX\r\n"},
      {"a.bmp", BmpBuilder{.HeaderSize = 12, .Width = 65535, .Height = 65535, .BitCount = 1,
                           .Table = {0, 0}}.build(), {}, Ok + "FF ;XX\r\n"},
      {"a.bmp", BmpBuilder{.ImageSize = UINT32_MAX, .PixelOffset = UINT32_MAX}.build(), {},
       Ok + "FF ;XX\r\n"},
      {"a.bmp", BmpBuilder{.BitCount = 8, .ColoursUsed = UINT32_MAX}.build(), {},
       "ERROR: cannot load a.bmp\r\n1\n; Picture #2\r\n"},
      {"a.bmp", Rle(4, 1 << 28, {0, 1}), {}, Ok + "FF ;XX\r\n"},
      // Run-length data that end early in a very tall picture, without an end code.
      {"a.bmp", Rle(16, 1000000, {4, 1}), {}, Ok + "FF ;XX\r\n"},
      {"map.ini", std::string(1 << 16, '\x9C'), {},
       "ERROR: Unmapped picture address 00001000\r\n1\n; Picture #2\r\n"},
      // A line of 10 MB, read in pieces, and the keys after it.
      {"map.ini", "[Block1]\nJunk=" + std::string(10 << 20, 'k') + Map.substr(8), {},
       Ok + "FF ;XX\r\n"},
      {"map.ini", Sections, {}, Ok + "FF ;XX\r\n"},
      {"map.ini", OverBudget, {}, "ERROR: Cannot open map.ini\r\n1\n<none>"},
      {"full.bin", "", {}, "ERROR: Bad FF file full.bin\r\n1\n"},
      {"", "", {"-Cmap.ini", "a.bmp", "full.bin", "268321818"},
       "ERROR: Bad FF file full.bin\r\n1\n"},
      {"", "", {"-Cmap.ini", "a.bmp", Long, "0"},
       "ERROR: Couldn't open file " + Long + "\r\n1\n<none>"},
      {"", "", {"-Cmap.ini", "a.bmp", "full.bin", Long},
       "Exception EConvertError in module torvel at XXXXXXXX.\n'" + Long +
           "' is not a valid integer value.\r\n1\n<none>"},
      // The run stops before it opens the dump, which is still an input.
      {"", "", {"-Efull.bin", "a.bmp", "full.bin"}, "1\n<none>"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(&Case - Cases);
    SetUp();
    if (*Case.File)
      writeFile(Dir / Case.File, Case.Bytes);
    if (Case.File == std::string("full.bin"))
      Flash = Case.Bytes;
    const std::string Got =
        run(Case.Args.empty() ? std::vector<std::string>{"-Cmap.ini", "a.bmp", "full.bin", "2"}
                              : Case.Args, true);
    EXPECT_EQ(Got.substr(0, 300), Case.Expected.substr(0, 300));
    EXPECT_EQ(Got.size(), Case.Expected.size());
  }
  // 1.2 GB of sparse 24-bit rows, black; the top row, stored last, starts with 2 white pixels.
  writeFlash(8, 2, 0x1000);
  writeFile(Dir / "a.bmp", BmpBuilder{.Width = 20000, .Height = 20000}.build());
  fs::resize_file(Dir / "a.bmp", 54 + 60000ull * 20000);
  std::fstream(Dir / "a.bmp", std::ios::in | std::ios::out | std::ios::binary)
      .seekp(54 + 60000ll * 19999).write("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
  EXPECT_EQ(run({"-Cmap.ini", "a.bmp", "full.bin", "2"}, true),
            Ok + "3F ;....XXXXXXXXXXXX\r\n00000201: FF ;XXXXXXXXXXXXXXXX\r\n");
}
#endif

#ifdef _WIN32
// Holds Name open as another program that reads, or writes too, until the handle goes.
auto openBy(const std::string &Name, bool Writer) {
  HANDLE H = ::CreateFileA(Name.c_str(), GENERIC_READ | (Writer ? GENERIC_WRITE : 0),
                           FILE_SHARE_READ | (Writer ? FILE_SHARE_WRITE : 0), nullptr,
                           OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(H, INVALID_HANDLE_VALUE) << Name;
  return std::unique_ptr<void, decltype(&::CloseHandle)>(H, &::CloseHandle);
}

TEST_F(RunE2E, WindowsNamesAndSwitches) {
  const std::string Root = fs::path(Dir.path()).make_preferred().string();
  ASSERT_TRUE(Root.size() > 2 && Root[1] == ':') << Root;
  fs::create_directory(Dir / "pics");
  fs::copy_file(Dir / "a.bmp", Dir / "pics/logo.bmp");
  const std::string Slashed = fs::path(Dir / "pics").generic_string() + "/logo";
  const std::string Caps = Root + "\\FULL.BIN";
  // Names with a drive, absolute or relative, '\\' or '/': the output lands beside the BMP.
  EXPECT_EQ(run({"-C" + Root + "\\map.ini", Root + "\\pics\\logo.bmp", Root + "\\full.bin", "2"}),
            "ERROR: " + Root + "\\pics\\logo.bmp -> " + Root +
                "\\pics\\logo.vkp Converted OK\r\n0\n<none>");
  EXPECT_EQ(runProgram(TORVEL_EXE, {"-C..\\map.ini", Slashed + ".bmp", "..\\full.bin", "2"},
                       Root + "\\pics")
                .Stdout,
            "ERROR: " + Slashed + ".bmp -> " + Slashed + ".vkp Converted OK\r\n");
  const std::pair<std::vector<std::string>, std::string> Rows[] = {
      // Unlike on Linux, a '/' starts a switch even before a path.
      {{"/Cmy.ini", "a.bmp", "full.bin", "2"}, "Cannot open my.ini"},
      {{"-Cmap.ini", "/tmp", "a.bmp", "full.bin", "2"}, "Invalid switch: /tmp"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "2", "/x/y"}, "Invalid switch: /x/y"},
      // Words arrive unchanged: quotes, backslashes, spaces, no wildcard expansion.
      {{"-q\\\\\"x\"\\"}, "Invalid switch: -q\\\\\"x\"\\"},
      {{"-Cmy dir\\", "a.bmp", "full.bin", "2"}, "Cannot open my dir\\"},
      {{"-Cmap.ini", "a.bmp", "full.bin", "2", "*.ini"}, "Couldn't write to *.ini"},
      // Another spelling of the dump is refused as output, and as error file.
      {{"-Cmap.ini", "a.bmp", "full.bin", "2", Caps}, "Couldn't write to " + Caps}};
  for (const auto &[Args, Status] : Rows)
    EXPECT_EQ(run(Args), "ERROR: " + Status + "\r\n1\n<none>");
  EXPECT_EQ(run({"-Cmap.ini", "-E" + Caps, "a.bmp", "full.bin", "2"}),
            "1\n; Picture #2\r\n00000200: FF ;XX\r\n");
  EXPECT_EQ(run({"-Cmap.ini", "-ENUL", "a.bmp", "full.bin", "2", "NUL"}), "0\n<none>");
}

TEST_F(RunE2E, WindowsFilesOpenWithTheirAccessAndSharing) {
  const std::vector<std::string> Convert = {"-Cmap.ini", "a.bmp", "full.bin", "2", "b.vkp"};
  const std::string Ok = "ERROR: a.bmp -> b.vkp Converted OK\r\n0\n<none>";
  // The dump is only read, and shared for writing: it converts when marked read-only and held
  // by a reader that lets nobody write, and while a hex editor has it open for writing.
  ASSERT_TRUE(::SetFileAttributesA((Dir / "full.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  auto Reader = openBy(Dir / "full.bin", false);
  EXPECT_EQ(run(Convert), Ok);
  Reader.reset();
  ASSERT_TRUE(::SetFileAttributesA((Dir / "full.bin").c_str(), FILE_ATTRIBUTE_NORMAL));
  auto Editor = openBy(Dir / "full.bin", true);
  EXPECT_EQ(run(Convert), Ok);
  // A reader sharing the output for reading only keeps it shut, and uncut.
  auto Viewer = openBy(Dir / "b.vkp", false);
  EXPECT_EQ(run(Convert), "ERROR: Couldn't write to b.vkp\r\n1\n<none>");
  EXPECT_EQ(readFile(Dir / "b.vkp"), "; Picture #2\r\n00000200: FF ;XX\r\n");
  // The BMP is shared for reading only, so a writer holding it wins.
  auto Painter = openBy(Dir / "a.bmp", true);
  EXPECT_EQ(run({"-Cmap.ini", "a.bmp", "full.bin", "2"}),
            "ERROR: cannot load a.bmp\r\n1\n; Picture #2\r\n");
}
#endif

} // namespace
} // namespace torvel::test
