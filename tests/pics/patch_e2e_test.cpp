// Whole runs of torvel-pics patch, check and apply on the example dump:
// verified patches hold torvel's bytes and the dump's, apply and undo give
// the dump back, check names what does not apply, hostile patches end
// cleanly.
#include "base/int_text.h"
#include "base/sha256.h"
#include "patch/verified_patch.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace torvel::test {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
extern "C" [[gnu::weak]] void __asan_init();
const bool Sanitized = &__asan_init;
#endif

std::string hexOf(std::string_view Bytes) {
  std::string Text;
  for (char B : Bytes) {
    char Digits[3];
    std::snprintf(Digits, sizeof Digits, "%02X", static_cast<unsigned char>(B));
    Text += Digits;
  }
  return Text;
}

// A verified patch as torvel writes it: its comment lines and old data gone. Each
// record's old data must be the dump's bytes; Patched gets its new data.
std::string asTorvelPatch(const std::string &Verified, const std::string &Dump,
                          std::string *Patched = nullptr) {
  std::istringstream Lines(Verified);
  std::string Line, Text;
  for (int N = 0; std::getline(Lines, Line); ++N) {
    if (N == 0 || N > 2) {
      unsigned Offset = 0;
      std::sscanf(Line.c_str(), "%X", &Offset);
      const std::size_t Old = Line.find(' ') + 1, New = Line.find(' ', Old) + 1;
      if (N > 0) {
        const std::size_t Size = (New - Old - 1) / 2;
        EXPECT_EQ(Line.substr(Old, New - Old - 1), hexOf(Dump.substr(Offset, Size))) << Line;
        for (std::size_t I = 0; Patched && I < Size; ++I)
          (*Patched)[Offset + I] = char(std::stoi(Line.substr(New + 2 * I, 2), nullptr, 16));
        Line.erase(Old, New - Old);
      }
      Text += Line + "\n";
    }
  }
  return Text;
}

class PatchRuns : public ::testing::Test {
protected:
  void SetUp() override {
    runProgram(TORVEL_MAKE_FLASH_EXE, {"full.bin"}, Dir.path());
    fs::copy_file(TORVEL_EXAMPLES "/MARLOW.INI", Dir / "map.ini");
    fs::copy_file(TORVEL_EXAMPLES "/logo.bmp", Dir / "logo.bmp");
    Dump = readFile(Dir / "full.bin").value();
  }
  RunResult pics(std::vector<std::string> Args) {
    Args.insert(Args.begin(), {"-C", "map.ini"});
    return runProgram(TORVEL_PICS_EXE, Args, Dir.path());
  }
  std::string read(const std::string &Name) { return readFile(Dir / Name).value_or("<none>"); }
  std::string Dump;
  ScratchDir Dir;
};

