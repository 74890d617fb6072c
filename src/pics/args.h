// The picture tool's command line: a command, the dump, its arguments and
// options in the GNU manner.
#ifndef TORVEL_PICS_ARGS_H
#define TORVEL_PICS_ARGS_H

#include "image/options.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace torvel {

enum class Command {
  List,
  Show,
  Extract,
  Restore,
  Patch,
  Check,
  Apply,
  Import,
  Sheet,
};

struct Request {
  Command Cmd = Command::List;
  std::string ConfigPath;
  std::string FlashName;
  std::int32_t Index = 0;
  // patch: the BMP; import: the image.
  std::string InputName;
  // The file to write; for apply the --output file.
  std::string OutputName;
  // check and apply: the patches, in order.
  std::vector<std::string> PatchNames;
  // list and sheet.
  std::int32_t First = 0;
  std::optional<std::int32_t> Count;
  // sheet: pixels a picture's pixel takes on each side, 1 to 4.
  int Scale = 2;
  // apply.
  bool Undo = false;
  bool Force = false;
  // import.
  ImportOptions Import;
};

// Why a run stops: a message and the exit code it ends with.
struct Stop {
  std::string Message;
  int Code = 1;
};

// The command line (the program name not among them) as a request, or the
// reason it is not one. Help and version come back as a Stop with code 0
// and the text to print.
std::variant<Request, Stop> parseCommandLine(const std::vector<std::string> &Args);

} // namespace torvel

#endif
