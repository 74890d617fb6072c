#include "pics/args.h"

#include "base/int_text.h"
#include "base/path.h"

#include <algorithm>
#include <array>
#include <map>

namespace torvel {

namespace {

const char HelpText[] =
    "Usage: torvel-pics [OPTIONS] COMMAND flash.bin [ARGUMENTS]\n"
    "See, save, change and put back the pictures of a phone's fullflash "
    "dump.\n"
    "\n"
    "Commands:\n"
    "  list    flash.bin [--first N] [--count N]\n"
    "          one line per picture: index, width x height, phone address,\n"
    "          fullflash offset (or \"unmapped\"), bytes, and \"past end of "
    "dump\"\n"
    "          when its rows run beyond the end of the dump\n"
    "  sheet   flash.bin [sheet.png] [--first N] [--count N] [--scale K]\n"
    "          draw the table's pictures on PNG pages, each K times its "
    "size\n"
    "          (1 to 4, default 2) and framed, its index under it; one line "
    "per\n"
    "          picture on standard output: INDEX X Y W H FILE. Pages are at "
    "most\n"
    "          1024 x 8192; more than one are named sheet-1.png, "
    "sheet-2.png, ...\n"
    "  show    flash.bin INDEX\n"
    "          draw the picture: XX for ink (a 1 bit), .. for paper\n"
    "  extract flash.bin INDEX [picture.bmp]\n"
    "          save the picture as a 1-bit BMP, black ink on white\n"
    "          (default: picture-INDEX.bmp)\n"
    "  import  flash.bin INDEX image [picture.bmp] [--fit MODE] "
    "[--threshold N]\n"
    "          [--dither MODE] [--invert] [--background white|black]\n"
    "          turn a PNG, JPEG, GIF, BMP or PNM image into a 1-bit BMP at "
    "the\n"
    "          picture's size and draw it (default: picture-INDEX.bmp)\n"
    "  patch   flash.bin INDEX picture.bmp [picture.vkp]\n"
    "          convert the BMP as torvel does into a patch whose every line "
    "holds\n"
    "          the dump's old bytes too, so that a flasher can verify and "
    "undo it;\n"
    "          its first lines name the picture and the dump, its size and "
    "SHA-256\n"
    "          (default: the BMP's name with .vkp)\n"
    "  restore flash.bin INDEX [restore.vkp]\n"
    "          write a patch that puts back the picture's current bytes,\n"
    "          the undo for torvel's patch of it (default: restore-INDEX.vkp)\n"
    "  check   flash.bin patch.vkp [patch.vkp ...]\n"
    "          read the patches as a flasher does and tell whether they "
    "apply to\n"
    "          the dump: for each patch a line FILE:LINE: per problem or "
    "note, then\n"
    "          its records, bytes and pictures and whether it applies\n"
    "  apply   flash.bin patch.vkp [patch.vkp ...] --output patched.bin "
    "[--undo]\n"
    "          [--force]\n"
    "          write a copy of the dump with the patches applied in order, "
    "or taken\n"
    "          back last first with --undo; nothing is written when check "
    "finds a\n"
    "          problem, but --force writes records whose old data differ and "
    "records\n"
    "          that collide (the later one wins)\n"
    "\n"
    "Options:\n"
    "  -C, --config FILE  block map to read (default: MARLOW.INI beside this "
    "program)\n"
    "  -f, --first N      list or draw from picture N on (default 0)\n"
    "  -n, --count N      list or draw exactly N pictures, past the table's "
    "end too\n"
    "      --scale K      sheet: pixels per picture pixel, 1 to 4 (default "
    "2)\n"
    "      --fit MODE     import: contain (default), cover, stretch or none\n"
    "      --threshold N  import: ink where the grey level is below N, 0 to "
    "256\n"
    "                     (default 128)\n"
    "      --dither MODE  import: none (default), floyd-steinberg, atkinson "
    "or bayer\n"
    "      --invert       import: light pixels become ink\n"
    "      --background C import: white (default) or black under "
    "transparent pixels\n"
    "  -o, --output FILE  apply: the copy to write\n"
    "      --undo         apply: write each record's old data where its new "
    "data is\n"
    "      --force        apply: write records whose old data differ, or "
    "that collide\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Numbers are decimal or hexadecimal ($1F, 0x1F). The picture table starts "
    "at\n"
    "offset 0xDDF30 of the dump, 8 bytes a picture, and ends before the first "
    "entry\n"
    "whose bytes are all 00 or all FF, or that the dump does not hold whole.\n"
    "\n"
    "Patches are read as 8-bit text, lines ending in LF or CR LF. A line holds "
    "a\n"
    "record, OFFSET: [OLD] NEW (hexadecimal, OFFSET at most FFFFFFFF, data "
    "in pairs\n"
    "of digits that commas may group, OLD as long as NEW), an address "
    "corrector\n"
    "(+N or -N in hexadecimal, added to every later record; +0 ends it), a\n"
    "#pragma enable|disable NAME (old_equal_ff, warn_no_old_on_apply,\n"
    "warn_if_new_exist_on_apply, warn_if_old_exist_on_undo, undo), or "
    "nothing.\n"
    "Comments run from ;, // or # to the end of the line, and /* */ anywhere. "
    "Any\n"
    "other form (quoted strings, 0x, 0n or 0i numbers in data, placeholders "
    "such\n"
    "as XX or ??, \\ continuations) is refused as FILE:LINE:COLUMN: what is "
    "wrong.\n"
    "\n"
    "Files are written whole or not at all, never over an input; the dump is "
    "only\n"
    "read. Exit status: 0 done (check: no problem), 1 failed (check: a "
    "problem),\n"
    "2 wrong command line.\n";

Stop usageError(std::string Message) { return {std::move(Message), 2}; }

enum class Opt {
  Config,
  First,
  Count,
  Scale,
  Fit,
  Threshold,
  Dither,
  Invert,
  Background,
  Output,
  Undo,
  Force,
  Help,
  Version,
};

struct OptionName {
  const char *Short; // null: long only
  const char *Long;
  Opt Id;
  bool TakesValue;
};

constexpr std::array<OptionName, 14> Options = {{
    {"-C", "--config", Opt::Config, true},
    {"-f", "--first", Opt::First, true},
    {"-n", "--count", Opt::Count, true},
    {nullptr, "--scale", Opt::Scale, true},
    {nullptr, "--fit", Opt::Fit, true},
    {nullptr, "--threshold", Opt::Threshold, true},
    {nullptr, "--dither", Opt::Dither, true},
    {nullptr, "--invert", Opt::Invert, false},
    {nullptr, "--background", Opt::Background, true},
    {"-o", "--output", Opt::Output, true},
    {nullptr, "--undo", Opt::Undo, false},
    {nullptr, "--force", Opt::Force, false},
    {"-h", "--help", Opt::Help, false},
    {"-V", "--version", Opt::Version, false},
}};

const OptionName *findOption(const std::string &Name) {
  for (const OptionName &O : Options)
    if ((O.Short && Name == O.Short) || Name == O.Long)
      return &O;
  return nullptr;
}

struct CommandShape {
  const char *Name;
  Command Cmd;
  // Words after the fullflash file: those needed, and how many at most
  // (-1: no limit).
  int Needed;
  int Most;
};

constexpr std::array<CommandShape, 9> Commands = {{
    {"list", Command::List, 0, 0},
    {"show", Command::Show, 1, 1},
    {"extract", Command::Extract, 1, 2},
    {"restore", Command::Restore, 1, 2},
    {"patch", Command::Patch, 2, 3},
    {"check", Command::Check, 1, -1},
    {"apply", Command::Apply, 1, -1},
    {"import", Command::Import, 2, 3},
    {"sheet", Command::Sheet, 0, 1},
}};

// The first option given to a command it does not belong to, as a usage
// error.
std::optional<Stop> misplaced(Command Cmd, const std::map<Opt, std::string> &Given) {
  auto has = [&](Opt O) { return Given.contains(O); };
  if ((has(Opt::First) || has(Opt::Count)) && Cmd != Command::List &&
      Cmd != Command::Sheet)
    return usageError("--first and --count belong to list and sheet");
  if (has(Opt::Scale) && Cmd != Command::Sheet)
    return usageError("--scale belongs to sheet");
  for (Opt O : {Opt::Fit, Opt::Threshold, Opt::Dither, Opt::Invert,
                Opt::Background})
    if (has(O) && Cmd != Command::Import)
      return usageError(
          "--fit, --threshold, --dither, --invert and --background belong "
          "to import");
  for (Opt O : {Opt::Output, Opt::Undo, Opt::Force})
    if (has(O) && Cmd != Command::Apply)
      return usageError("--output, --undo and --force belong to apply");
  return std::nullopt;
}

template <typename T, std::size_t N>
std::optional<T> choose(const std::string &Text,
                        const std::array<std::pair<const char *, T>, N> &Names) {
  for (const auto &[Name, Value] : Names)
    if (Text == Name)
      return Value;
  return std::nullopt;
}

// Reads the import options out of Given into Out.
std::optional<Stop> importOptions(const std::map<Opt, std::string> &Given,
                                  ImportOptions &Out) {
  if (auto It = Given.find(Opt::Fit); It != Given.end()) {
    std::optional<Fit> F = choose<Fit, 4>(
        It->second, {{{"contain", Fit::Contain},
                      {"cover", Fit::Cover},
                      {"stretch", Fit::Stretch},
                      {"none", Fit::None}}});
    if (!F)
      return usageError("'" + It->second +
                        "' is not a fit: contain, cover, stretch or none");
    Out.Fitting = *F;
  }
  if (auto It = Given.find(Opt::Threshold); It != Given.end()) {
    std::optional<std::int32_t> N = parseInt(It->second);
    if (!N || *N < 0 || *N > 256)
      return usageError("'" + It->second + "' is not a threshold (0 to 256)");
    Out.Threshold = *N;
  }
  if (auto It = Given.find(Opt::Dither); It != Given.end()) {
    std::optional<Dither> D = choose<Dither, 4>(
        It->second, {{{"none", Dither::None},
                      {"floyd-steinberg", Dither::FloydSteinberg},
                      {"atkinson", Dither::Atkinson},
                      {"bayer", Dither::Bayer}}});
    if (!D)
      return usageError("'" + It->second +
                        "' is not a dither: none, floyd-steinberg, atkinson "
                        "or bayer");
    Out.Dithering = *D;
  }
  Out.Invert = Given.contains(Opt::Invert);
  if (auto It = Given.find(Opt::Background); It != Given.end()) {
    if (It->second != "white" && It->second != "black")
      return usageError("'" + It->second +
                        "' is not a background: white or black");
    Out.BlackBackground = It->second == "black";
  }
  return std::nullopt;
}

std::optional<Stop> pictureIndex(const std::string &Word, std::int32_t &Out) {
  std::optional<std::int32_t> Index = parseInt(Word);
  if (!Index)
    return usageError("'" + Word + "' is not a picture index");
  Out = *Index;
  return std::nullopt;
}

} // namespace

std::variant<Request, Stop> parseCommandLine(
    const std::vector<std::string> &Args) {
  std::vector<std::string> Words;
  std::map<Opt, std::string> Given;
  std::optional<Stop> Error;
  bool OptionsEnd = false;
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
    const OptionName *O = findOption(Name);
    if (!O) {
      fail("unknown option '" + Arg + "'");
      continue;
    }
    if (!O->TakesValue) {
      if (Value)
        fail("unknown option '" + Arg + "'");
      else
        Given[O->Id];
      continue;
    }
    if (!Value) {
      if (I + 1 == Args.size()) {
        fail("option '" + Name + "' needs a value");
        continue;
      }
      Value = Args[++I];
    }
    Given[O->Id] = *Value;
  }
  if (Given.contains(Opt::Help))
    return Stop{HelpText, 0};
  if (Given.contains(Opt::Version))
    return Stop{"torvel-pics " TORVEL_VERSION "\n", 0};
  if (Error)
    return *Error;