TEST_F(PatchRuns, NewBytesAreTorvelsAndOldBytesTheDumps) {
  Sha256 Hash;
  Hash.update(std::span(reinterpret_cast<const std::uint8_t *>(Dump.data()), Dump.size()));
  const std::string Digest = lowerHex(Hash.finish());
  const char *Sizes[] = {"16 x 16 pixels at offset 00100000, 32", "101 x 80 pixels at offset "
                         "00101000, 1040", "8 x 8 pixels at offset 00102000, 8",
                         "32 x 16 pixels at offset 00112340, 64", "40 x 24 pixels at offset "
                         "00113000, 120"};
  for (int N = 0; N < 5; ++N) {
    SCOPED_TRACE(N);
    const std::string Index = std::to_string(N);
    for (const char *Bmp : {"logo.bmp", "picture.bmp"}) {
      if (Bmp == std::string("picture.bmp")) {
        ASSERT_EQ(pics({"extract", "full.bin", Index, "picture.bmp"}).ExitCode, 0);
      }
      const RunResult R = pics({"patch", "full.bin", Index, Bmp, "v.vkp"});
      EXPECT_EQ(std::tuple(R.Stdout, R.Stderr, R.ExitCode), std::tuple("", "", 0));
      ASSERT_EQ(runProgram(TORVEL_EXE, {"-Cmap.ini", Bmp, "full.bin", Index, "t.vkp"}, Dir.path())
                    .ExitCode, 0);
      const std::string Verified = read("v.vkp");
      EXPECT_EQ(asTorvelPatch(Verified, Dump), read("t.vkp"));
      EXPECT_EQ(Verified.substr(0, Verified.find("\r\n", 16) + 2),
                "; Picture #" + Index + "\r\n; " + Sizes[N] + " bytes; each line: offset, "
                "old data, new data\r\n");
      EXPECT_NE(Verified.find("; Dump full.bin: 4194304 bytes, SHA-256 " + Digest + "\r\n"),
                std::string::npos);
    }
  }
  // The default name, and only the dump's file name, never its folder.
  fs::create_directory(Dir / "sub");
  fs::copy_file(Dir / "full.bin", Dir / "sub/full.bin");
  EXPECT_EQ(pics({"patch", "sub/full.bin", "2", "logo.bmp"}).ExitCode, 0);
  EXPECT_NE(read("logo.vkp").find("\r\n; Dump full.bin: "), std::string::npos);
  // A name cannot end its comment line and slip in a record.
  const std::uint8_t Row[1] = {0x80};
  EXPECT_EQ(verifiedPatchText(9, {1, 1, 0}, 0x10, Row, Row, "a\r\n10: 00\x7F", 7, {}),
            "; Picture #9\r\n; 1 x 1 pixels at offset 00000010, 1 byte; each line: offset, "
            "old data, new data\r\n; Dump a??10: 00?: 7 bytes, SHA-256 " + std::string(64, '0') +
                "\r\n00000010: 80 80 ;XX\r\n");
}

TEST_F(PatchRuns, ApplyThenUndoGivesTheDumpBack) {
  ASSERT_EQ(pics({"patch", "full.bin", "4", "logo.bmp", "v.vkp"}).ExitCode, 0);
  std::string Expected = Dump;
  asTorvelPatch(read("v.vkp"), Dump, &Expected);
  RunResult R = pics({"apply", "full.bin", "v.vkp", "--output", "out.bin"});
  EXPECT_EQ(std::tuple(R.Stdout, R.Stderr, R.ExitCode),
            std::tuple("out.bin: 24 records applied, 120 bytes; 1 already there\n",
                       "v.vkp:27: note: offset 00113073: the new data are in the dump already\n",
                       0));
  EXPECT_EQ(read("out.bin"), Expected);
  const std::string Checked = pics({"check", "out.bin", "v.vkp"}).Stdout;
  EXPECT_EQ(Checked.substr(Checked.rfind("v.vkp: ")),
            "v.vkp: 24 records, 120 bytes, picture 4: already applied to out.bin\n");
  R = pics({"apply", "out.bin", "v.vkp", "-o", "back.bin", "--undo"});
  EXPECT_EQ(std::tuple(R.Stdout, R.ExitCode),
            std::tuple("back.bin: 24 records undone, 120 bytes; 1 already there\n", 0));
  EXPECT_EQ(read("back.bin"), Dump);

  // torvel's patch has no old data; the restore patch made before it undoes it.
  ASSERT_EQ(runProgram(TORVEL_EXE, {"-Cmap.ini", "logo.bmp", "full.bin", "4", "t.vkp"},
                       Dir.path()).ExitCode, 0);
  ASSERT_EQ(pics({"restore", "full.bin", "4", "r.vkp"}).ExitCode, 0);
  R = pics({"apply", "full.bin", "t.vkp", "-o", "t.bin"});
  EXPECT_EQ(std::tuple(R.Stdout, R.ExitCode),
            std::tuple("t.bin: 24 records applied, 120 bytes; 1 already there\n", 0));
  const std::string NoOld =
      "t.vkp:2: note: offset 00113000: no old data: it cannot be verified or undone\n";
  EXPECT_EQ(R.Stderr.substr(0, NoOld.size()), NoOld);
  EXPECT_EQ(read("t.bin"), Expected);
  EXPECT_EQ(pics({"apply", "t.bin", "r.vkp", "-o", "r.bin"}).ExitCode, 0);
  EXPECT_EQ(read("r.bin"), Dump);
  // Two patches in a row: the second writes last.
  writeFile(Dir / "two.vkp", "113000: 00 11\n");
  R = pics({"apply", "full.bin", "v.vkp", "two.vkp", "-o", "2.bin", "--force"});
  EXPECT_EQ(R.Stdout, "2.bin: 25 records applied, 121 bytes; 1 already there; 1 forced\n");
  EXPECT_EQ(read("2.bin"), std::string(Expected).replace(0x113000, 1, "\x11"));
}

