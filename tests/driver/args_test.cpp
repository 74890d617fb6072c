#include "driver/args.h"
#include "driver/int_text.h"
#include "driver/run.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

struct Parsed {
  ParseOutcome Outcome;
  RunState Run;
};

Parsed parse(std::vector<std::string> Args) {
  Parsed P{ParseOutcome::Continue, {}};
  P.Run.ConfigPath = "default.ini";
  P.Outcome = parseArguments(P.Run, Args);
  return P;
}

TEST(Args, PositionalSlotsFillInOrder) {
  Parsed P = parse({"a.bmp", "full.bin", "12", "out.vkp"});
  EXPECT_EQ(P.Outcome, ParseOutcome::Continue);
  EXPECT_EQ(P.Run.BmpName, "a.bmp");
  EXPECT_EQ(P.Run.FlashName, "full.bin");
  EXPECT_EQ(P.Run.PictureIndex, 12);
  EXPECT_EQ(P.Run.OutputName, "out.vkp");
  EXPECT_EQ(P.Run.Status, "");
}

TEST(Args, IndexOfMinusOneLeavesTheSlotOpen) {
  Parsed P = parse({"a.bmp", "full.bin", "$FFFFFFFF", "7"});
  EXPECT_EQ(P.Run.PictureIndex, 7);
  EXPECT_EQ(P.Run.OutputName, "");
}

TEST(Args, Switches) {
  const struct {
    std::vector<std::string> Args;
    std::string Config, Error, Status;
  } Cases[] = {
      {{"-Cmy.ini"}, "my.ini", "", ""},
      {{"/cmy.ini", "-C"}, "", "", ""},
      {{"-Eerr.txt", "/eother.txt"}, "default.ini", "other.txt", ""},
      {{"-1"}, "default.ini", "", "Invalid switch: -1"},
      {{"-x", "/tmp"}, "default.ini", "", "Invalid switch: /tmp"},
      {{"-x", "a", "b", "1", "c", "d"}, "default.ini", "", "Invalid command line"},
      {{"a", "b", "1", "c", "d", "-q"}, "default.ini", "", "Invalid switch: -q"},
      {{"-C" + std::string(300, 'n')}, std::string(255, 'n'), "", ""},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Args.front());
    Parsed P = parse(C.Args);
    EXPECT_EQ(P.Outcome, ParseOutcome::Continue);
    EXPECT_EQ(P.Run.ConfigPath, C.Config);
    EXPECT_EQ(P.Run.ErrorName, C.Error);
    EXPECT_EQ(P.Run.Status, C.Status);
  }
}

TEST(Args, SingleCharactersArePositional) {
  Parsed P = parse({"-", "/"});
  EXPECT_EQ(P.Run.BmpName, "-");
  EXPECT_EQ(P.Run.FlashName, "/");
}

TEST(Args, HelpWinsAtAnyPosition) {
  for (const char *Help : {"-h", "/H", "-?", "/?", "-help"}) {
    SCOPED_TRACE(Help);
    EXPECT_EQ(parse({"-x", "a", "b", Help, "c"}).Outcome,
              ParseOutcome::HelpAsked);
  }
  EXPECT_EQ(parse({}).Outcome, ParseOutcome::NoArguments);
}

#ifndef _WIN32
TEST(Args, AbsolutePathsAreFileNames) {
  Parsed P = parse({"/home/me/logo.bmp", "/data/full.bin", "3"});
  EXPECT_EQ(P.Run.BmpName, "/home/me/logo.bmp");
  EXPECT_EQ(P.Run.FlashName, "/data/full.bin");
  EXPECT_EQ(P.Run.Status, "");
}
#endif

TEST(Args, NonNumericIndexThrows) {
  EXPECT_THROW(parse({"a.bmp", "full.bin", "abc"}), EConvertError);
}

TEST(Args, UsageScreenBytes) {
  EXPECT_EQ(usageScreen(),
            ".BMP to VKlay .VKP Converter. V. 1.0\r\n"
            "USAGE: TORVEL [<switches>] file.bmp flash.bin <index>  [file.vkp]\r\n"
            "\r\n"
            "   file.bmp   - input .bmp file\r\n"
            "   flash.bin  - input fullflash file\r\n"
            "   index      - 0 based index of picture\r\n"
            "   file.vkp   - output .vkp file \r\n"
            "\r\n"
            "Switches:\r\n"
            "   -Efilename    - write Errors to filename         (stdout by default)\r\n"
            "   -Cfilename    - Use configuration file filename  (MARLOW.INI by default)\r\n"
            "   -H            - print this help screen\r\n"
            "\r\n");
}

TEST(RunNames, OutputNameFromBmpName) {
  const struct {
    const char *Bmp, *Vkp;
  } Cases[] = {
      {"logo.bmp", "logo.vkp"},         {"logo", "logo.vkp"},
      {"pics\\logo.bmp", "pics\\logo.vkp"}, {"pics.d/logo", "pics.d/logo.vkp"},
      {"C:logo", "C:logo.vkp"},         {"a.b.bmp", "a.b.vkp"},
      {"dir.x\\logo", "dir.x\\logo.vkp"}, {".bmp", ".vkp"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Bmp);
    EXPECT_EQ(changeFileExt(C.Bmp, ".vkp"), C.Vkp);
  }
  EXPECT_EQ(baseName("C:\\tools\\torvel.exe"), "torvel.exe");
  EXPECT_EQ(baseName("/usr/bin/torvel"), "torvel");
}

TEST(RunReport, UncaughtFailureText) {
  EXPECT_EQ(uncaughtReport("EConvertError", "torvel", 0x4A2B, "'abc' is not a valid integer value"),
            "Exception EConvertError in module torvel at 00004A2B.\n'abc' is "
            "not a valid integer value.\r\n");
  EXPECT_EQ(uncaughtReport("E", "m", 0, "done."), "Exception E in module m at 00000000.\ndone.\r\n");
}

} // namespace
} // namespace torvel
