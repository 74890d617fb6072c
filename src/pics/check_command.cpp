#include "pics/commands.h"

#include "patch/check.h"
#include "patch/report.h"
#include "pics/patch_files.h"

namespace torvel {

std::optional<Stop> runCheck(Session &S) {
  std::vector<PatchInput> Inputs;
  if (std::optional<Stop> Failed = readPatchFiles(S.Req.PatchNames, Inputs))
    return Failed;
  const CheckOutcome Checked =
      checkPatches(Inputs, S.Flash, S.Map, PatchMode::Apply);
  if (Checked.DumpUnreadable)
    return Stop{"cannot read " + S.Req.FlashName};
  if (!writeReport(Inputs, Checked, S.Req.FlashName, true, writeStdout))
    return Stop{"cannot write to standard output"};
  // The report has said what is wrong.
  if (Checked.Problems > 0)
    return Stop{"", 1};
  return std::nullopt;
}

} // namespace torvel