TEST_F(PatchRuns, CheckNamesEachRecordThatDoesNotApply) {
  ASSERT_EQ(pics({"patch", "full.bin", "3", "logo.bmp", "v3.vkp"}).ExitCode, 0);
  ASSERT_EQ(pics({"patch", "full.bin", "4", "logo.bmp", "v4.vkp"}).ExitCode, 0);
  writeFile(Dir / "changed.bin", std::string(Dump).replace(0x11300B, 1, "\x04"));
  writeFile(Dir / "hand.vkp", "; by hand\r\n113000: FF 01\r\n#pragma disable warn_no_old_on_apply\n"
                              "DDF30: 11\n1000: FF 00\n+3FFF00\nFF: FFFF\n");
  const RunResult R = pics({"check", "changed.bin", "v3.vkp", "v4.vkp", "hand.vkp"});
  EXPECT_EQ(R.Stdout,
            "v3.vkp: 16 records, 64 bytes, picture 3: applies to changed.bin\n"
            "v4.vkp:6: problem: offset 0011300A: the dump holds 8004000001, neither the old "
            "data 8000000001 nor the new data 20000004FF\n"
            "v4.vkp:27: note: offset 00113073: the new data are in the dump already\n"
            "v4.vkp: 24 records, 120 bytes, picture 4: does not apply to changed.bin: "
            "1 problem, 1 note\n"
            "hand.vkp:2: problem: offset 00113000: writes 01 at 00113000 where v4.vkp:4 writes 00\n"
            "hand.vkp:4: note: offset 000DDF30: writes into the picture table\n"
            "hand.vkp:5: note: offset 00001000: writes 1 byte outside every picture\n"
            "hand.vkp:7: problem: offset 003FFFFF: runs past the end of changed.bin "
            "(4194304 bytes)\n"
            "hand.vkp: 4 records, 5 bytes, picture 4: does not apply to changed.bin: "
            "2 problems, 2 notes\n");
  EXPECT_EQ(std::tuple(R.Stderr, R.ExitCode), std::tuple("", 1));
  // Long data show the bytes around the first difference.
  writeFile(Dir / "long.vkp", "113000: FFFFFFFFFF800000000180000000018000000F01 " +
                                  std::string(40, '0'));
  const std::string Long = pics({"check", "full.bin", "long.vkp"}).Stdout;
  EXPECT_EQ(Long.substr(0, Long.find('\n') + 1),
            "long.vkp:1: problem: offset 00113000: the dump holds ...FF800000000180000000018000"
            "000001, neither the old data ...FF800000000180000000018000000F01 nor the new data "
            "...00000000000000000000000000000000 (bytes from 00113004 on)\n");
}