  Request R;
  auto Config = Given.find(Opt::Config);
  R.ConfigPath =
      Config != Given.end() ? Config->second : executableFolder() + "MARLOW.INI";
  if (Words.empty())
    return usageError("no command given");
  const auto Shape =
      std::find_if(Commands.begin(), Commands.end(),
                   [&](const CommandShape &C) { return Words[0] == C.Name; });
  if (Shape == Commands.end())
    return usageError("unknown command '" + Words[0] + "'");
  R.Cmd = Shape->Cmd;
  if (Words.size() < 2)
    return usageError("no fullflash file given");
  R.FlashName = Words[1];
  const std::vector<std::string> Rest(Words.begin() + 2, Words.end());
  if (Shape->Most >= 0 && Rest.size() > std::size_t(Shape->Most))
    return usageError("too many arguments");
  if (std::optional<Stop> Bad = misplaced(R.Cmd, Given))
    return *Bad;

  switch (R.Cmd) {
  case Command::List:
  case Command::Sheet:
    if (auto It = Given.find(Opt::First); It != Given.end()) {
      std::optional<std::int32_t> Value = parseInt(It->second);
      if (!Value)
        return usageError("'" + It->second + "' is not a picture index");
      R.First = *Value;
    }
    if (auto It = Given.find(Opt::Count); It != Given.end()) {
      R.Count = parseInt(It->second);
      if (!R.Count || *R.Count < 0)
        return usageError("'" + It->second + "' is not a count of pictures");
    }
    if (auto It = Given.find(Opt::Scale); It != Given.end()) {
      std::optional<std::int32_t> K = parseInt(It->second);
      if (!K || *K < 1 || *K > 4)
        return usageError("'" + It->second + "' is not a scale (1 to 4)");
      R.Scale = *K;
    }
    if (R.Cmd == Command::Sheet)
      R.OutputName = Rest.empty() ? "sheet.png" : Rest[0];
    return R;
  case Command::Check:
  case Command::Apply:
    if (Rest.empty())
      return usageError("no patch file given");
    R.PatchNames = Rest;
    if (R.Cmd == Command::Apply) {
      auto Output = Given.find(Opt::Output);
      if (Output == Given.end())
        return usageError("apply needs --output FILE");
      R.OutputName = Output->second;
      R.Undo = Given.contains(Opt::Undo);
      R.Force = Given.contains(Opt::Force);
    }
    return R;
  default:
    break;
  }

  if (Rest.empty())
    return usageError("no picture index given");
  if (std::optional<Stop> Bad = pictureIndex(Rest[0], R.Index))
    return *Bad;
  const std::string N = std::to_string(R.Index);
  switch (R.Cmd) {
  case Command::Extract:
    R.OutputName = Rest.size() > 1 ? Rest[1] : "picture-" + N + ".bmp";
    break;
  case Command::Restore:
    R.OutputName = Rest.size() > 1 ? Rest[1] : "restore-" + N + ".vkp";
    break;
  case Command::Patch:
    if (Rest.size() < 2)
      return usageError("no BMP file given");
    R.InputName = Rest[1];
    R.OutputName = Rest.size() > 2 ? Rest[2] : changeFileExt(Rest[1], ".vkp");
    break;
  case Command::Import:
    if (Rest.size() < 2)
      return usageError("no image file given");
    R.InputName = Rest[1];
    R.OutputName = Rest.size() > 2 ? Rest[2] : "picture-" + N + ".bmp";
    if (std::optional<Stop> Bad = importOptions(Given, R.Import))
      return *Bad;
    break;
  default:
    break;
  }
  return R;
}

} // namespace torvel
