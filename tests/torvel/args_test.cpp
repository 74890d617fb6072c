#include "base/int_text.h"
#include "base/path.h"
#include "torvel/args.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

// "help", "no arguments", or what the run holds: names, index, switches, status.
std::string parsed(const std::vector<std::string> &Args) {
  RunState Run;
  Run.ConfigPath = "default.ini";
  const ParseOutcome Outcome = parseArguments(Run, Args);
  if (Outcome != ParseOutcome::Continue)
    return Outcome == ParseOutcome::HelpAsked ? "help" : "no arguments";
  return Run.BmpName + "|" + Run.FlashName + "|" + std::to_string(Run.PictureIndex) + "|" +
         Run.OutputName + "|" + Run.ConfigPath + "|" + Run.ErrorName + "|" + Run.Status;
}

TEST(Args, SlotsSwitchesAndHelp) {
  const std::string Cut(255, 'n');
  const std::pair<std::vector<std::string>, std::string> Rows[] = {
      {{"a.bmp", "full.bin", "12", "out.vkp"}, "a.bmp|full.bin|12|out.vkp|default.ini||"},
      // An index of -1 leaves its slot open.
      {{"a.bmp", "full.bin", "$FFFFFFFF", "7"}, "a.bmp|full.bin|7||default.ini||"},
      {{"-", "/"}, "-|/|-1||default.ini||"},
      {{"-Cmy.ini", "-Eerr.txt", "/eother.txt"}, "||-1||my.ini|other.txt|"},
      {{"/cmy.ini", "-C" + Cut + "x"}, "||-1||" + Cut + "||"},
      {{"-1"}, "||-1||default.ini||Invalid switch: -1"},
      {{"-x", "/tmp"}, "||-1||default.ini||Invalid switch: /tmp"},
      {{"-x", "a", "b", "1", "c", "d"}, "a|b|1|c|default.ini||Invalid command line"},
      {{"a", "b", "1", "c", "d", "-q"}, "a|b|1|c|default.ini||Invalid switch: -q"},
      {{}, "no arguments"},
      {{"-x", "a", "b", "-h", "c"}, "help"}, {{"-x", "/H"}, "help"}, {{"-help"}, "help"},
      {{"-?"}, "help"},                      {{"/?"}, "help"},
#ifndef _WIN32
      // Absolute paths are file names here.
      {{"/home/me/logo.bmp", "/data/full.bin", "3"},
       "/home/me/logo.bmp|/data/full.bin|3||default.ini||"},
#endif
  };
  for (const auto &[Args, Expected] : Rows) {
    SCOPED_TRACE(::testing::PrintToString(Args));
    EXPECT_EQ(parsed(Args), Expected);
  }
  EXPECT_THROW(parsed({"a.bmp", "full.bin", "abc"}), EConvertError);
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
  const char *Rows[][2] = {
      {"logo.bmp", "logo.vkp"},           {"logo", "logo.vkp"},
      {"pics\\logo.bmp", "pics\\logo.vkp"}, {"pics.d/logo", "pics.d/logo.vkp"},
      {"C:logo", "C:logo.vkp"},           {"a.b.bmp", "a.b.vkp"},
      {"dir.x\\logo", "dir.x\\logo.vkp"}, {".bmp", ".vkp"},
  };
  for (const auto &[Bmp, Vkp] : Rows) {
    SCOPED_TRACE(Bmp);
    EXPECT_EQ(changeFileExt(Bmp, ".vkp"), Vkp);
  }
}

} // namespace
} // namespace torvel