TEST_F(PatchRuns, BadInputsFailWithoutLeavingFiles) {
  // Entry 7, where the table ended, now a picture 0 pixels wide.
  writeFile(Dir / "zero.bin",
            std::string(Dump).replace(0xDDF30 + 56, 8, "\0\x08\0\0\0\x10\0\x01", 8));
  writeFile(Dir / "bad.vkp", "1000: AA\nzz\n");
  writeFile(Dir / "v.vkp", "113000: FF 00\n");
  writeFile(Dir / "undo.vkp", "113000: 00\n#pragma disable undo\n113005: 80 81\n");
  const std::string Try = "Try 'torvel-pics --help' for more information.\n";
  const std::string Input = "it is one of the inputs\n";
  const std::string BadLines = "bad.vkp:2:1: unexpected 'z'\n";
  const std::string UndoLines =
      "undo.vkp:1: problem: offset 00113000: no old data: it cannot be undone\n"
      "undo.vkp:3: problem: offset 00113005: read under #pragma disable undo: it may not be "
      "undone\n";
  const struct {
    std::vector<std::string> Args;
    std::string Stdout, Stderr;
  } Cases[] = {
      {{"patch", "zero.bin", "7", "logo.bmp"}, "", "picture 7 has no pixels (0 x 8)\n"},
      {{"patch", "full.bin", "5", "logo.bmp"}, "",
       "picture 5: address 00800000 lies in no block of map.ini\n"},
      {{"patch", "full.bin", "6", "logo.bmp"}, "",
       "picture 6: its 512 bytes at offset 003FFF00 run past the end of full.bin\n"},
      {{"patch", "full.bin", "7", "logo.bmp"}, "",
       "picture 7 is past the end of the picture table, which holds 7 pictures\n"},
      {{"patch", "full.bin", "4", "none.bmp"}, "",
       "cannot load BMP file none.bmp: Cannot open file none.bmp\n"},
      {{"patch", "full.bin", "4", "map.ini", "x.vkp"}, "",
       "cannot load BMP file map.ini: Bitmap image is not valid\n"},
      {{"patch", "full.bin", "4", "logo.bmp", "logo.bmp"}, "", "will not write logo.bmp: " + Input},
      {{"patch", "full.bin", "4", "logo.bmp", "./full.bin"}, "",
       "will not write ./full.bin: " + Input},
      {{"check", "full.bin", "v.vkp", "none.vkp"}, "", "cannot open patch file none.vkp\n"},
      {{"check", "full.bin", "bad.vkp"},
       BadLines + "bad.vkp: 0 records, 0 bytes, no picture: does not apply to full.bin: "
                  "1 problem, 0 notes\n", ""},
      {{"apply", "full.bin", "v.vkp", "-o", "v.vkp"}, "", "will not write v.vkp: " + Input},
      {{"apply", "full.bin", "v.vkp", "-o", "map.ini"}, "", "will not write map.ini: " + Input},
      {{"apply", "full.bin", "v.vkp", "-ofull.bin"}, "", "will not write full.bin: " + Input},
      {{"apply", "full.bin", "v.vkp", "bad.vkp", "-o", "o.bin", "--force"}, "",
       BadLines + "torvel-pics: will not write o.bin: 1 problem that --force does not override "
                  "(see above)\n"},
      {{"apply", "full.bin", "undo.vkp", "-o", "o.bin", "--undo"}, "",
       UndoLines + "torvel-pics: will not write o.bin: 2 problems (see above)\n"},
      {{"apply", "full.bin", "undo.vkp", "-o", "o.bin", "--undo", "--force"}, "",
       UndoLines + "torvel-pics: will not write o.bin: 2 problems that --force does not "
                   "override (see above)\n"},
      {{"apply", "full.bin", "v.vkp", "-o", "none/o.bin"}, "", "cannot write none/o.bin\n"},
      {{"apply", "none.bin", "v.vkp", "-o", "o.bin"}, "", "cannot open fullflash file none.bin\n"},
      {{"apply", "full.bin", "v.vkp"}, "", "apply needs --output FILE\n" + Try},
      {{"check", "full.bin"}, "", "no patch file given\n" + Try},
      {{"check", "full.bin", "v.vkp", "--undo"}, "",
       "--output, --undo and --force belong to apply\n" + Try},
      {{"patch", "full.bin", "4"}, "", "no BMP file given\n" + Try},
  };
  std::set<fs::path> Before(fs::directory_iterator(Dir.path()), {});
  for (const auto &[Args, Stdout, Stderr] : Cases) {
    SCOPED_TRACE(::testing::PrintToString(Args));
    const RunResult R = pics(Args);
    const std::string Message =
        Stderr.empty() || Stderr.find("torvel-pics: ") != std::string::npos ? Stderr
                                                                            : "torvel-pics: " + Stderr;
    EXPECT_EQ(std::tuple(R.Stdout, R.Stderr, R.ExitCode),
              std::tuple(Stdout, Message, Stderr.ends_with(Try) ? 2 : 1));
    EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(Dir.path()), {}), Before);
  }
  EXPECT_EQ(read("full.bin"), Dump);
}

