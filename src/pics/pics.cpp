#include "pics/pics.h"

#include "base/platform.h"
#include "pics/args.h"
#include "pics/commands.h"

#include <new>

namespace torvel {

namespace {

std::optional<Stop> runCommand(const Request &Req) {
  Session S(Req);
  if (std::optional<Stop> Failed = S.open())
    return Failed;
  switch (Req.Cmd) {
  case Command::List:
    return runList(S);
  case Command::Show:
    return runShow(S);
  case Command::Extract:
    return runExtract(S);
  case Command::Restore:
    return runRestore(S);
  case Command::Patch:
    return runPatch(S);
  case Command::Check:
    return runCheck(S);
  case Command::Apply:
    return runApply(S);
  case Command::Import:
    return runImport(S);
  case Command::Sheet:
    return runSheet(S);
  }
  return std::nullopt;
}

} // namespace

int runPics(const std::vector<std::string> &Args) {
  std::variant<Request, Stop> Parsed = parseCommandLine(Args);
  std::optional<Stop> Result;
  if (std::holds_alternative<Stop>(Parsed)) {
    Stop S = std::get<Stop>(Parsed);
    if (S.Code == 0)
      return writeStdout(S.Message) ? 0 : 1;
    Result = S;
  } else {
    // Patches hold as many records as they bring; a machine may hold fewer.
    try {
      Result = runCommand(std::get<Request>(Parsed));
    } catch (const std::bad_alloc &) {
      Result = Stop{"out of memory"};
    }
  }
  if (!Result)
    return 0;
  std::string Text;
  if (!Result->Message.empty())
    Text = "torvel-pics: " + Result->Message + "\n";
  if (Result->Code == 2)
    Text += "Try 'torvel-pics --help' for more information.\n";
  writeStderr(Text);
  return Result->Code;
}

} // namespace torvel
