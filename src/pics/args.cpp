#include "pics/args.h"

#include "base/int_text.h"
#include "base/path.h"

namespace torvel {

namespace {

const char HelpText[] =
    "Usage: torvel-pics [OPTIONS] COMMAND flash.bin [ARGUMENTS]\n"
    "See, save and put back the pictures of a phone's fullflash dump.\n"
    "\n"
    "Commands:\n"
    "  list    flash.bin [--first N] [--count N]\n"
    "          one line per picture: index, width x height, phone address,\n"
    "          fullflash offset (or \"unmapped\"), bytes, and \"past end of "
    "dump\"\n"
    "          when its rows run beyond the end of the dump\n"
    "  show    flash.bin INDEX\n"
    "          draw the picture: XX for ink (a 1 bit), .. for paper\n"
    "  extract flash.bin INDEX [picture.bmp]\n"
    "          save the picture as a 1-bit BMP, black ink on white\n"
    "          (default: picture-INDEX.bmp)\n"
    "  restore flash.bin INDEX [restore.vkp]\n"
    "          write a patch that puts back the picture's current bytes,\n"
    "          the undo for torvel's patch of it (default: restore-INDEX.vkp)\n"
    "\n"
    "Options:\n"
    "  -C, --config FILE  block map to read (default: MARLOW.INI beside this "
    "program)\n"
    "  -f, --first N      list from picture N on (default 0)\n"
    "  -n, --count N      list exactly N pictures, past the table's end too\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Numbers are decimal or hexadecimal ($1F, 0x1F). The picture table starts "
    "at\n"
    "offset 0xDDF30 of the dump, 8 bytes a picture, and ends before the first "
    "entry\n"
    "whose bytes are all 00 or all FF, or that the dump does not hold whole.\n"
    "Files are written whole or not at all, never over an input; the dump is "
    "only\n"
    "read. Exit status: 0 done, 1 failed, 2 wrong command line.\n";

Stop usageError(std::string Message) { return {std::move(Message), 2}; }

} // namespace

std::variant<Request, Stop> parseCommandLine(
    const std::vector<std::string> &Args) {
  std::vector<std::string> Words;
  std::optional<std::string> Config, First, Count;
  std::optional<Stop> Error;
  bool Help = false, Version = false, OptionsEnd = false;
  auto fail = [&](std::string Message) {
    if (!Error)
      Error = usageError(std::move(Message));
  };

  for (std::size_t I = 0; I < Args.size(); ++I) {
    const std::string &Arg = Args[I];
    if (OptionsEnd || Arg.size() < 2 || Arg[0] != '-') {
      Words.push_back(Arg);
      continue;
    }
    if (Arg == "--") {
      OptionsEnd = true;
      continue;
    }
    std::string Name;
    std::optional<std::string> Value;
    if (Arg[1] == '-') {
      std::size_t Equals = Arg.find('=');
      Name = Arg.substr(0, Equals);
      if (Equals != std::string::npos)
        Value = Arg.substr(Equals + 1);
    } else {
      Name = Arg.substr(0, 2);
      if (Arg.size() > 2)
        Value = Arg.substr(2);
    }
    if (Name == "-h" || Name == "--help" || Name == "-V" ||
        Name == "--version") {
      if (Value)
        fail("unknown option '" + Arg + "'");
      (Name == "-h" || Name == "--help" ? Help : Version) = true;
      continue;
    }
    std::optional<std::string> *Slot = nullptr;
    if (Name == "-C" || Name == "--config")
      Slot = &Config;
    else if (Name == "-f" || Name == "--first")
      Slot = &First;
    else if (Name == "-n" || Name == "--count")
      Slot = &Count;
    if (!Slot) {
      fail("unknown option '" + Arg + "'");
      continue;
    }
    if (!Value) {
      if (I + 1 == Args.size()) {
        fail("option '" + Name + "' needs a value");
        continue;
      }
      Value = Args[++I];
    }
    *Slot = *Value;
  }
  if (Help)
    return Stop{HelpText, 0};
  if (Version)
    return Stop{"torvel-pics " TORVEL_VERSION "\n", 0};
  if (Error)
    return *Error;

  Request R;
  R.ConfigPath = Config ? *Config : executableFolder() + "MARLOW.INI";
  if (Words.empty())
    return usageError("no command given");
  const std::string &Name = Words[0];
  if (Name == "list")
    R.Cmd = Command::List;
  else if (Name == "show")
    R.Cmd = Command::Show;
  else if (Name == "extract")
    R.Cmd = Command::Extract;
  else if (Name == "restore")
    R.Cmd = Command::Restore;
  else
    return usageError("unknown command '" + Name + "'");
  if (Words.size() < 2)
    return usageError("no fullflash file given");
  R.FlashName = Words[1];

  const std::size_t MaxWords = R.Cmd == Command::List   ? 2
                               : R.Cmd == Command::Show ? 3
                                                        : 4;
  if (Words.size() > MaxWords)
    return usageError("too many arguments");
  if (R.Cmd == Command::List) {
    if (First) {
      std::optional<std::int32_t> Value = parseInt(*First);
      if (!Value)
        return usageError("'" + *First + "' is not a picture index");
      R.First = *Value;
    }
    if (Count) {
      R.Count = parseInt(*Count);
      if (!R.Count || *R.Count < 0)
        return usageError("'" + *Count + "' is not a count of pictures");
    }
    return R;
  }
  if (First || Count)
    return usageError("--first and --count belong to list");
  if (Words.size() < 3)
    return usageError("no picture index given");
  std::optional<std::int32_t> Index = parseInt(Words[2]);
  if (!Index)
    return usageError("'" + Words[2] + "' is not a picture index");
  R.Index = *Index;
  if (Words.size() > 3)
    R.OutputName = Words[3];
  else
    R.OutputName = (R.Cmd == Command::Extract ? "picture-" : "restore-") +
                   std::to_string(R.Index) +
                   (R.Cmd == Command::Extract ? ".bmp" : ".vkp");
  return R;
}

} // namespace torvel