#ifndef _WIN32
TEST_F(PatchRuns, HostilePatchesEndCleanlyInLittleMemoryAndTime) {
  // A patch file made of Head, a hole of Gap zero bytes, then Tail.
  auto writeSparse = [&](const std::string &Head, std::uint64_t Gap, const std::string &Tail) {
    writeFile(Dir / "h.vkp", Head);
    fs::resize_file(Dir / "h.vkp", Head.size() + Gap);
    std::ofstream(Dir / "h.vkp", std::ios::app | std::ios::binary) << Tail;
  };
  std::string Many;
  for (int I = 0; I < 2000000; ++I)
    Many += "100000: 80 00\n";
  const std::string Fail = "h.vkp: 0 records, 0 bytes, no picture: does not apply to full.bin: "
                           "1 problem, 0 notes\n";
  const struct {
    std::string Head;
    std::uint64_t Gap;
    std::string Tail, Command, Expected;
  } Cases[] = {
      // A comment line of 2 GiB, then a record.
      {"; x", (2ull << 30) + 5, "\n113000: FF FF\n", "check",
       "h.vkp:2: note: offset 00113000: the new data are in the dump already\n"
       "h.vkp: 1 record, 1 byte, picture 4: already applied to full.bin\n0"},
      {"0: " + std::string(3 << 20, 'A'), 0, "", "check",
       "h.vkp:1:4: data longer than 1 MiB (1048576 bytes)\n" + Fail + "1"},
      {Many, 0, "", "check",
       "h.vkp: 2000000 records, 2000000 bytes, picture 0: applies to full.bin\n0"},
      {Many, 0, "", "apply", "o.bin: 2000000 records applied, 2000000 bytes; 0 already there\n0"},
      {"1000: AA /*", 1ull << 30, "", "check", "h.vkp:1:10: comment not closed\n" + Fail + "1"},
      {"+FFFFFFFF\nFFFFFFFF: AA", 0, "", "check",
       "h.vkp:2:1: record of 1 byte at FFFFFFFF with the corrector +FFFFFFFF runs past "
       "FFFFFFFF\n" + Fail + "1"},
      {"-1\n0: AA", 0, "", "apply",
       "h.vkp:2:1: address 00000000 with the corrector -00000001 lies below 0\n"
       "torvel-pics: will not write o.bin: 1 problem (see above)\n1"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(&Case - Cases);
    writeSparse(Case.Head, Case.Gap, Case.Tail);
    // Sanitizers make a run several times slower.
    std::vector<std::string> Words = {"-s", "KILL", Sanitized ? "120" : "20", "prlimit", "--as=536870912", "--",
                                      TORVEL_PICS_EXE, "-C", "map.ini", Case.Command,
                                      "full.bin", "h.vkp"};
    // ASan reserves terabytes of shadow memory, so it cannot run in 512 MiB.
    if (Sanitized)
      Words.erase(Words.begin() + 3, Words.begin() + 6);
    if (Case.Command == "apply")
      Words.insert(Words.end(), {"-o", "o.bin"});
    const RunResult R = runProgram("/usr/bin/timeout", Words, Dir.path());
    EXPECT_EQ(R.Stdout + R.Stderr + std::to_string(R.ExitCode), Case.Expected);
    fs::remove(Dir / "o.bin");
  }
  EXPECT_EQ(read("full.bin"), Dump);
}
#endif

} // namespace
} // namespace torvel::test
