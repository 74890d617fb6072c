#include "torvel/args.h"

#include "base/int_text.h"

namespace torvel {

namespace {

constexpr std::size_t MaxSwitchValue = 255;

char upperAscii(char C) { return C >= 'a' && C <= 'z' ? char(C - 'a' + 'A') : C; }

bool isSwitch(const std::string &Arg) {
  if (Arg.size() < 2 || (Arg[0] != '-' && Arg[0] != '/'))
    return false;
#ifndef _WIN32
  // Here absolute paths begin with '/': "/home/me/logo.bmp" is a file name.
  if (Arg[0] == '/' && Arg.find('/', 1) != std::string::npos)
    return false;
#endif
  return true;
}

void takePositional(RunState &Run, const std::string &Arg) {
  if (Run.BmpName.empty())
    Run.BmpName = Arg;
  else if (Run.FlashName.empty())
    Run.FlashName = Arg;
  else if (Run.PictureIndex == -1)
    Run.PictureIndex = strToInt(Arg);
  else if (Run.OutputName.empty())
    Run.OutputName = Arg;
  else
    Run.Status = "Invalid command line";
}

} // namespace

ParseOutcome parseArguments(RunState &Run,
                            const std::vector<std::string> &Args) {
  if (Args.empty())
    return ParseOutcome::NoArguments;
  for (const std::string &Arg : Args) {
    if (!isSwitch(Arg)) {
      takePositional(Run, Arg);
      continue;
    }
    std::string Value = Arg.substr(2, MaxSwitchValue);
    switch (upperAscii(Arg[1])) {
    case 'H':
    case '?':
      return ParseOutcome::HelpAsked;
    case 'C':
      Run.ConfigPath = Value;
      break;
    case 'E':
      Run.ErrorName = Value;
      break;
    default:
      Run.Status = "Invalid switch: " + Arg;
      break;
    }
  }
  return ParseOutcome::Continue;
}

std::string usageScreen() {
  static const char *const Lines[] = {
      ".BMP to VKlay .VKP Converter. V. 1.0",
      "USAGE: TORVEL [<switches>] file.bmp flash.bin <index>  [file.vkp]",
      "",
      "   file.bmp   - input .bmp file",
      "   flash.bin  - input fullflash file",
      "   index      - 0 based index of picture",
      "   file.vkp   - output .vkp file ",
      "",
      "Switches:",
      "   -Efilename    - write Errors to filename         (stdout by default)",
      "   -Cfilename    - Use configuration file filename  (MARLOW.INI by default)",
      "   -H            - print this help screen",
      "",
  };
  std::string Screen;
  for (const char *Line : Lines) {
    Screen += Line;
    Screen += "\r\n";
  }
  return Screen;
}

} // namespace torvel
